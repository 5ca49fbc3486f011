// The LV2 UI as a host meets it: the bundle's binary loaded with dlopen (or the plug-in run by
// the LV2 tests' lilv host), the UI opened in a host window on a private Xvfb server, the panel
// driven with xdotool.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <lv2/core/lv2.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

// Before Xlib, whose macros (Bool, None, Success) these headers would meet.
#include "tests/files/FilesTestSupport.h"
#include "tests/lv2/Lv2TestHost.h"

#include "editor/x11/X11Common.h"
#include "lv2/Lv2Instance.h"
#include "lv2/PortValues.h"
#include "tests/editor-x11/X11TestSupport.h"

namespace tessaron {
namespace {

using namespace std::chrono_literals;
using lv2::FromPortValue;
using lv2::ToPortValue;
using test::XvfbEnvironment;

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);

constexpr int kPanelWidth = 1125;
constexpr int kPanelHeight = 400;

struct Bundle {
  Bundle() { library = dlopen(TESSARON_LV2_BINARY, RTLD_NOW | RTLD_LOCAL); }
  ~Bundle() {
    if (library) dlclose(library);
  }
  const LV2UI_Descriptor* Ui() const {
    auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor"));
    return entry ? entry(0) : nullptr;
  }
  const LV2_Descriptor* Plugin() const {
    auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(library, "lv2_descriptor"));
    return entry ? entry(0) : nullptr;
  }
  void* library;
};

// The host's side of the UI: its window, the features it offers and what the UI tells it.
struct Host {
  Host() {
    display = XOpenDisplay(nullptr);
    window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, kPanelWidth, kPanelHeight, 0, 0, 0x303030);
    XMapWindow(display, window);
    XSync(display, False);
    parentFeature.data = reinterpret_cast<void*>(static_cast<uintptr_t>(window));
  }
  ~Host() {
    XDestroyWindow(display, window);
    XCloseDisplay(display);
  }
  static void Write(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t protocol, const void* buffer) {
    auto* host = static_cast<Host*>(controller);
    if (size == sizeof(float) && protocol == 0) host->writes.push_back({port, *static_cast<const float*>(buffer)});
  }
  static int Resize(LV2UI_Feature_Handle handle, int width, int height) {
    static_cast<Host*>(handle)->size = {width, height};
    return 0;
  }
  std::vector<const LV2_Feature*> Features(void* instance, bool parent) {
    features.clear();
    if (parent) features.push_back(&parentFeature);
    features.push_back(&resizeFeature);
    if (instance) {
      accessFeature.data = instance;
      features.push_back(&accessFeature);
    }
    features.push_back(nullptr);
    return features;
  }
  std::vector<Window> Children(Window w) {
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    std::vector<Window> result;
    x11::ErrorTrap trap(display);
    if (XQueryTree(display, w, &root, &parent, &children, &count) && children) {
      result.assign(children, children + count);
      XFree(children);
    }
    trap.Failed();
    return result;
  }
  bool Exists(Window w) { return x11::WindowExists(display, w); }
  std::pair<int, int> SizeOf(Window w) {
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, w, &attributes);
    return {attributes.width, attributes.height};
  }
  // A hash of the pixels the panel shows.
  uint64_t Pixels() {
    XSync(display, False);
    XImage* image = XGetImage(display, window, 0, 0, kPanelWidth, kPanelHeight, AllPlanes, ZPixmap);
    uint64_t hash = 1469598103934665603ull;
    for (int y = 0; image && y < kPanelHeight; ++y)
      for (int x = 0; x < kPanelWidth; ++x) hash = (hash ^ XGetPixel(image, x, y)) * 1099511628211ull;
    if (image) XDestroyImage(image);
    return hash;
  }

  struct PortWrite {
    uint32_t port;
    float value;
  };
  Display* display;
  Window window;
  std::vector<PortWrite> writes;
  std::pair<int, int> size{0, 0};
  LV2UI_Resize resize{this, &Resize};
  LV2_Feature parentFeature{LV2_UI__parent, nullptr};
  LV2_Feature resizeFeature{LV2_UI__resize, &resize};
  LV2_Feature accessFeature{LV2_INSTANCE_ACCESS_URI, nullptr};
  std::vector<const LV2_Feature*> features;
};

// The plug-in instance's host side: only what instantiating it needs.
struct UridMap {
  static LV2_URID Map(LV2_URID_Map_Handle handle, const char* uri) {
    auto& uris = static_cast<UridMap*>(handle)->uris;
    const auto [it, added] = uris.emplace(uri, static_cast<LV2_URID>(uris.size() + 1));
    return it->second;
  }
  std::map<std::string, LV2_URID> uris;
  LV2_URID_Map map{this, &Map};
  LV2_Feature feature{LV2_URID__map, &map};
};

struct Ui {
  Ui(const LV2UI_Descriptor* d, Host& host, void* instance, bool parent) : descriptor(d) {
    const auto features = host.Features(instance, parent);
    handle = d->instantiate(d, lv2::kPluginUri, TESSARON_LV2_BUNDLE "/", &Host::Write, &host, &widget, features.data());
    idle = static_cast<const LV2UI_Idle_Interface*>(d->extension_data(LV2_UI__idleInterface));
  }
  ~Ui() {
    if (handle) descriptor->cleanup(handle);
  }
  void IdleFor(std::chrono::milliseconds span) {
    const auto end = std::chrono::steady_clock::now() + span;
    do {
      idle->idle(handle);
      std::this_thread::sleep_for(5ms);
    } while (std::chrono::steady_clock::now() < end);
  }
  void PortEvent(uint32_t port, float value) { descriptor->port_event(handle, port, sizeof(float), 0, &value); }
  Window Widget() const { return static_cast<Window>(reinterpret_cast<uintptr_t>(widget)); }
  const LV2UI_Descriptor* descriptor;
  LV2UI_Handle handle = nullptr;
  LV2UI_Widget widget = nullptr;
  const LV2UI_Idle_Interface* idle = nullptr;
};

// Drags the knob at (x, y) upwards, idling the UI between the steps.
void DragKnob(Ui& ui, int x, int y) {
  auto step = [&](std::vector<std::string> args) {
    args.insert(args.begin(), TESSARON_XDOTOOL);
    test::RunQuietly(args);
    ui.IdleFor(100ms);
  };
  step({"mousemove", std::to_string(x), std::to_string(y)});
  step({"mousedown", "1"});
  step({"mousemove", std::to_string(x), std::to_string(y - 26)});
  step({"mouseup", "1"});
}

// The bend-range knob at the panel's bottom left.
void DragBendKnob(Ui& ui) { DragKnob(ui, 56, 306); }

void ClickAt(Ui& ui, int x, int y) {
  test::RunQuietly({TESSARON_XDOTOOL, "mousemove", std::to_string(x), std::to_string(y)});
  ui.IdleFor(100ms);
  test::RunQuietly({TESSARON_XDOTOOL, "click", "1"});
  ui.IdleFor(100ms);
}

// The writes to one port, in order.
std::vector<float> WritesTo(const Host& host, uint32_t port) {
  std::vector<float> values;
  for (const auto& w : host.writes)
    if (w.port == port) values.push_back(w.value);
  return values;
}

TEST(Lv2Ui, PanelInTheHostWindowTalksToThePluginThroughItsPorts) {
  ASSERT_TRUE(XvfbEnvironment::Ready()) << "Xvfb did not start";
  Bundle bundle;
  ASSERT_NE(bundle.library, nullptr) << dlerror();
  ASSERT_NE(bundle.Ui(), nullptr);
  const LV2_Descriptor* plugin = bundle.Plugin();
  ASSERT_NE(plugin, nullptr);
  UridMap urids;
  const LV2_Feature* pluginFeatures[] = {&urids.feature, nullptr};
  LV2_Handle instance = plugin->instantiate(plugin, 48000.0, TESSARON_LV2_BUNDLE "/", pluginFeatures);
  ASSERT_NE(instance, nullptr);
  auto* face = static_cast<lv2::Lv2Instance*>(instance);
  vst::AEffect* effect = face->Effect();

  Host host;
  {
    Ui ui(bundle.Ui(), host, instance, true);
    ASSERT_NE(ui.handle, nullptr);
    ASSERT_NE(ui.idle, nullptr);
    // The widget is the panel's own window inside the host's, at the panel's size.
    EXPECT_EQ(host.Children(host.window), std::vector<Window>{ui.Widget()});
    EXPECT_EQ(host.size, std::make_pair(kPanelWidth, kPanelHeight));
    EXPECT_EQ(host.SizeOf(ui.Widget()), std::make_pair(kPanelWidth, kPanelHeight));
    ui.IdleFor(200ms);

    // A drag on a knob reaches the host as writes to that knob's port, in the port's range.
    host.writes.clear();
    const float bendBefore = effect->getParameter(effect, kBendRange);
    DragBendKnob(ui);
    ui.IdleFor(100ms);
    const float bend = effect->getParameter(effect, kBendRange);
    EXPECT_GT(bend, bendBefore);
    const auto bendWrites = WritesTo(host, lv2::kFirstControlPort + kBendRange);
    ASSERT_FALSE(bendWrites.empty());
    EXPECT_EQ(bendWrites.size(), host.writes.size()) << "no other port moved";
    EXPECT_EQ(bendWrites.back(), ToPortValue(kBendRange, bend));
    // The host echoing those writes back moves nothing.
    for (float v : bendWrites) ui.PortEvent(lv2::kFirstControlPort + kBendRange, v);
    EXPECT_EQ(effect->getParameter(effect, kBendRange), bend);

    // A port change from the host sets the instrument's parameter and shows on the panel,
    // without being written back.
    host.writes.clear();
    const uint64_t shown = host.Pixels();
    const float cutoff = ToPortValue(kVcfCutoff, 0.25f);
    ui.PortEvent(lv2::kFirstControlPort + kVcfCutoff, cutoff);
    EXPECT_FLOAT_EQ(effect->getParameter(effect, kVcfCutoff), FromPortValue(kVcfCutoff, cutoff));
    ui.IdleFor(200ms);
    EXPECT_NE(host.Pixels(), shown);
    EXPECT_TRUE(host.writes.empty());

    // A program change reaches the host as one write to every control port.
    face->EditsForUi().programChanged = true;
    ui.IdleFor(10ms);
    ASSERT_EQ(host.writes.size(), static_cast<size_t>(kParameterCount));
    for (int p = 0; p < kParameterCount; ++p) {
      EXPECT_EQ(host.writes[size_t(p)].port, static_cast<uint32_t>(lv2::kFirstControlPort + p));
      EXPECT_EQ(host.writes[size_t(p)].value, ToPortValue(p, effect->getParameter(effect, p)));
    }

    // A second UI on the same instance takes the panel over; the first one's cleanup
    // leaves it open, and its own takes it away.
    Host second;
    {
      Ui other(bundle.Ui(), second, instance, true);
      ASSERT_NE(other.handle, nullptr);
      ui.descriptor->cleanup(ui.handle);
      ui.handle = nullptr;
      other.IdleFor(50ms);
      EXPECT_EQ(second.Children(second.window), std::vector<Window>{other.Widget()});
    }
    XSync(second.display, False);
    EXPECT_TRUE(second.Children(second.window).empty());
  }
  XSync(host.display, False);
  EXPECT_TRUE(host.Children(host.window).empty());
  plugin->cleanup(instance);
}

TEST(Lv2Ui, ALearnedControllerMovesThePortFromTheAudioThread) {
  ASSERT_TRUE(XvfbEnvironment::Ready()) << "Xvfb did not start";
  test::PrivateHome home;  // the learned pair goes into the configuration file
  Bundle bundle;
  test::Lv2Instance plugin;
  ASSERT_TRUE(plugin.Valid());
  plugin.Run(64);
  Host host;
  Ui ui(bundle.Ui(), host, lilv_instance_get_handle(plugin.Raw()), true);
  ASSERT_NE(ui.handle, nullptr);
  ui.IdleFor(200ms);
  // Learn on the panel: the switch, then the cutoff knob, then a controller through run().
  ClickAt(ui, 1050, 306);
  DragKnob(ui, 276, 79);
  constexpr uint8_t kController = 21;
  plugin.Midi(0, {0xB0, kController, 64});
  plugin.Run(64);
  ui.IdleFor(50ms);

  host.writes.clear();
  plugin.Midi(0, {0xB0, kController, 0});
  plugin.Run(64);
  ui.IdleFor(50ms);
  const auto cutoffWrites = WritesTo(host, lv2::kFirstControlPort + kVcfCutoff);
  ASSERT_EQ(cutoffWrites.size(), 1u);
  EXPECT_EQ(cutoffWrites.back(), ToPortValue(kVcfCutoff, 0.0f));
}

TEST(Lv2Ui, WithoutInstanceAccessThePanelMirrorsThePorts) {
  ASSERT_TRUE(XvfbEnvironment::Ready()) << "Xvfb did not start";
  Bundle bundle;
  ASSERT_NE(bundle.Ui(), nullptr);
  Host host;
  {
    Ui ui(bundle.Ui(), host, nullptr, true);
    ASSERT_NE(ui.handle, nullptr);
    ui.IdleFor(200ms);
    // The host's values show on the panel and are not written back; the knob then moves
    // from the host's value.
    const float bend = ToPortValue(kBendRange, 0.0f);
    ui.PortEvent(lv2::kFirstControlPort + kBendRange, bend);
    const uint64_t shown = host.Pixels();
    ui.IdleFor(200ms);
    EXPECT_TRUE(host.writes.empty());
    DragBendKnob(ui);
    ui.IdleFor(100ms);
    EXPECT_NE(host.Pixels(), shown);
    const auto bendWrites = WritesTo(host, lv2::kFirstControlPort + kBendRange);
    ASSERT_FALSE(bendWrites.empty());
    EXPECT_GT(bendWrites.back(), bend);
  }
  XSync(host.display, False);
  EXPECT_TRUE(host.Children(host.window).empty());

  // A host that offers no parent gets a window of the panel's size to embed.
  Window holder = 0;
  {
    Ui ui(bundle.Ui(), host, nullptr, false);
    ASSERT_NE(ui.handle, nullptr);
    holder = ui.Widget();
    EXPECT_EQ(host.SizeOf(holder), std::make_pair(kPanelWidth, kPanelHeight));
    EXPECT_EQ(host.Children(holder).size(), 1u);
  }
  XSync(host.display, False);
  EXPECT_FALSE(host.Exists(holder));
}

}  // namespace
}  // namespace tessaron

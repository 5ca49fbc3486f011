#include "lv2/Lv2Ui.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <mutex>

#include "lv2/PortValues.h"

namespace tessaron::lv2 {

using namespace vst;

namespace {

constexpr float kNoWrite = std::numeric_limits<float>::quiet_NaN();

VstIntPtr Dispatch(AEffect* effect, VstInt32 opcode, VstIntPtr value = 0, void* ptr = nullptr) {
  return effect->dispatcher(effect, opcode, 0, value, ptr, 0.0f);
}

void* AsHandle(std::uintptr_t window) { return reinterpret_cast<void*>(window); }

// An instrument has one panel: a second UI opened on the same instance takes it over (the
// editor closes its old window first), and the first UI's cleanup must then leave it be.
std::mutex panelOwnersLock;
std::map<const Lv2Instance*, const Lv2Ui*> panelOwners;

void TakePanel(const Lv2Instance* instance, const Lv2Ui* ui) {
  std::lock_guard<std::mutex> lock(panelOwnersLock);
  panelOwners[instance] = ui;
}

// True when ui held the panel until now.
bool GivePanelBack(const Lv2Instance* instance, const Lv2Ui* ui) {
  std::lock_guard<std::mutex> lock(panelOwnersLock);
  const auto it = panelOwners.find(instance);
  if (it == panelOwners.end() || it->second != ui) return false;
  panelOwners.erase(it);
  return true;
}

}  // namespace

std::unique_ptr<Lv2Ui> Lv2Ui::Create(const HostSide& host, std::string& error) {
  if (!host.write) {
    error = "the host gave no port write function";
    return nullptr;
  }
  std::unique_ptr<Lv2Ui> ui(new Lv2Ui(host));
  if (!ui->Open(error)) return nullptr;
  return ui;
}

bool Lv2Ui::Open(std::string& error) {
  for (auto& recent : recent_) recent.fill(kNoWrite);
  instance_ = host_.instance;
  if (!instance_) {
    own_.reset(Lv2UiOwnInstrument::Create());
    if (!own_) {
      error = "the instrument for the panel could not be built";
      return false;
    }
    instance_ = own_.get();
  }
  effect_ = instance_->Effect();
  if (!x11_.Open()) {
    error = "no X display to open the panel on";
    return false;
  }
  ERect* rect = nullptr;
  if (!Dispatch(effect_, effEditGetRect, 0, &rect) || !rect) {
    error = "the instrument has no panel";
    return false;
  }
  const int width = rect->right - rect->left;
  const int height = rect->bottom - rect->top;

  std::uintptr_t parent = host_.parent;
  if (!parent) {
    // Without a parent the host reparents the widget itself: the panel gets a window of ours.
    parent = widget_ = x11_.CreateHolder(width, height);
    if (!parent) {
      error = "the window to hold the panel could not be created";
      return false;
    }
  }
  const auto before = x11_.Children(parent);
  if (!Dispatch(effect_, effEditOpen, 0, AsHandle(parent))) {
    error = "the panel could not open in the host's window";
    return false;
  }
  editorOpen_ = true;
  TakePanel(instance_, this);
  if (!widget_) {
    // The panel's window is the one child that appeared with it (the host may keep
    // windows of its own in the same parent); children list bottom to top.
    const auto after = x11_.Children(parent);
    for (auto it = after.rbegin(); it != after.rend() && !widget_; ++it)
      if (std::find(before.begin(), before.end(), *it) == before.end()) widget_ = *it;
    if (!widget_) {
      error = "the panel's window did not appear in the host's window";
      return false;
    }
  }
  if (host_.resize && host_.resize->ui_resize) host_.resize->ui_resize(host_.resize->handle, width, height);
  return true;
}

Lv2Ui::~Lv2Ui() {
  if (editorOpen_ && GivePanelBack(instance_, this)) Dispatch(effect_, effEditClose);
  own_.reset();
}

void Lv2Ui::PortEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer) {
  // Only the control ports show on the panel; they come as plain floats.
  if (format != 0 || size != sizeof(float) || !buffer || port >= static_cast<std::uint32_t>(kParameterCount)) return;
  const int parameter = static_cast<int>(port) - kFirstControlPort;
  const float portValue = *static_cast<const float*>(buffer);
  if (std::isnan(portValue) || IsOwnEcho(parameter, portValue)) return;
  const float current = effect_->getParameter(effect_, parameter);
  // The port already shows the instrument's value (a host announcing every port at start).
  if (ToPortValue(parameter, current) == portValue) return;
  effect_->setParameter(effect_, parameter, FromPortValue(parameter, portValue));
}

bool Lv2Ui::IsOwnEcho(int parameter, float portValue) {
  auto& recent = recent_[static_cast<std::size_t>(parameter)];
  const auto found = std::find(recent.begin(), recent.end(), portValue);
  if (found != recent.end()) {
    *found = kNoWrite;
    return true;
  }
  // The host moved the port itself: earlier echoes no longer matter.
  recent.fill(kNoWrite);
  return false;
}

int Lv2Ui::Idle() {
  Dispatch(effect_, effEditIdle);
  PassEditsOn();
  return 0;
}

void Lv2Ui::PassEditsOn() {
  PendingEdits& edits = instance_->EditsForUi();
  if (edits.programChanged.exchange(false, std::memory_order_acquire)) {
    // A new program may change any parameter: every port takes the instrument's value.
    for (int p = 0; p < kParameterCount; ++p) {
      edits.changed[static_cast<std::size_t>(p)].store(false, std::memory_order_relaxed);
      WritePort(p, effect_->getParameter(effect_, p));
    }
  } else {
    for (int p = 0; p < kParameterCount; ++p) {
      const auto i = static_cast<std::size_t>(p);
      if (edits.changed[i].exchange(false, std::memory_order_acquire)) WritePort(p, edits.value[i].load());
    }
  }
  if (edits.resized.exchange(false, std::memory_order_acquire) && host_.resize && host_.resize->ui_resize)
    host_.resize->ui_resize(host_.resize->handle, edits.width.load(), edits.height.load());
}

void Lv2Ui::WritePort(int parameter, float normalized) {
  if (std::isnan(normalized)) return;
  const float portValue = ToPortValue(parameter, std::clamp(normalized, 0.0f, 1.0f));
  const auto i = static_cast<std::size_t>(parameter);
  recent_[i][static_cast<std::size_t>(recentNext_[i])] = portValue;
  recentNext_[i] = (recentNext_[i] + 1) % kRecentWrites;
  host_.write(host_.controller, static_cast<std::uint32_t>(kFirstControlPort + parameter), sizeof(float), 0,
              &portValue);
}

}  // namespace tessaron::lv2

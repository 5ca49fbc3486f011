#pragma once
// The editor as an LV2 UI: the instrument's own panel inside the host's window, its edits
// passed to the host as port writes and the host's port changes shown on it. The panel
// drives the plug-in's instrument when the host grants instance access, else an
// instrument of the UI's own that mirrors the ports. Everything here runs on the host's UI
// thread; only the pending edits it takes are filled elsewhere (the audio thread included).
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include <lv2/ui/ui.h>

#include "editor/x11/X11HostWindows.h"
#include "lv2/Lv2Instance.h"
#include "lv2/Lv2UiOwnInstrument.h"

namespace tessaron::lv2 {

class Lv2Ui {
 public:
  struct HostSide {
    LV2UI_Write_Function write = nullptr;
    LV2UI_Controller controller = nullptr;
    const LV2UI_Resize* resize = nullptr;  // optional
    std::uintptr_t parent = 0;             // optional: without one the UI offers a window to reparent
    Lv2Instance* instance = nullptr;       // instance access; null: the UI builds its own instrument
  };

  // The open panel, or null with the reason in error.
  static std::unique_ptr<Lv2Ui> Create(const HostSide& host, std::string& error);
  ~Lv2Ui();

  std::uintptr_t Widget() const { return widget_; }
  bool OwnsInstrument() const { return own_ != nullptr; }

  void PortEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer);
  int Idle();

 private:
  explicit Lv2Ui(const HostSide& host) : host_(host) {}
  bool Open(std::string& error);
  void WritePort(int parameter, float normalized);
  void PassEditsOn();
  // True when value is what this UI itself wrote to the port lately: the host echoing it.
  bool IsOwnEcho(int parameter, float portValue);

  static constexpr int kRecentWrites = 8;  // a drag writes several values before the first echo returns

  HostSide host_;
  std::unique_ptr<Lv2UiOwnInstrument> own_;
  Lv2Instance* instance_ = nullptr;
  vst::AEffect* effect_ = nullptr;
  x11::HostWindows x11_;
  std::uintptr_t widget_ = 0;
  bool editorOpen_ = false;
  std::array<std::array<float, kRecentWrites>, kParameterCount> recent_{};
  std::array<int, kParameterCount> recentNext_{};
};

}  // namespace tessaron::lv2

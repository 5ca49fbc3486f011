#pragma once
// What the plug-in binding needs from an editor. The editor proper implements it; the
// binding knows nothing else about windows or controls.

namespace tessaron {

class IPluginBase;

class IPluginEditor {
 public:
  virtual ~IPluginEditor() = default;

  // Called once under the plug-in lock when the plug-in takes this editor: controls take
  // their parameters' normalised values and the drawing surfaces are created.
  virtual void Attach(IPluginBase& plug) = 0;

  // UI thread. parent is the host's native window handle.
  virtual bool OpenWindow(void* parent) = 0;
  virtual void CloseWindow() = 0;

  virtual int Width() const = 0;
  virtual int Height() const = 0;

  // A parameter changed outside the editor; value is normalised or real as flagged.
  virtual void SetParameterFromPlug(int index, double value, bool normalized) = 0;

  // The host's idle calls; a window system without its own event loop in the host
  // (X11 child windows) pumps its events and timer from here.
  virtual void HostIdle() {}
};

}  // namespace tessaron

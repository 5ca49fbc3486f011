#include "editor/x11/X11Clipboard.h"

#include <poll.h>

#include <chrono>

#include <X11/Xatom.h>

namespace tessaron::x11 {
namespace {

// A live owner answers within milliseconds; one that hangs costs the user this much once.
constexpr int kAnswerWaitMs = 200;
constexpr long kMaxPropertyWords = 1 << 18;  // 1 MiB of text is more than any field takes

Atom Intern(Display* display, const char* name) { return XInternAtom(display, name, False); }

std::string Latin1ToUtf8(const unsigned char* data, unsigned long count) {
  std::string out;
  for (unsigned long i = 0; i < count; ++i) {
    const unsigned char c = data[i];
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Characters beyond Latin-1 become '?' for clients that ask for plain STRING.
std::string Utf8ToLatin1(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    int length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
    if (i + static_cast<std::size_t>(length) > text.size()) length = 1;
    if (length == 2 && c < 0xC4)
      out += static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F));
    else
      out += length == 1 && c < 0x80 ? static_cast<char>(c) : '?';
    i += static_cast<std::size_t>(length);
  }
  return out;
}

}  // namespace

void Clipboard::Attach(Display* display, ::Window owner) {
  display_ = display;
  owner_ = display ? owner : 0;
  text_.clear();
  owned_ = false;
}

bool Clipboard::Set(const std::string& text, Time time) {
  if (!display_ || !owner_) return false;
  const Atom clipboard = Intern(display_, "CLIPBOARD");
  XSetSelectionOwner(display_, clipboard, owner_, time);
  owned_ = XGetSelectionOwner(display_, clipboard) == owner_;
  text_ = owned_ ? text : std::string();
  ownedSince_ = time;
  return owned_;
}

std::string Clipboard::Text() {
  if (!display_ || !owner_) return {};
  const Window owner = XGetSelectionOwner(display_, Intern(display_, "CLIPBOARD"));
  if (owner == None) return {};
  if (owner == owner_) return owned_ ? text_ : std::string();
  std::string text;
  bool refused = false;
  if (Ask(Intern(display_, "UTF8_STRING"), text, refused) || !refused) return text;
  Ask(XA_STRING, text, refused);  // an older client may offer Latin-1 only
  return text;
}

bool Clipboard::Ask(Atom target, std::string& text, bool& refused) {
  text.clear();
  refused = false;
  const Atom property = Intern(display_, "TESSARON_CLIPBOARD");
  XEvent event;
  // An answer that came too late for an earlier question must not pass for this one.
  while (XCheckTypedWindowEvent(display_, owner_, SelectionNotify, &event)) {
  }
  XDeleteProperty(display_, owner_, property);
  XConvertSelection(display_, Intern(display_, "CLIPBOARD"), target, property, owner_, CurrentTime);
  XFlush(display_);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
  while (!XCheckTypedWindowEvent(display_, owner_, SelectionNotify, &event)) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) return false;
    // Everything already sent is in Xlib's queue now; wait for more to arrive.
    pollfd fd{ConnectionNumber(display_), POLLIN, 0};
    poll(&fd, 1, static_cast<int>(left));
  }
  if (event.xselection.property == None) {
    refused = true;
    return false;
  }
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const bool read = XGetWindowProperty(display_, owner_, property, 0, kMaxPropertyWords, True, AnyPropertyType, &type,
                                       &format, &count, &after, &data) == Success;
  if (read && data && format == 8) {
    if (type == Intern(display_, "UTF8_STRING"))
      text.assign(reinterpret_cast<const char*>(data), count);
    else if (type == XA_STRING)
      text = Latin1ToUtf8(data, count);
  }
  if (data) XFree(data);
  // Large transfers (INCR) are not worth a wait here: nothing that long fits a field.
  refused = text.empty();
  return !text.empty();
}

void Clipboard::Serve(const XSelectionRequestEvent& request) {
  XSelectionEvent reply{};
  reply.type = SelectionNotify;
  reply.display = request.display;
  reply.requestor = request.requestor;
  reply.selection = request.selection;
  reply.target = request.target;
  reply.time = request.time;
  reply.property = None;
  const Atom property = request.property != None ? request.property : request.target;  // obsolete clients
  const Atom utf8 = Intern(display_, "UTF8_STRING");
  const Atom textAtom = Intern(display_, "TEXT");
  const Atom targets = Intern(display_, "TARGETS");
  const bool current = owned_ && request.selection == Intern(display_, "CLIPBOARD") &&
                       (request.time == CurrentTime || ownedSince_ == CurrentTime || request.time >= ownedSince_);
  if (current) {
    if (request.target == targets) {
      const Atom offered[] = {targets, utf8, textAtom, XA_STRING};
      XChangeProperty(display_, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(offered), 4);
      reply.property = property;
    } else if (request.target == utf8 || request.target == textAtom) {
      XChangeProperty(display_, request.requestor, property, utf8, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(text_.data()), static_cast<int>(text_.size()));
      reply.property = property;
    } else if (request.target == XA_STRING) {
      const std::string latin1 = Utf8ToLatin1(text_);
      XChangeProperty(display_, request.requestor, property, XA_STRING, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(latin1.data()), static_cast<int>(latin1.size()));
      reply.property = property;
    }
  }
  XEvent out;
  out.xselection = reply;
  XSendEvent(display_, request.requestor, False, NoEventMask, &out);
}

bool Clipboard::HandleEvent(const XEvent& event) {
  if (!display_ || !owner_) return false;
  if (event.type == SelectionRequest && event.xselectionrequest.owner == owner_) {
    Serve(event.xselectionrequest);
    return true;
  }
  if (event.type == SelectionClear && event.xselectionclear.window == owner_) {
    if (event.xselectionclear.selection == Intern(display_, "CLIPBOARD")) {
      owned_ = false;
      text_.clear();
    }
    return true;
  }
  return false;
}

}  // namespace tessaron::x11

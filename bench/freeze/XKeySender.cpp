#include "XKeySender.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

XKeySender::XKeySender() : display_(XOpenDisplay(nullptr)) {}

XKeySender::~XKeySender() {
  if (display_ != nullptr) XCloseDisplay(static_cast<Display*>(display_));
}

void XKeySender::SendF12(unsigned long window) {
  Display* display = static_cast<Display*>(display_);
  if (display == nullptr) return;
  XEvent event{};
  XKeyEvent& key = event.xkey;
  key.type = KeyPress;
  key.display = display;
  key.window = window;
  key.root = DefaultRootWindow(display);
  key.subwindow = None;
  key.time = CurrentTime;
  key.same_screen = True;
  key.keycode = XKeysymToKeycode(display, XK_F12);
  XSendEvent(display, window, True, KeyPressMask, &event);
  key.type = KeyRelease;
  XSendEvent(display, window, True, KeyReleaseMask, &event);
  XFlush(display);
}

void InitXThreads() { XInitThreads(); }

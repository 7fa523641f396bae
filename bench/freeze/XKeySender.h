// Key presses sent to a window through an X connection of their own (kept
// apart from Qt, whose names clash with Xlib's macros).
#pragma once

#include "core/NonCopyable.h"

class XKeySender : dqcore::NonCopyable {
 public:
  XKeySender();
  ~XKeySender();

  bool Open() const { return display_ != nullptr; }
  // Press and release of F12 at the X window `window`, flushed at once.
  void SendF12(unsigned long window);

 private:
  void* display_ = nullptr;
};

// Lets several threads use Xlib; call before any other X call.
void InitXThreads();

#include "report/OffscreenGui.h"

#include <QGuiApplication>

namespace dqreport {

void EnsureGuiApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  // The platform is chosen on the command line Qt reads, so neither a
  // missing DISPLAY nor the user's QT_QPA_PLATFORM can stop the report.
  static int argc = 3;
  static char name[] = "dq7184";
  static char option[] = "-platform";
  static char platform[] = "offscreen";
  static char* argv[] = {name, option, platform, nullptr};
  static QGuiApplication* app = new QGuiApplication(argc, argv);
  (void)app;
}

}  // namespace dqreport

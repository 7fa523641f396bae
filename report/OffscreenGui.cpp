#include "report/OffscreenGui.h"

#include <QGuiApplication>
#include <QString>

namespace dqreport {

namespace {

QtMessageHandler g_previousHandler = nullptr;

// Qt notes on stderr that XDG_RUNTIME_DIR is not set (over ssh, from cron)
// and that it takes a folder in /tmp instead. Drawing offscreen needs no
// runtime folder, so the notice would only puzzle the technician; every
// other message goes on as before.
void QuietRuntimeNotice(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) return;
  if (g_previousHandler != nullptr) g_previousHandler(type, context, message);
}

}  // namespace

void EnsureGuiApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  g_previousHandler = qInstallMessageHandler(QuietRuntimeNotice);
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

// Program entry: the application and its main window, which owns the
// connection record and opens every dialog from its menu.
#include <QApplication>

#include "Hlavni.h"
#include "ProgramIcon.h"
#include "ShutdownSignals.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // The main window and every dialog and message box take it.
  QApplication::setWindowIcon(ProgramIcon());
  TForm1 mainWindow;
  TShutdownSignals shutdown(&mainWindow);
  mainWindow.show();
  const int status = application.exec();
  return status != 0 ? status : shutdown.ExitStatus();
}

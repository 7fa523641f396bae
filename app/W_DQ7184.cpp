// Program entry: the application and its main window, which owns the
// connection record and opens every dialog from its menu.
#include <QApplication>

#include "Hlavni.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  TForm1 mainWindow;
  mainWindow.show();
  return application.exec();
}

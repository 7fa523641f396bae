// The user guide's figures: the program's real windows, connected to a
// simulated module running in this process, saved as PNG files.
//
//   dq-screenshots OUTPUT_FOLDER [NAME...]
//
// Run it through tools/screenshots.sh (under Xvfb). Each figure is one entry
// of Shots() below; a window added to the program gets its figures by adding
// entries there (open the window on the shared record, act, grab).
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "Hlavni.h"
#include "Pripojeni.h"
#include "Simulator.h"

namespace {

constexpr int kComPort = 9;

// What every figure may use: the main window with its record, and the
// simulator it is connected to.
struct Scene {
  TForm1* main = nullptr;
  dqsim::Simulator* sim = nullptr;
  TConnectionConfig* config() const { return main->Config(); }
};

struct Shot {
  const char* name;  // file name without ".png"
  std::function<QPixmap(Scene&)> take;
};

void Settle(int rounds = 10) {
  for (int i = 0; i < rounds; ++i) {
    QApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

template <class T>
T* Child(QWidget* root, const char* name) {
  return root->findChild<T*>(QString::fromLatin1(name));
}

// Runs `action` on the next modal dialog once it is shown.
void OnNextModal(std::function<void(QWidget*)> action) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, action]() {
    if (QWidget* dialog = QApplication::activeModalWidget()) {
      timer->stop();
      timer->deleteLater();
      Settle();
      action(dialog);
    }
  });
  timer->start();
}

// A dialog of type T opened on the shared record without a modal loop, so
// that it can be acted on and grabbed; `act` runs once it is shown.
template <class T>
QPixmap GrabDialog(Scene& scene, const std::function<void(T*)>& act) {
  std::unique_ptr<T> dialog(new T(scene.main));
  dialog->SetConfig(scene.config());
  dialog->show();
  Settle();
  act(dialog.get());
  Settle();
  QPixmap image = dialog->grab();
  dialog->close();
  return image;
}

void ChooseInterface(TForm2* form, int type) {
  auto* combo = Child<QComboBox>(form, "ComboBox2");
  combo->setCurrentIndex(type);
  form->ComboBox2Change();
}

// The main window with one of its menus open.
QPixmap GrabMenu(Scene& scene, const char* menuName) {
  auto* menu = Child<QMenu>(scene.main, menuName);
  scene.main->menuBar()->setActiveAction(menu->menuAction());
  Settle();
  QPixmap canvas = scene.main->grab();
  if (menu->isVisible()) {
    QPainter painter(&canvas);
    painter.drawPixmap(scene.main->mapFromGlobal(menu->pos()), menu->grab());
  }
  menu->hide();
  scene.main->menuBar()->setActiveAction(nullptr);
  Settle();
  return canvas;
}

std::vector<Shot> Shots() {
  return {
      {"main-window", [](Scene& s) { return s.main->grab(); }},
      {"main-menu-settings", [](Scene& s) { return GrabMenu(s, "Nastaven1"); }},
      {"main-menu-live", [](Scene& s) { return GrabMenu(s, "Okamithodnoty1"); }},
      {"connection-window",
       [](Scene& s) { return GrabDialog<TForm2>(s, [](TForm2*) {}); }},
      {"connection-lan-connected",
       [](Scene& s) { return GrabDialog<TForm2>(s, [](TForm2* f) { f->Button1Click(); }); }},
      {"connection-com",
       [](Scene& s) {
         return GrabDialog<TForm2>(s, [](TForm2* f) {
           ChooseInterface(f, itComPort);
           Child<QLineEdit>(f, "Edit2")->setText(QString::number(kComPort));
           f->Button1Click();
         });
       }},
      {"connection-isa",
       [](Scene& s) { return GrabDialog<TForm2>(s, [](TForm2* f) { ChooseInterface(f, itPci847); }); }},
      {"main-window-connected",
       [](Scene& s) {
         // Through the menu, as a user connects: the status bar follows.
         OnNextModal([](QWidget* dialog) {
           auto* form = static_cast<TForm2*>(dialog);
           ChooseInterface(form, itDq2847);
           form->Button1Click();
           form->Button2Click();
         });
         Child<QAction>(s.main, "Pipojen1")->trigger();
         Settle();
         return s.main->grab();
       }},
  };
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: dq-screenshots OUTPUT_FOLDER [NAME...]\n");
    return 2;
  }
  const QString output = QString::fromLocal8Bit(argv[1]);
  QStringList wanted;
  for (int i = 2; i < argc; ++i) wanted << QString::fromLocal8Bit(argv[i]);
  QDir().mkpath(output);

  QTemporaryDir work;
  if (!work.isValid()) return 1;
  const std::string portMap = (work.path() + "/ports.conf").toStdString();
  setenv("DQ7184_PORTMAP", portMap.c_str(), 1);

  dqsim::SimOptions options;
  options.addresses = {0};
  options.comPort = kComPort;
  options.portMapPath = portMap;
  options.udpPort = 5000;  // the usual port, as in the figures' text
  options.inputPattern = true;
  auto sim = std::make_unique<dqsim::Simulator>(options);
  std::string error;
  if (!sim->Open(&error)) {
    options.udpPort = 0;  // 5000 is taken: any free port
    sim = std::make_unique<dqsim::Simulator>(options);
    if (!sim->Open(&error)) {
      std::fprintf(stderr, "dq-screenshots: simulator: %s\n", error.c_str());
      return 1;
    }
  }
  sim->StartThread();

  // The program's main window on a settings file for the simulator's LAN side.
  const std::string settings = (work.path() + "/W_dq7184.ini").toStdString();
  std::ofstream(settings, std::ios::binary)
      << Cp1250FromUtf8("[Připojení]\r\nRozhraní=DQ-2847\r\nAdresa=0\r\nRychlost=9600\r\n[DQ-2847]\r\n"
                        "IP adresa=127.0.0.1\r\nUDP port=" + std::to_string(sim->UdpPort()) +
                        "\r\nUDP timeout=200\r\n");
  TForm1 main(settings);
  main.show();
  Settle(20);
  Scene scene{&main, sim.get()};

  int failures = 0;
  for (const Shot& shot : Shots()) {
    if (!wanted.isEmpty() && !wanted.contains(QString::fromLatin1(shot.name))) continue;
    const QPixmap image = shot.take(scene);
    const QString file = output + "/" + QString::fromLatin1(shot.name) + ".png";
    if (image.isNull() || !image.save(file)) {
      std::fprintf(stderr, "dq-screenshots: could not save %s\n", file.toLocal8Bit().constData());
      ++failures;
      continue;
    }
    std::printf("%s (%dx%d)\n", file.toLocal8Bit().constData(), image.width(), image.height());
  }

  main.close();
  sim->StopThread();
  return failures == 0 ? 0 : 1;
}

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
#include <QCheckBox>
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

#include "Citac618.h"
#include "FormCommon.h"
#include "Hlavni.h"
#include "NastavAdr.h"
#include "NastavDIO.h"
#include "OkamCNT.h"
#include "OkamDIN.h"
#include "OkamDOUT.h"
#include "Pripojeni.h"
#include "RTC.h"
#include "sim/simulator/Simulator.h"
#include "StatReg.h"

namespace {

constexpr int kComPort = 9;

// What every figure may use: the main window with its record, and the
// simulator it is connected to.
struct Scene {
  TForm1* main = nullptr;
  dqsim::Simulator* sim = nullptr;
  int problems = 0;  // figures whose window did not say what it should
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

constexpr size_t kModule = 0;  // the simulator's only module

// The module windows need an initialised link. When the connection figures
// were not made in this run, the link is opened as the connection window
// opens it.
void EnsureConnected(Scene& scene) {
  if (LinkReady(scene.config())) return;
  TForm2 form(scene.main);
  form.SetConfig(scene.config());
  form.show();
  Settle();
  ChooseInterface(&form, itDq2847);
  form.Button1Click();
  form.close();
  Settle();
}

// A figure must show what the window says after a real exchange; any other
// status text is reported and fails the run.
void ExpectStatus(Scene& scene, QWidget* window, const QString& expected) {
  const QString text = Child<TStatusBar>(window, "StatusBar1")->PanelText(0);
  if (text == expected) return;
  std::fprintf(stderr, "dq-screenshots: %s shows \"%s\" instead of \"%s\"\n",
               window->windowTitle().toUtf8().constData(), text.toUtf8().constData(),
               expected.toUtf8().constData());
  ++scene.problems;
}

// The text a poll shows when every exchange succeeded.
QString StatusOkText(Scene& scene) {
  return QStringLiteral(" ") + DriverText(scene.config()->InterfaceType, 0);
}

// Grabs T after `prepare` has changed the module's configuration registers;
// the factory registers come back afterwards, so that the figures after it
// do not depend on it.
template <class T>
QPixmap GrabWithRegisters(Scene& scene, const std::function<void(dqsim::ConfigRegisters&)>& prepare,
                          const std::function<void(T*)>& act) {
  EnsureConnected(scene);
  dqsim::ConfigRegisters saved;
  scene.sim->WithModule(kModule, [&](dqsim::Module& module) {
    saved = module.Registers();
    prepare(module.Registers());
  });
  QPixmap image = GrabDialog<T>(scene, act);
  scene.sim->WithModule(kModule, [&](dqsim::Module& module) { module.Registers() = saved; });
  return image;
}

// A live window after `ticks` polls; the status shows the text of status 0.
template <class T>
QPixmap GrabPolled(Scene& scene, int ticks) {
  EnsureConnected(scene);
  return GrabDialog<T>(scene, [&scene, ticks](T* form) {
    for (int i = 0; i < ticks; ++i) {
      form->Timer1Timer();
      Settle(4);
    }
    ExpectStatus(scene, form, StatusOkText(scene));
  });
}

// Pulses on every input, different on each, as a running installation
// gives them; the moving input pattern keeps adding to them.
void CountPulses(Scene& scene) {
  for (int channel = 0; channel < 32; ++channel) {
    const uint32_t count = 40u + (static_cast<uint32_t>(channel) * 2654435761u) % 98000u;
    scene.sim->Pulse(kModule, channel, count);
  }
}

const QString kConfigRead = QStringLiteral(" Konfigurace přečtena.");

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
      // ---- module configuration ---------------------------------------------
      {"address-rate-window",
       [](Scene& s) {
         return GrabWithRegisters<TForm12>(
             s, [](dqsim::ConfigRegisters&) {},
             [&s](TForm12* f) {
               f->Button2Click();  // "Přečíst"
               ExpectStatus(s, f, kConfigRead);
             });
       }},
      {"digital-io-window",
       [](Scene& s) {
         return GrabWithRegisters<TForm14>(
             s,
             [](dqsim::ConfigRegisters& r) {
               r.SetDinNegation(0x00000F03u);        // DIN0, DIN1, DIN8-DIN11
               r.SetDoutNegation(0x00030000u);       // DOUT16, DOUT17
               r.SetDoutInitialState(0x800000F0u);   // DOUT4-DOUT7, DOUT31
             },
             [&s](TForm14* f) {
               f->Button2Click();
               ExpectStatus(s, f, kConfigRead);
             });
       }},
      {"counter-settings-window",
       [](Scene& s) {
         return GrabWithRegisters<TForm5>(
             s,
             [](dqsim::ConfigRegisters& r) {
               const uint16_t pulses[4] = {1, 10, 250, 1000};
               for (int i = 0; i < 4; ++i) r.SetPulseNumber(i, pulses[i]);
             },
             [&s](TForm5* f) {
               f->Button2Click();
               ExpectStatus(s, f, kConfigRead);
             });
       }},
      {"rtc-window",
       [](Scene& s) {
         EnsureConnected(s);
         // A power cut of 12 min 34 s that ended 2 h 17 min ago, as the
         // module records it at its next power-up.
         s.sim->WithModule(kModule, [](dqsim::Module& module) {
           dqsim::PowerFailRecord failure;
           failure.end = module.Clock().Now() - (2 * 60 + 17) * 60;
           failure.start = failure.end - (12 * 60 + 34);
           module.SetPowerFail(failure);
         });
         return GrabDialog<TForm3>(s, [&s](TForm3* f) {
           f->Timer1Timer();  // power failure, then the clock
           f->Timer1Timer();
           ExpectStatus(s, f, StatusOkText(s));
         });
       }},
      // ---- live values --------------------------------------------------------
      {"live-counters-window",
       [](Scene& s) {
         EnsureConnected(s);
         CountPulses(s);
         return GrabPolled<TForm6>(s, 3);
       }},
      {"live-inputs-window",
       [](Scene& s) {
         EnsureConnected(s);
         s.sim->SetInputs(kModule, 0x813C0F05u);  // DIN0, DIN2, DIN8-11, DIN18-21, DIN24, DIN31
         QPixmap image = GrabPolled<TForm11>(s, 2);
         s.sim->SetInputPattern(kModule, true);
         return image;
       }},
      {"status-register-window",
       [](Scene& s) {
         EnsureConnected(s);
         s.sim->ClearStatusBits(kModule, 0xFFFFFFFFu);
         s.sim->SetStatusBits(kModule, (1u << dqsim::kStatusPrf) | (1u << dqsim::kStatusPwr) |
                                           (1u << dqsim::kStatusErr24));
         return GrabPolled<TForm15>(s, 2);
       }},
      {"outputs-window",
       [](Scene& s) {
         EnsureConnected(s);
         return GrabDialog<TForm9>(s, [&s](TForm9* f) {
           for (int n : {0, 1, 2, 9, 16, 17, 18, 19, 31})
             Child<QCheckBox>(f, QStringLiteral("CheckBox%1").arg(n + 1).toLatin1().constData())->setChecked(true);
           f->Button1Click();  // "Zapsat"
           ExpectStatus(s, f, QStringLiteral(" Data zapsána"));
           if (s.sim->Snapshot(kModule).outputs != 0x800F0207u) {
             std::fprintf(stderr, "dq-screenshots: the outputs written are not the boxes ticked\n");
             ++s.problems;
           }
         });
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
  return failures == 0 && scene.problems == 0 ? 0 : 1;
}

// Never another module's values after a reopen. A link reads module A
// ("DQ7184/9") through a library's Send; A goes away, module B ("DQ7184/8",
// the same address, other inputs) turns up where the link might look for
// A, and later A comes back in its own place. B's inputs are never handed
// out; the link settles on the row's code, and recovers by itself only
// where the module it finds is A.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <iostream>

#include "DriverEnv.h"
#include "core/ErrorCodes.h"
#include "LinkSim.h"
#include "LoopbackUdp.h"
#include "PortMap.h"
#include "Txxx847.h"

namespace {

constexpr uint32_t kInputsA = 0x11223344u, kInputsB = 0xB0B0B0B0u;
constexpr int kChildRefused = 255;  // the child could not give up root's rights

struct Read {
  int status = -1;
  uint32_t image = 0;
};

Read ReadInputs(TInterfaceType type, int32_t handle) {
  uint8_t b3 = 0, b4 = 0, b5 = 0, b6 = 0, b7 = 0, status = 0xEE;
  TExchangeReply reply{};
  ModuleExchange(type, handle, 3, 0, 64, b3, b4, b5, b6, b7, status, reply);
  return {status, PackBytes(b4, b5, b6, b7)};
}

// In a child without root's rights, which opens any device whatever its mode.
Read ReadWithoutRoot(TInterfaceType type, int32_t handle) {
  const pid_t child = fork();
  if (child == 0) _exit(geteuid() == 0 && setuid(65534) != 0 ? kChildRefused : ReadInputs(type, handle).status);
  int wait = 0;
  return {child > 0 && waitpid(child, &wait, 0) == child && WIFEXITED(wait) ? WEXITSTATUS(wait) : -1, 0};
}

dqsim::SimOptions Module(const char* model, bool serial, uint16_t udpPort, int comPort = 0) {
  dqsim::SimOptions options = LinkSimOptions(!serial);
  options.identity.model = model;
  options.pty = serial;
  options.udpPort = udpPort;
  options.comPort = comPort;
  return options;
}

// The two modules and the fake sysfs and /dev trees the libraries search.
struct Scene {
  dqtest::FakeMachine machine;
  dqtest::InProcessSim a, b;
  uint16_t udpPort = dqtest::FreeUdpPort();

  void Unplug(const std::string& name) const {
    std::filesystem::remove(machine.Dev(name));
    std::filesystem::remove_all(machine.Sys("class/tty/" + name));
  }
  void Node(const std::string& name, dqtest::InProcessSim& sim) const {
    std::filesystem::remove(machine.Dev(name));
    machine.DeviceNode(name, sim->PtyPath());
  }
  void ById(const std::string& serial, dqtest::InProcessSim& sim) const {
    Node("serial/by-id/usb-DQ_USB-2847_" + serial + "-if00-port0", sim);
  }
  void Usb(const std::string& tty, const std::string& socket, const std::string& serial, dqtest::InProcessSim& sim) {
    machine.UsbPort(tty, "4451", "2847", socket, serial);
    Node(tty, sim);
  }
  void Pci(const std::string& tty, const std::string& function, dqtest::InProcessSim& sim) {
    machine.PciPort(tty, function, "0x4451", "0x2847");
    Node(tty, sim);
  }
};

using Step = std::function<void(Scene&)>;
void AppearA(Scene& s) { ASSERT_TRUE(s.a->Appear(nullptr)); }

struct Row {
  const char* name;
  TInterfaceType type;
  Step plugA;    // before Init, and again when A is back (after A's lines appear)
  Step replace;  // A away: B in its way
  int settled;   // the code of the reads then
  Step back = nullptr;  // A back; none: its lines appear and plugA again
  bool withoutRoot = false;
};

const Row kRows[] = {
    {"COM: the port map entry pointed at B", itComPort, nullptr,
     [](Scene& s) { ASSERT_EQ(dqports::SetEntryIn(s.a.PortMap(), 9, s.b->PtyPath()), 0); }, dqerr::kForeignModule},
    {"COM: the entry removed, ttyS8 leads to B", itComPort, nullptr,
     [](Scene& s) {
       ASSERT_EQ(dqports::SetEntryIn(s.a.PortMap(), 9, ""), 0);
       s.Node("ttyS8", s.b);
     },
     dqerr::kPortVanished},
    {"COM: A back under a new path", itComPort, nullptr, AppearA, 0, [](Scene&) {}},
    {"COM: the port back, A not answering yet", itComPort, nullptr,
     [](Scene& s) {
       s.a->AddFault({dqsim::FaultKind::kSilence, -1, -1});
       AppearA(s);
     },
     dqerr::kTimeout, [](Scene& s) { s.a->ClearFaults(); }},
    {"COM: the port back without access rights", itComPort, nullptr,
     [](Scene& s) {
       AppearA(s);
       ASSERT_EQ(chmod(s.a->PtyPath().c_str(), 0), 0);
       ASSERT_EQ(chmod(s.a.Folder().Path().c_str(), 0755), 0);  // the port map stays readable
     },
     dqerr::kPortAccess, [](Scene& s) { ASSERT_EQ(chmod(s.a->PtyPath().c_str(), 0620), 0); }, true},
    {"USB: another converter's serial name", itUsb2847, [](Scene& s) { s.ById("A1", s.a); },
     [](Scene& s) {
       s.Unplug("serial/by-id/usb-DQ_USB-2847_A1-if00-port0");
       s.ById("B2", s.b);
     },
     dqerr::kPortVanished},
    {"USB: the same converter before B", itUsb2847, [](Scene& s) { s.ById("A1", s.a); },
     [](Scene& s) { s.ById("A1", s.b); }, dqerr::kForeignModule},
    {"USB: another converter without a serial number in another socket", itUsb2847,
     [](Scene& s) { s.Usb("ttyUSB0", "1-1", "", s.a); },
     [](Scene& s) {
       s.Unplug("ttyUSB0");
       s.Usb("ttyUSB1", "1-2", "", s.b);
     },
     dqerr::kPortVanished},
    {"USB: another converter's serial number in the same socket", itUsb2847,
     [](Scene& s) { s.Usb("ttyUSB0", "1-1", "A1", s.a); },
     [](Scene& s) {
       s.Unplug("ttyUSB0");
       s.Usb("ttyUSB1", "1-1", "B2", s.b);
     },
     dqerr::kPortVanished},
    {"PCI: another card", itPci2847, [](Scene& s) { s.Pci("ttyS4", "0000:03:00.0", s.a); },
     [](Scene& s) {
       s.Unplug("ttyS4");
       s.Pci("ttyS5", "0000:04:00.0", s.b);
     },
     dqerr::kPortVanished},
    {"LAN: another converter at the same address and port", itDq2847, nullptr,
     [](Scene& s) {
       ASSERT_EQ(s.b.Start(Module("DQ7184/8", false, s.udpPort)), "");
       s.b->SetInputs(0, kInputsB);
     },
     dqerr::kForeignModule, [](Scene& s) {
       s.b.Stop();
       AppearA(s);
     }},
};

TEST(ReopenIdentity, NoOtherModulesValuesAfterAReopen) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    const bool serial = row.type != itDq2847;
    Scene s;
    ASSERT_EQ(s.a.Start(Module("DQ7184/9", serial, s.udpPort, row.type == itComPort ? 9 : 0)), "");
    s.a->SetInputs(0, kInputsA);
    if (serial) {
      ASSERT_EQ(s.b.Start(Module("DQ7184/8", true, 0)), "");
      s.b->SetInputs(0, kInputsB);
    }
    if (row.plugA) {
      ASSERT_NO_FATAL_FAILURE(row.plugA(s));
    }
    setenv("DQ7184_PORTMAP", s.a.PortMap().c_str(), 1);
    OpenedLink link;
    ASSERT_TRUE(link.Open(row.type, s.udpPort, 150));
    auto read = [&](bool withoutRoot) {
      const Read seen = withoutRoot ? ReadWithoutRoot(row.type, link.Handle()) : ReadInputs(row.type, link.Handle());
      EXPECT_NE(seen.image, kInputsB) << "B's inputs handed out";
      EXPECT_EQ(seen.image, seen.status == 0 ? kInputsA : 0u);
      return seen.status;
    };
    ASSERT_EQ(read(false), 0);  // identifies A first: nothing carried yet

    ASSERT_TRUE(s.a->Disappear(serial ? "pty" : "udp", nullptr));
    EXPECT_EQ(read(false), serial ? dqerr::kPortVanished : dqerr::kConnRefused);
    ASSERT_NO_FATAL_FAILURE(row.replace(s));
    const int status = read(row.withoutRoot);
    if (status == kChildRefused) {
      std::cout << "[  SKIPPED ] " << row.name << ": no user to give up root's rights to\n";
      continue;
    }
    EXPECT_EQ(status, row.settled);
    EXPECT_EQ(read(row.withoutRoot), row.settled) << "the next read";
    if (row.back) {
      ASSERT_NO_FATAL_FAILURE(row.back(s));
    } else {
      AppearA(s);
      if (row.plugA) {
        ASSERT_NO_FATAL_FAILURE(row.plugA(s));
      }
    }
    const int after = row.settled == dqerr::kForeignModule ? dqerr::kForeignModule : 0;
    EXPECT_EQ(read(false), after) << "once A is back";
  }
}

}  // namespace

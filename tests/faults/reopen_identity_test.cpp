// Never another module's values after a reopen. A link talks to module A
// (simulator "DQ7184/9") through each kind of library; A goes away, and
// module B (a simulator "DQ7184/8" at the same bus address, other inputs)
// turns up where the link might look for A; later A comes back. Every read
// goes through the library's Send: B's inputs are never handed out, the
// link settles on the row's code, and it recovers by itself only where the
// module back is A.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <string>

#include "DriverEnv.h"
#include "ErrorCodes.h"
#include "LinkSim.h"
#include "LoopbackUdp.h"
#include "PortMap.h"
#include "Txxx847.h"

namespace {

constexpr uint8_t kAddress = 3;
constexpr uint32_t kInputsA = 0x11223344u;
constexpr uint32_t kInputsB = 0xB0B0B0B0u;
constexpr int kUdpTimeoutMs = 150;
constexpr uint8_t kChildRefused = 255;  // the child could not drop root

struct Read {
  int status = -1;
  uint32_t image = 0;
};

Read ReadInputs(TInterfaceType type, int32_t handle) {
  uint8_t b3 = 0, b4 = 0, b5 = 0, b6 = 0, b7 = 0, status = 0xEE;
  TExchangeReply reply{};
  ModuleExchange(type, handle, kAddress, 0, 64, b3, b4, b5, b6, b7, status, reply);
  return {status, PackBytes(b4, b5, b6, b7)};
}

// The same read in a child process without root's rights (root opens any
// device whatever its mode); the child's status, or kChildRefused.
Read ReadWithoutRoot(TInterfaceType type, int32_t handle) {
  const pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && setuid(65534) != 0) _exit(kChildRefused);
    _exit(ReadInputs(type, handle).status);
  }
  int wait = 0;
  if (child < 0 || waitpid(child, &wait, 0) != child || !WIFEXITED(wait)) return {};
  return {WEXITSTATUS(wait), 0};
}

dqsim::SimOptions Module(const char* model, bool serial, uint16_t udpPort) {
  dqsim::SimOptions options;
  options.addresses = {kAddress};
  options.baudCode = 8;
  options.identity.model = model;
  options.inputPattern = false;
  options.pty = serial;
  options.udp = !serial;
  options.udpPort = udpPort;
  return options;
}

// Where A is found, how B is put in its way, how A comes back. The names
// and the fake sysfs and /dev trees are those of dqtest::FakeMachine.
struct Scene {
  dqtest::FakeMachine machine;
  dqtest::InProcessSim a;
  dqtest::InProcessSim b;
  uint16_t udpPort = 0;

  std::string APty() { return a->PtyPath(); }
  std::string BPty() { return b->PtyPath(); }
  void Link(const std::string& target, const std::string& name) const {
    std::filesystem::remove(machine.Dev(name));
    machine.DeviceNode(name, target);
  }
  void Unlink(const std::string& name) const {
    std::filesystem::remove(machine.Dev(name));
    std::filesystem::remove_all(machine.Sys("class/tty/" + name));
  }
  void ById(const std::string& target, const std::string& serial) const {
    Link(target, "serial/by-id/usb-DQ_USB-2847_" + serial + "-if00-port0");
  }
  void Usb(const std::string& target, const std::string& tty, const std::string& socket,
           const std::string& serial = "") const {
    machine.UsbPort(tty, "4451", "2847", socket, serial);
    Link(target, tty);
  }
  void Pci(const std::string& target, const std::string& tty, const std::string& function) const {
    machine.PciPort(tty, function, "0x4451", "0x2847");
    Link(target, tty);
  }
};

using Step = std::function<void(Scene&)>;

struct Row {
  const char* name;
  TInterfaceType type;
  Step plugA;         // before Init: A where the library finds it
  Step replace;       // A gone: B in its way (and whatever else the row does)
  int settled;        // the code of the reads then
  Step back;          // A back in its own place
  bool recovers;      // A's values come back without a new Init
  bool withoutRoot = false;  // the reads while replaced, in a child without root's rights
};

void Nothing(Scene&) {}
void AppearA(Scene& s) { ASSERT_TRUE(s.a->Appear(nullptr)); }

const Row kRows[] = {
    {"COM: the port map entry pointed at another module", itComPort, Nothing,
     [](Scene& s) { ASSERT_EQ(dqports::SetEntryIn(s.a.PortMap(), 9, s.BPty()), 0); }, dqerr::kForeignModule,
     AppearA, false},
    {"COM: the entry removed, ttyS8 leads to another module", itComPort, Nothing,
     [](Scene& s) {
       ASSERT_EQ(dqports::SetEntryIn(s.a.PortMap(), 9, ""), 0);
       s.Link(s.BPty(), "ttyS8");
     },
     dqerr::kPortVanished, AppearA, true},
    {"COM: the same module back under a new path", itComPort, Nothing, AppearA, 0, Nothing, true},
    {"COM: the port back, its module not answering yet", itComPort, Nothing,
     [](Scene& s) {
       s.a->AddFault({dqsim::FaultKind::kSilence, -1, -1});
       AppearA(s);
     },
     dqerr::kTimeout, [](Scene& s) { s.a->ClearFaults(); }, true},
    {"COM: the port back without access rights", itComPort, Nothing,
     [](Scene& s) {
       AppearA(s);
       ASSERT_EQ(chmod(s.APty().c_str(), 0), 0);
       // The port map stays readable for the child.
       ASSERT_EQ(chmod(s.a.Folder().Path().c_str(), 0755), 0);
       ASSERT_EQ(chmod(s.a.PortMap().c_str(), 0644), 0);
     },
     dqerr::kPortAccess, [](Scene& s) { ASSERT_EQ(chmod(s.APty().c_str(), 0620), 0); }, true, true},
    {"USB: another converter by its serial name", itUsb2847, [](Scene& s) { s.ById(s.APty(), "A1"); },
     [](Scene& s) {
       s.Unlink("serial/by-id/usb-DQ_USB-2847_A1-if00-port0");
       s.ById(s.BPty(), "B2");
     },
     dqerr::kPortVanished,
     [](Scene& s) {
       AppearA(s);
       s.ById(s.APty(), "A1");
     },
     true},
    {"USB: the same converter moved to another module", itUsb2847, [](Scene& s) { s.ById(s.APty(), "A1"); },
     [](Scene& s) { s.ById(s.BPty(), "A1"); }, dqerr::kForeignModule,
     [](Scene& s) {
       AppearA(s);
       s.ById(s.APty(), "A1");
     },
     false},
    {"USB: another converter without a serial number, in another socket", itUsb2847,
     [](Scene& s) { s.Usb(s.APty(), "ttyUSB0", "1-1"); },
     [](Scene& s) {
       s.Unlink("ttyUSB0");
       s.Usb(s.BPty(), "ttyUSB1", "1-2");
     },
     dqerr::kPortVanished,
     [](Scene& s) {
       AppearA(s);
       s.Unlink("ttyUSB1");
       s.Usb(s.APty(), "ttyUSB2", "1-1");
     },
     true},
    {"USB: another converter with a serial number in the same socket", itUsb2847,
     [](Scene& s) { s.Usb(s.APty(), "ttyUSB0", "1-1", "A1"); },
     [](Scene& s) {
       s.Unlink("ttyUSB0");
       s.Usb(s.BPty(), "ttyUSB1", "1-1", "B2");
     },
     dqerr::kPortVanished,
     [](Scene& s) {
       AppearA(s);
       s.Unlink("ttyUSB1");
       s.Usb(s.APty(), "ttyUSB0", "1-3", "A1");
     },
     true},
    {"PCI: another card", itPci2847, [](Scene& s) { s.Pci(s.APty(), "ttyS4", "0000:03:00.0"); },
     [](Scene& s) {
       s.Unlink("ttyS4");
       s.Pci(s.BPty(), "ttyS5", "0000:04:00.0");
     },
     dqerr::kPortVanished,
     [](Scene& s) {
       AppearA(s);
       s.Pci(s.APty(), "ttyS4", "0000:03:00.0");
     },
     true},
    {"LAN: another converter at the same address and port", itDq2847, Nothing,
     [](Scene& s) { ASSERT_EQ(s.b.Start(Module("DQ7184/8", false, s.udpPort)), ""); }, dqerr::kForeignModule,
     [](Scene& s) {
       s.b.Stop();
       AppearA(s);
     },
     false},
};

TEST(ReopenIdentity, NoOtherModulesValuesAfterAReopen) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    const bool serial = row.type != itDq2847;
    Scene s;
    s.udpPort = dqtest::FreeUdpPort();
    dqsim::SimOptions a = Module("DQ7184/9", serial, s.udpPort);
    a.comPort = row.type == itComPort ? 9 : 0;
    ASSERT_EQ(s.a.Start(a), "");
    s.a->SetInputs(0, kInputsA);
    if (serial) {
      ASSERT_EQ(s.b.Start(Module("DQ7184/8", true, 0)), "");
      s.b->SetInputs(0, kInputsB);
    }
    ASSERT_NO_FATAL_FAILURE(row.plugA(s));
    setenv("DQ7184_PORTMAP", s.a.PortMap().c_str(), 1);
    OpenedLink link;
    ASSERT_TRUE(link.Open(row.type, s.udpPort, kUdpTimeoutMs));
    auto read = [&](bool withoutRoot = false) {
      const Read seen = withoutRoot ? ReadWithoutRoot(row.type, link.Handle()) : ReadInputs(row.type, link.Handle());
      EXPECT_FALSE(seen.status == 0 && seen.image == kInputsB) << "module B's inputs handed out";
      EXPECT_EQ(seen.image, seen.status == 0 ? kInputsA : 0u);
      return seen.status;
    };
    // The first read identifies the module: the link has carried no
    // identification yet.
    ASSERT_EQ(read(), 0);

    ASSERT_TRUE(s.a->Disappear(serial ? "pty" : "udp", nullptr));
    EXPECT_EQ(read(), serial ? dqerr::kPortVanished : dqerr::kConnRefused);
    ASSERT_NO_FATAL_FAILURE(row.replace(s));
    if (!serial) s.b->SetInputs(0, kInputsB);
    int status = read(row.withoutRoot);
    if (status == kChildRefused) {
      std::cout << "[  SKIPPED ] " << row.name << ": no user to drop root's rights to\n";
      continue;
    }
    EXPECT_EQ(status, row.settled);
    EXPECT_EQ(read(row.withoutRoot), row.settled) << "the next read";
    ASSERT_NO_FATAL_FAILURE(row.back(s));
    EXPECT_EQ(read(), row.recovers ? 0 : dqerr::kForeignModule);
    EXPECT_EQ(read(), row.recovers ? 0 : dqerr::kForeignModule);
  }
}

}  // namespace

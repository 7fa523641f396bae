// Finding the card and converter ports in a fake sysfs and /dev tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "Discovery.h"
#include "DriverEnv.h"
#include "EntryPoints.h"
#include "core/ErrorCodes.h"
#include "PortMap.h"

using dqtest::FakeMachine;
using dqtest::PtyPair;

TEST(Discovery, IsaPortByIoBaseSkipsPortsWithoutUart) {
  FakeMachine machine;
  machine.IsaPort("ttyS0", "0x3F8", "4");
  machine.IsaPort("ttyS1", "0x2F8", "0");
  machine.IsaPort("ttyS2", "0x300", "4");
  EXPECT_EQ(dqglue::FindIsaPort(0x3F8).value_or("-"), machine.Dev("ttyS0"));
  EXPECT_EQ(dqglue::FindIsaPort(0x300).value_or("-"), machine.Dev("ttyS2"));
  EXPECT_FALSE(dqglue::FindIsaPort(0x2F8));
  EXPECT_FALSE(dqglue::FindIsaPort(0x2A0));
}

TEST(Discovery, PciPortByVendorAndDeviceInNameOrder) {
  FakeMachine machine;
  machine.PciPort("ttyS3", "0000:02:00.0", "0x8086", "0x2847");
  machine.PciPort("ttyS10", "0000:05:00.0", "0x4451", "0x2847");
  machine.PciPort("ttyS9", "0000:04:00.0", "0x4451", "0x2847");
  EXPECT_EQ(dqglue::FindPciPort(0x4451, 0x2847).value_or("-"), machine.Dev("ttyS9"));
  EXPECT_FALSE(dqglue::FindPciPort(0x4451, 0x9999));
}

TEST(Discovery, UsbConverterBySerialNameOrUsbIds) {
  FakeMachine machine;
  machine.UsbPort("ttyUSB0", "0403", "6001");
  EXPECT_FALSE(dqglue::FindUsbPort(0x4451, 0x2847, "USB-2847"));
  machine.UsbPort("ttyUSB1", "4451", "2847");
  EXPECT_EQ(dqglue::FindUsbPort(0x4451, 0x2847, "USB-2847").value_or("-"), machine.Dev("ttyUSB1"));
  machine.Dir().Symlink("../../ttyUSB7", "dev/serial/by-id/usb-DQ_USB-2847_A1-if00-port0");
  EXPECT_EQ(dqglue::FindUsbPort(0x4451, 0x2847, "USB-2847").value_or("-"),
            machine.Dev("serial/by-id/usb-DQ_USB-2847_A1-if00-port0"));
}

TEST(Discovery, ComPortFromMapOrTtyS) {
  FakeMachine machine;
  EXPECT_EQ(dqglue::ComPortPath(1), machine.Dev("ttyS0"));
  EXPECT_EQ(dqglue::ComPortPath(6), machine.Dev("ttyS5"));
  ASSERT_EQ(dqports::SetEntry(6, "/dev/pts/42"), 0);
  EXPECT_EQ(dqglue::ComPortPath(6), "/dev/pts/42");
}

namespace {

enum class Kind { kIsa, kPci, kUsbIds, kUsbSerialName, kCom };

// Puts the interface's port under the name, leading to the terminal.
void Plug(const FakeMachine& machine, Kind kind, const std::string& name, const std::string& terminal) {
  switch (kind) {
    case Kind::kIsa: machine.IsaPort(name, "0x300", "4"); break;
    case Kind::kPci: machine.PciPort(name, "0000:04:00.0", "0x4451", "0x2847"); break;
    case Kind::kUsbIds: machine.UsbPort(name, "4451", "2847", "1-1"); break;
    case Kind::kUsbSerialName: machine.Dir().Symlink(terminal, "dev/serial/by-id/" + name); return;
    case Kind::kCom: ASSERT_EQ(dqports::SetEntry(5, terminal), 0); return;
  }
  machine.DeviceNode(name, terminal);
}

void Unplug(const FakeMachine& machine, Kind kind, const std::string& name) {
  namespace fs = std::filesystem;
  if (kind == Kind::kUsbSerialName) {
    fs::remove(machine.Dev("serial/by-id/" + name));
  } else if (kind == Kind::kCom) {
    ASSERT_EQ(dqports::RemoveEntry(5), 0);
  } else {
    fs::remove_all(machine.Sys("class/tty/" + name));
    fs::remove(machine.Dev(name));
  }
}

dqglue::FoundDevice Find(Kind kind) {
  switch (kind) {
    case Kind::kIsa: return dqglue::FindIsaDevice(0x300);
    case Kind::kPci: return dqglue::FindPciDevice(dqglue::kPci2847.vendor, dqglue::kPci2847.product);
    case Kind::kCom: return dqglue::FindComDevice(5);
    default: return dqglue::FindUsbDevice(dqglue::kUsb2847.vendor, dqglue::kUsb2847.product, dqglue::kUsbSerialTag);
  }
}

int32_t ReadInputs(dqglue::HandleTable& table, int32_t handle) {
  const uint32_t request[8] = {3, 0, 64, 0, 0, 0, 0, 0};
  uint32_t reply[100] = {};
  int32_t count = 0;
  int32_t status = 0;
  return dqglue::Send(table, handle, request, reply, &count, &status);
}

}  // namespace

// A link whose device vanished looks for that same device at each
// exchange: a converter plugged in again into the same socket comes back
// under another tty name, a port map entry is changed.
TEST(Discovery, LinkFindsItsDeviceAgainUnderANewName) {
  const struct {
    const char* name;
    Kind kind;
    const char* before;
    const char* after;
  } rows[] = {
      {"ISA card", Kind::kIsa, "ttyS2", "ttyS2"},
      {"PCI card", Kind::kPci, "ttyS9", "ttyS10"},
      {"USB converter by its ids", Kind::kUsbIds, "ttyUSB0", "ttyUSB1"},
      {"USB converter by its serial name", Kind::kUsbSerialName, "usb-DQ_USB-2847_A1-if00-port0",
       "usb-DQ_USB-2847_A1-if00-port0"},
      {"COM port of the port map", Kind::kCom, "", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FakeMachine machine;
    auto first = std::make_unique<PtyPair>();
    Plug(machine, row.kind, row.before, first->SlavePath());
    dqglue::FoundDevice found = Find(row.kind);
    ASSERT_FALSE(found.path.empty());
    dqglue::HandleTable table;
    int32_t handle = 0;
    ASSERT_EQ(dqglue::OpenSerialLink(table, &handle, found.path, found.again), dqerr::kOk);
    ASSERT_EQ(dqglue::SetConfig(table, handle, 115200, 0, 0), dqerr::kOk);
    EXPECT_EQ(ReadInputs(table, handle), dqerr::kTimeout);  // no module: the request is enough
    EXPECT_FALSE(first->ReadRequest().empty());

    first->CloseMaster();
    Unplug(machine, row.kind, row.before);
    EXPECT_EQ(ReadInputs(table, handle), dqerr::kPortVanished);
    EXPECT_EQ(ReadInputs(table, handle), dqerr::kPortVanished);  // nothing plugged in

    PtyPair second;
    Plug(machine, row.kind, row.after, second.SlavePath());
    EXPECT_EQ(ReadInputs(table, handle), dqerr::kTimeout);
    EXPECT_FALSE(second.ReadRequest().empty()) << "no request on the device plugged in again";
    EXPECT_EQ(dqglue::Done(table, &handle), dqerr::kOk);
  }
}

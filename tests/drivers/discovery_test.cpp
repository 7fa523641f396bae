// Finding the card and converter ports in a fake sysfs and /dev tree.
#include <gtest/gtest.h>

#include "Discovery.h"
#include "DriverEnv.h"
#include "PortMap.h"

using dqtest::FakeMachine;

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

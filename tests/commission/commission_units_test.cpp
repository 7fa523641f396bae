// The commissioning library without a module: the backup file keeps every
// field through a write and a read, and address lists expand as typed.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "AddressList.h"
#include "BackupFile.h"

namespace {

TModuleSetup MakeSetup(uint8_t address, uint8_t baudCode, std::vector<uint16_t> pulses, uint32_t din, uint32_t doutNeg,
                   uint32_t doutInit) {
  TModuleSetup s{};
  s.Address = address;
  s.BaudCode = baudCode;
  for (int i = 0; i < 4; ++i) s.PulseNumber[i] = pulses[i];
  for (int j = 0; j < 4; ++j) {
    s.DinNegation[j] = static_cast<uint8_t>(din >> (8 * j));
    s.DoutNegation[j] = static_cast<uint8_t>(doutNeg >> (8 * j));
    s.DoutInitialState[j] = static_cast<uint8_t>(doutInit >> (8 * j));
  }
  return s;
}

// Each field comes back from the file in its own place: masks not swapped,
// channels not shifted, pulse bytes not turned round.
TEST(BackupFileTest, WrittenFileReadsBackTheSameConfiguration) {
  struct Row {
    const char* name;
    TModuleSetup setup;
  } rows[] = {
      {"factory", MakeSetup(0, 4, {1, 1, 1, 1}, 0, 0, 0)},
      {"everything set", MakeSetup(255, 8, {65535, 65535, 65535, 65535}, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF)},
      {"edges of each mask differ", MakeSetup(17, 0, {0, 256, 1000, 255}, 0x80000001, 0x00018000, 0x40000002)},
      {"mixed bytes", MakeSetup(3, 5, {2, 3, 4, 5}, 0x12345678, 0x9ABCDEF0, 0x0F0F0F0F)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    dqcommission::ConfigBackup written;
    written.typeName = "DQ7184/9";
    written.version = "1.03";
    written.setup = row.setup;
    dqcommission::ConfigBackup read;
    dqcommission::BackupError error;
    ASSERT_TRUE(dqcommission::ParseBackup(dqcommission::FormatBackup(written), read, error)) << error.line << error.message;
    EXPECT_EQ(std::memcmp(&read.setup, &row.setup, sizeof(TModuleSetup)), 0);
    EXPECT_EQ(read.typeName, "DQ7184/9");
  }
}

// A module's identification reaches the terminal and the file without its
// control characters, padding cut off.
TEST(BackupFileTest, ModuleTextsLoseControlCharacters) {
  struct Row {
    std::string sent;  // Windows-1250 bytes from the module
    const char* shown;
  } rows[] = {
      {"DQ7184/9", "DQ7184/9"},
      {std::string("DQ71\0\0\0\0", 8), "DQ71"},
      {"DQ7184  ", "DQ7184"},
      {"DQ\x1b[2J84", "DQ?[2J84"},
      {"DQ\x81\x8a", "DQ?\xC5\xA0"},  // undefined byte 0x81; 0x8A is Š
  };
  for (const auto& row : rows) EXPECT_EQ(dqcommission::ModuleTypeText(row.sent), row.shown) << row.shown;
}

TEST(AddressListTest, ListsExpandOrNameTheBadPart) {
  struct Row {
    const char* text;
    std::vector<uint8_t> addresses;  // empty: refused
    const char* error;
  } rows[] = {
      {"5", {5}, ""},
      {"1,4,7-9", {1, 4, 7, 8, 9}, ""},
      {"0x10,255", {16, 255}, ""},
      {"9-7", {}, "\"9-7\""},
      {"256", {}, "\"256\""},
      {"1,,2", {}, "\"\""},
      {"1,2-4,3", {}, "address 3 is named twice"},
      {"-1", {}, "\"-1\""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    std::vector<uint8_t> addresses;
    std::string error;
    bool ok = dqcommission::ParseAddressList(row.text, addresses, error);
    EXPECT_EQ(ok, !row.addresses.empty());
    if (ok) {
      EXPECT_EQ(addresses, row.addresses);
    } else {
      EXPECT_NE(error.find(row.error), std::string::npos) << error;
    }
  }
}

}  // namespace

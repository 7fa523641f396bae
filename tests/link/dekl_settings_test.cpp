// ReadSettings and WriteSettings on real files in a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Dekl.h"
#include "dekl_test_files.h"

namespace {

// Windows-1250 spellings of the names, written out byte by byte.
const std::string kConnection = "[P\xF8ipojen\xED]";
const std::string kInterface = "Rozhran\xED";
const std::string kPort = "\xC8\xEDslo portu";
const std::string kBase = "B\xE1zov\xE1 adresa";

class SettingsTest : public ::testing::Test {
 protected:
  dqtest::TempDir folder;
  std::string path = folder.File("W_dq7184.ini");
  TConnectionConfig config = DefaultConfig();

  bool Read(const std::string& bytes) {
    WriteFile(path, bytes);
    return ReadSettings(&config, path);
  }
};

void ExpectSamePersisted(const TConnectionConfig& a, const TConnectionConfig& b) {
  EXPECT_EQ(a.InterfaceType, b.InterfaceType);
  EXPECT_EQ(a.ModuleAddress, b.ModuleAddress);
  EXPECT_EQ(a.BaudRate, b.BaudRate);
  EXPECT_EQ(a.IsaBaseAddress, b.IsaBaseAddress);
  EXPECT_EQ(a.ComPort, b.ComPort);
  EXPECT_EQ(a.IpAddress, b.IpAddress);
  EXPECT_EQ(a.UdpPort, b.UdpPort);
  EXPECT_EQ(a.UdpTimeout, b.UdpTimeout);
}

TEST_F(SettingsTest, MissingFileKeepsDefaultsAndFirstWriteCreatesTheKeys) {
  EXPECT_FALSE(ReadSettings(&config, path));
  ExpectSamePersisted(config, DefaultConfig());

  EXPECT_TRUE(WriteSettings(&config, path));
  EXPECT_EQ(ReadFile(path), kConnection + "\r\n" + kInterface + "=COMx\r\nAdresa=0\r\nRychlost=9600\r\n\r\n[COMx]\r\n" +
                                 kPort + "=1\r\n");
  TConnectionConfig again = DefaultConfig();
  again.ComPort = 7;
  EXPECT_TRUE(ReadSettings(&again, path));
  ExpectSamePersisted(again, DefaultConfig());
}

TEST_F(SettingsTest, NullRecord) {
  EXPECT_FALSE(ReadSettings(nullptr, path));
  EXPECT_FALSE(WriteSettings(nullptr, path));
  EXPECT_EQ(ReadFile(path), "");
}

TEST_F(SettingsTest, JklOrNoInterfaceKeyReadsNothing) {
  for (const std::string& file : {kConnection + "\r\n" + kInterface + "=jkl\r\nAdresa=5\r\n",
                                  kConnection + "\r\nAdresa=5\r\n", "[COMx]\r\n" + kInterface + "=COMx\r\nAdresa=5\r\n"}) {
    config.InterfaceType = 3;
    EXPECT_FALSE(Read(file));
    EXPECT_EQ(config.InterfaceType, 3);
    EXPECT_EQ(config.ModuleAddress, 0);
  }
}

TEST_F(SettingsTest, InterfaceNamesAreCaseSensitive) {
  config.InterfaceType = 3;
  EXPECT_TRUE(Read(kConnection + "\r\n" + kInterface + "=comx\r\nAdresa=12\r\n"));
  EXPECT_EQ(config.InterfaceType, 3);
  EXPECT_EQ(config.ModuleAddress, 12);

  EXPECT_TRUE(Read(kConnection + "\r\n" + kInterface + "=\r\n"));  // empty: read, matches nothing
  EXPECT_EQ(config.InterfaceType, 3);

  const char* names[] = {"COMx", "PCI-847", "PCI-2847", "USB-2847", "DQ-2847"};
  for (int type = 0; type < kInterfaceTypeCount; ++type) {
    config.InterfaceType = 99;
    EXPECT_TRUE(Read(kConnection + "\r\n" + kInterface + "=" + names[type] + "\r\n"));
    EXPECT_EQ(config.InterfaceType, type);
  }
}

TEST_F(SettingsTest, IntegersAreCutToTheFieldWidth) {
  EXPECT_TRUE(Read(kConnection + "\r\n" + kInterface + "=COMx\r\nAdresa=300\r\nRychlost=1000\r\n[COMx]\r\n" + kPort +
                   "=257\r\n[PCI-847]\r\n" + kBase + "=70000\r\n[DQ-2847]\r\nUDP port=-1\r\nUDP timeout=4096\r\n"));
  EXPECT_EQ(config.ModuleAddress, 44);
  EXPECT_EQ(config.BaudRate, 1000u);
  EXPECT_EQ(config.ComPort, 1);
  EXPECT_EQ(config.IsaBaseAddress, 70000 - 65536);
  EXPECT_EQ(config.UdpPort, 4294967295u);
  EXPECT_EQ(config.UdpTimeout, 4096u);
}

TEST_F(SettingsTest, HexadecimalValues) {
  EXPECT_TRUE(Read(kConnection + "\r\n" + kInterface + "=PCI-847\r\nAdresa=0X1f\r\nRychlost=$1C200\r\n[PCI-847]\r\n" +
                   kBase + "=x2F8\r\n[COMx]\r\n" + kPort + "=0x3\r\n[DQ-2847]\r\nUDP port=0x1388\r\nUDP timeout=$FFFFFFFF\r\n"));
  EXPECT_EQ(config.InterfaceType, itPci847);
  EXPECT_EQ(config.ModuleAddress, 31);
  EXPECT_EQ(config.BaudRate, 115200u);
  EXPECT_EQ(config.IsaBaseAddress, 0x2F8);
  EXPECT_EQ(config.ComPort, 3);
  EXPECT_EQ(config.UdpPort, 5000u);
  EXPECT_EQ(config.UdpTimeout, 4294967295u);
}

TEST_F(SettingsTest, MalformedIntegersKeepTheFields) {
  config.ModuleAddress = 9;
  EXPECT_TRUE(Read(kConnection + "\r\n" + kInterface + "=COMx\r\nAdresa=12a\r\nRychlost=\r\n[COMx]\r\n" + kPort +
                   "=0x\r\n[DQ-2847]\r\nUDP port=2147483648\r\nUDP timeout=+0x5\r\n"));
  EXPECT_EQ(config.ModuleAddress, 9);
  EXPECT_EQ(config.BaudRate, 9600u);
  EXPECT_EQ(config.ComPort, 1);
  EXPECT_EQ(config.UdpPort, 5000u);
  EXPECT_EQ(config.UdpTimeout, 200u);
}

TEST_F(SettingsTest, EveryInterfaceRoundTrips) {
  for (int type = 0; type < kInterfaceTypeCount; ++type) {
    std::remove(path.c_str());
    // 4000000000 Bd: beyond the signed decimals, still read back
    TConnectionConfig written = LanConfig(255, 4000000000u, "127.0.2.1", 65535, 0);
    written.InterfaceType = static_cast<TInterfaceType>(type);
    written.ComPort = 16;
    written.IsaBaseAddress = 0xFFFF;
    ASSERT_TRUE(WriteSettings(&written, path));

    TConnectionConfig read = DefaultConfig();
    ASSERT_TRUE(ReadSettings(&read, path));
    // Only the chosen interface's parameters reach the file.
    TConnectionConfig expected = DefaultConfig();
    expected.InterfaceType = written.InterfaceType;
    expected.ModuleAddress = written.ModuleAddress;
    expected.BaudRate = written.BaudRate;
    if (type == itComPort) expected.ComPort = written.ComPort;
    if (type == itPci847) expected.IsaBaseAddress = written.IsaBaseAddress;
    if (type == itDq2847) {
      expected.IpAddress = written.IpAddress;
      expected.UdpPort = written.UdpPort;
      expected.UdpTimeout = written.UdpTimeout;
    }
    ExpectSamePersisted(read, expected);
  }
}

TEST_F(SettingsTest, UnknownInterfaceCodeIsWrittenAsComPort) {
  config.InterfaceType = 9;
  config.ComPort = 4;
  EXPECT_TRUE(WriteSettings(&config, path));
  TConnectionConfig read = DefaultConfig();
  read.InterfaceType = 2;
  EXPECT_TRUE(ReadSettings(&read, path));
  EXPECT_EQ(read.InterfaceType, itComPort);
  EXPECT_EQ(read.ComPort, 4);
}

TEST_F(SettingsTest, OnlyTheCurrentSectionIsWritten) {
  const std::string comSection = "[COMx]\n" + kPort + " = 5 ; kept as typed\n";
  const std::string earlier = "; settings of the tool\r\n\r\n" + kConnection + "\r\n" + kInterface +
                              "=COMx\r\nAdresa=3\r\nRychlost=19200\r\nUnknown key=x\r\n\r\n" + comSection +
                              "\n[Elsewhere]\nAdresa=77\n";
  WriteFile(path, earlier);
  config = LanConfig(8, 57600, "127.0.2.7", 5001, 300);
  EXPECT_TRUE(WriteSettings(&config, path));
  EXPECT_EQ(ReadFile(path), "; settings of the tool\r\n\r\n" + kConnection + "\r\n" + kInterface +
                                 "=DQ-2847\r\nAdresa=8\r\nRychlost=57600\r\nUnknown key=x\r\n\r\n" + comSection +
                                 "\n[Elsewhere]\nAdresa=77\n\r\n[DQ-2847]\r\nIP adresa=127.0.2.7\r\nUDP port=5001\r\n"
                                 "UDP timeout=300\r\n");

  // Back to the COM port: its port number comes back from the file.
  TConnectionConfig read = DefaultConfig();
  ASSERT_TRUE(ReadSettings(&read, path));
  EXPECT_EQ(read.ComPort, 1);  // "5 ; kept as typed" is no integer
  EXPECT_EQ(read.IpAddress, "127.0.2.7");
}

TEST_F(SettingsTest, CzechNamesInAnyCaseAreUpdatedInPlace) {
  WriteFile(path, W("[PŘIPOJENÍ]\nROZHRANÍ = PCI-847\nadresa=1\n[pci-847]\nBÁZOVÁ ADRESA=$2F8\n"));
  EXPECT_TRUE(ReadSettings(&config, path));
  EXPECT_EQ(config.InterfaceType, itPci847);
  EXPECT_EQ(config.IsaBaseAddress, 0x2F8);
  config.IsaBaseAddress = 0x300;
  EXPECT_TRUE(WriteSettings(&config, path));
  EXPECT_EQ(ReadFile(path),
            W("[PŘIPOJENÍ]\nROZHRANÍ = PCI-847\nadresa=1\nRychlost=9600\n[pci-847]\nBÁZOVÁ ADRESA=768\n"));
}

TEST_F(SettingsTest, DuplicateKeysAndQuotedValues) {
  EXPECT_TRUE(Read(kConnection + "\r\n" + kInterface + "=\"DQ-2847\"\r\nAdresa=4\r\nAdresa=5\r\n[DQ-2847]\r\n"
                   "IP adresa = ' 127.0.2.9 '\r\nUDP port=\"6000\"\r\nIP adresa=127.0.0.11\r\n"));
  EXPECT_EQ(config.InterfaceType, itDq2847);
  EXPECT_EQ(config.ModuleAddress, 4);
  EXPECT_EQ(config.IpAddress, " 127.0.2.9 ");
  EXPECT_EQ(config.UdpPort, 6000u);

  EXPECT_TRUE(WriteSettings(&config, path));
  TConnectionConfig read = DefaultConfig();
  EXPECT_TRUE(ReadSettings(&read, path));
  ExpectSamePersisted(read, config);
  EXPECT_NE(ReadFile(path).find("Adresa=4\r\nAdresa=5\r\n"), std::string::npos);
}

TEST_F(SettingsTest, IpAddressWithLineBreakCannotInjectLines) {
  config.InterfaceType = itDq2847;
  config.IpAddress = "127.0.2.1\r\n[" + std::string("P\xF8ipojen\xED") + "]\r\n" + kInterface + "=PCI-847";
  EXPECT_TRUE(WriteSettings(&config, path));
  const std::string file = ReadFile(path);
  EXPECT_NE(file.find("IP adresa=127.0.2.1\r\nUDP port=5000\r\n"), std::string::npos);
  EXPECT_EQ(file.find("PCI-847"), std::string::npos);
  TConnectionConfig read = DefaultConfig();
  EXPECT_TRUE(ReadSettings(&read, path));
  EXPECT_EQ(read.InterfaceType, itDq2847);
  EXPECT_EQ(read.IpAddress, "127.0.2.1");
}

TEST_F(SettingsTest, MixedLineEndsAndMissingFinalBreakSurvive) {
  const std::string earlier = kConnection + "\n" + kInterface + "=COMx\r\nAdresa=2\n\n[Other]\r\nx=1";
  EXPECT_TRUE(Read(earlier));
  EXPECT_EQ(config.ModuleAddress, 2);
  config.ModuleAddress = 6;
  EXPECT_TRUE(WriteSettings(&config, path));
  // New lines end like the first line; a rewritten one keeps its own end.
  EXPECT_EQ(ReadFile(path), kConnection + "\n" + kInterface + "=COMx\r\nAdresa=6\nRychlost=9600\n\n[Other]\r\nx=1\n\n[COMx]\n" +
                                 kPort + "=1\n");
}

// The content functions are what the file functions do between the file
// and its bytes: the same record read, the same bytes saved.
TEST_F(SettingsTest, ContentFunctionsMatchTheFileOnes) {
  const std::string rows[] = {
      "",
      kConnection + "\r\n" + kInterface + "=DQ-2847\r\nAdresa=0x21\r\n[DQ-2847]\r\nIP adresa=\"127.0.0.1\"\r\n",
      "[x]\ny=1\n" + kConnection + "\n" + kInterface + "=PCI-847\n" + kBase + "=768",
      std::string("\0\xFF[\r=\n", 7),
  };
  for (const std::string& content : rows) {
    config = DefaultConfig();
    TConnectionConfig fromContent = config;
    const bool named = ReadSettingsFrom(&fromContent, content);
    EXPECT_EQ(Read(content), named) << content;
    ExpectSamePersisted(fromContent, config);

    EXPECT_TRUE(WriteSettings(&config, path));
    EXPECT_EQ(ReadFile(path), UpdatedSettings(config, content)) << content;
  }
}

TEST(SettingsPath, BesideTheExecutable) {
  const std::string path = SettingsFilePath();
  EXPECT_EQ(path, std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/W_dq7184.ini");
  EXPECT_STREQ(kSettingsFileName, "W_dq7184.ini");
}

}  // namespace

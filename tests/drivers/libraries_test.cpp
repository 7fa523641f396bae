// The five driver libraries through dlopen of their files in the output
// folder: entry points, error texts, handles, and each Init's failures.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "core/DriverAbi.h"
#include "DriverEnv.h"
#include "core/ErrorCodes.h"
#include "LoopbackUdp.h"
#include "PortMap.h"
#include "TestUtil.h"
#include "core/Cp1250.h"

using dqtest::FakeMachine;
using dqtest::PtyModule;
using dqtest::PtyPair;

namespace {

struct Library {
  void* handle = nullptr;
  std::string prefix;
  dqabi::VersionFn version = nullptr;
  void* init = nullptr;
  dqabi::SetConfigFn setConfig = nullptr;
  dqabi::GetConfigFn getConfig = nullptr;
  dqabi::SendFn send = nullptr;
  dqabi::DoneFn done = nullptr;
  dqabi::ErrorFn error = nullptr;

  explicit Library(const std::string& name) : prefix(name) {
    std::string path = std::string(DQ_DRIVER_DIR) + "/" + name + ".DLL";
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return;
    version = reinterpret_cast<dqabi::VersionFn>(Symbol("_Version"));
    init = Symbol("_Init");
    setConfig = reinterpret_cast<dqabi::SetConfigFn>(Symbol("_SetConfig"));
    getConfig = reinterpret_cast<dqabi::GetConfigFn>(Symbol("_GetConfig"));
    send = reinterpret_cast<dqabi::SendFn>(Symbol("_Send"));
    done = reinterpret_cast<dqabi::DoneFn>(Symbol("_Done"));
    error = reinterpret_cast<dqabi::ErrorFn>(Symbol("_Error"));
  }
  ~Library() {
    if (handle != nullptr) dlclose(handle);
  }
  void* Symbol(const std::string& suffix) const { return dlsym(handle, (prefix + suffix).c_str()); }
  bool Complete() const {
    return handle && version && init && setConfig && getConfig && send && done && error;
  }
  int32_t InitPort(int32_t* h, int32_t value) const { return reinterpret_cast<dqabi::InitPortFn>(init)(h, value); }
  int32_t InitPlain(int32_t* h) const { return reinterpret_cast<dqabi::InitPlainFn>(init)(h); }
  int32_t InitBlock(int32_t* h, const intptr_t* block) const {
    return reinterpret_cast<dqabi::InitBlockFn>(init)(h, block);
  }
  std::string ErrorText(int32_t code) const {
    uint32_t buffer[dqabi::kErrorTextWords] = {};
    error(code, buffer);
    std::string text;
    for (uint32_t word : buffer) {
      if (word == 0) break;
      text.push_back(static_cast<char>(word & 0xFF));
    }
    return text;
  }
};

const char* const kPrefixes[] = {"TCOM847", "TPCI847", "TPCI2847", "TUSB2847", "TDQ2847"};

struct Exchange {
  Exchange() = default;
  Exchange(std::initializer_list<uint32_t> words) { std::copy(words.begin(), words.end(), request); }
  uint32_t request[dqabi::kRequestWords] = {};
  uint32_t reply[dqabi::kReplyWords + 4] = {};
  int32_t count = -1;
  int32_t status = -1;
  int32_t result = -1;
  void Run(const Library& library, int32_t handle) {
    for (auto& word : reply) word = 0xABCDEF01u;
    result = library.send(handle, request, reply, &count, &status);
  }
  // The same while `answer` plays the module on `pty`; the requests it saw.
  int RunAgainst(dqtest::PtyPair& pty, PtyModule::Answer answer, const Library& library, int32_t handle) {
    PtyModule module(pty, answer);
    Run(library, handle);
    return module.Requests();
  }
};

std::vector<uint8_t> AnswerRegister(const dqbus::Request& request) {
  return dqtest::ReplyTo(request, 0, {request.params[1], request.params[2], 0x2A, 0x2A});
}

// A module status that arrives with data bytes: the status counts, the data not.
std::vector<uint8_t> AnswerBadValueWithData(const dqbus::Request& request) {
  return dqtest::ReplyTo(request, dqbus::msBadValue, {1, 2, 3, 4});
}

}  // namespace

TEST(DriverLibraries, ExportSevenEntryPointsAndNothingOfTheCore) {
  for (const char* prefix : kPrefixes) {
    SCOPED_TRACE(prefix);
    Library library(prefix);
    ASSERT_NE(library.handle, nullptr) << dlerror();
    EXPECT_TRUE(library.Complete());
    EXPECT_EQ(library.version(), 100);
    EXPECT_EQ(dlsym(library.handle, "_ZN5dqbus5Crc16EPKhm"), nullptr);
  }
}

TEST(DriverLibraries, ErrorTextsForEveryCodeStayInTheBuffer) {
  for (const char* prefix : kPrefixes) {
    SCOPED_TRACE(prefix);
    Library library(prefix);
    ASSERT_TRUE(library.Complete());
    for (int32_t code = 0; code <= 99; ++code) {
      uint32_t buffer[dqabi::kErrorTextWords + 8];
      for (auto& word : buffer) word = 0x5A5A5A5Au;
      EXPECT_EQ(library.error(code, buffer), 0);
      EXPECT_NE(buffer[0], 0u) << code;
      EXPECT_EQ(buffer[99], 0u) << code;
      for (int i = 0; i < 99; ++i) EXPECT_LE(buffer[i], 0xFFu);
      for (int i = 100; i < 108; ++i) ASSERT_EQ(buffer[i], 0x5A5A5A5Au) << code;
    }
    EXPECT_EQ(library.ErrorText(0), dqcore::Cp1250FromUtf8("V pořádku"));
    EXPECT_EQ(library.ErrorText(dqerr::kTimeout), dqcore::Cp1250FromUtf8("Modul neodpovídá (vypršel čas pro odpověď)"));
    EXPECT_NE(library.error(100, nullptr), 0);
  }
}

TEST(DriverLibraries, UnknownHandlesAreRefusedEverywhere) {
  for (const char* prefix : kPrefixes) {
    SCOPED_TRACE(prefix);
    Library library(prefix);
    ASSERT_TRUE(library.Complete());
    Exchange exchange;
    exchange.Run(library, 4711);
    EXPECT_EQ(exchange.result, dqerr::kInvalidHandle);
    EXPECT_EQ(exchange.status, dqerr::kInvalidHandle);
    EXPECT_EQ(exchange.count, 0);
    EXPECT_EQ(exchange.reply[0], 0u);
    EXPECT_EQ(exchange.reply[99], 0u);
    EXPECT_EQ(exchange.reply[100], 0xABCDEF01u);
    EXPECT_EQ(library.setConfig(0, 9600, 13, 2), dqerr::kInvalidHandle);
    int32_t baud = 0, timing = 0, retries = 0;
    EXPECT_EQ(library.getConfig(4711, &baud, &timing, &retries), dqerr::kInvalidHandle);
    int32_t handle = 4711;
    EXPECT_EQ(library.done(&handle), dqerr::kInvalidHandle);
    EXPECT_EQ(handle, 0);
    EXPECT_EQ(library.done(nullptr), dqerr::kInvalidParameter);
  }
}

TEST(ComLibrary, PortMapHandlesConfigAndExchange) {
  FakeMachine machine;
  PtyPair first;
  PtyPair second;
  ASSERT_EQ(dqports::SetEntry(3, first.SlavePath()), 0);
  ASSERT_EQ(dqports::SetEntry(4, second.SlavePath()), 0);
  Library com("TCOM847");
  ASSERT_TRUE(com.Complete());

  int32_t h3 = -1, h4 = -1, again = -1;
  ASSERT_EQ(com.InitPort(&h3, 3), dqerr::kOk);
  ASSERT_EQ(com.InitPort(&h4, 4), dqerr::kOk);
  EXPECT_NE(h3, 0);
  EXPECT_NE(h4, 0);
  EXPECT_NE(h3, h4);
  EXPECT_EQ(com.InitPort(&again, 3), dqerr::kPortBusy);
  EXPECT_EQ(again, 0);
  EXPECT_EQ(com.InitPort(&again, 0), dqerr::kInvalidParameter);
  EXPECT_EQ(com.InitPort(&again, 200), dqerr::kPortMissing);  // <dev>/ttyS199 does not exist

  int32_t baud = 0, timing = 0, retries = 0;
  ASSERT_EQ(com.getConfig(h3, &baud, &timing, &retries), dqerr::kOk);
  EXPECT_EQ(baud, 9600);
  EXPECT_EQ(timing, 13);
  EXPECT_EQ(retries, 2);
  EXPECT_EQ(com.setConfig(h3, 14400, 13, 2), dqerr::kBaudRate);
  ASSERT_EQ(com.setConfig(h3, 115200, 5, 9), dqerr::kOk);
  ASSERT_EQ(com.getConfig(h3, &baud, &timing, &retries), dqerr::kOk);
  EXPECT_EQ(baud, 115200);
  EXPECT_EQ(retries, 5);

  {
    Exchange exchange{1, 102, 0, 0, 0x3F, 0x3F, 0, 0};
    exchange.RunAgainst(first, AnswerRegister, com, h3);
    EXPECT_EQ(exchange.result, dqerr::kOk);
    EXPECT_EQ(exchange.status, dqerr::kOk);
    EXPECT_EQ(exchange.count, 4);
    EXPECT_EQ(exchange.reply[2], 0x2Au);  // b6 = register value
    EXPECT_EQ(exchange.reply[4], 0u);
    EXPECT_EQ(exchange.reply[99], 0u);
    EXPECT_EQ(exchange.reply[100], 0xABCDEF01u);
  }
  {
    Exchange exchange{1, 103, 0, 0, 0x3E, 0x3E, 9, 9};
    // A status is a valid reply: not repeated.
    EXPECT_EQ(exchange.RunAgainst(first, AnswerBadValueWithData, com, h3), 1);
    EXPECT_EQ(exchange.result, dqerr::kModuleBadValue);
    EXPECT_EQ(exchange.status, dqerr::kModuleBadValue);
    EXPECT_EQ(exchange.count, 0);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(exchange.reply[i], 0u) << "word " << i;
  }

  EXPECT_EQ(com.done(&h3), dqerr::kOk);
  EXPECT_EQ(h3, 0);
  ASSERT_EQ(com.InitPort(&again, 3), dqerr::kOk);  // the port is free again
  EXPECT_NE(again, 0);
  com.done(&again);
  com.done(&h4);
}

TEST(ComLibrary, VanishedPortIsReportedBySend) {
  FakeMachine machine;
  PtyPair pty;
  ASSERT_EQ(dqports::SetEntry(1, pty.SlavePath()), 0);
  Library com("TCOM847");
  int32_t handle = 0;
  ASSERT_EQ(com.InitPort(&handle, 1), dqerr::kOk);
  pty.CloseMaster();
  Exchange exchange;
  exchange.Run(com, handle);
  EXPECT_EQ(exchange.result, dqerr::kPortVanished);
  EXPECT_EQ(exchange.status, dqerr::kPortVanished);
  com.done(&handle);
}

TEST(CardLibraries, NotPresentAndFoundInFakeTree) {
  FakeMachine machine;
  Library isa("TPCI847");
  Library pci("TPCI2847");
  Library usb("TUSB2847");
  int32_t handle = -1;
  EXPECT_EQ(isa.InitPort(&handle, 0x300), dqerr::kNoIsaCard);
  EXPECT_EQ(handle, 0);
  EXPECT_EQ(isa.InitPort(&handle, 0), dqerr::kInvalidParameter);
  EXPECT_EQ(isa.InitPort(&handle, 0x10000), dqerr::kInvalidParameter);
  EXPECT_EQ(pci.InitPlain(&handle), dqerr::kNoPciCard);
  EXPECT_EQ(usb.InitPlain(&handle), dqerr::kNoUsbConverter);
  EXPECT_FALSE(isa.ErrorText(dqerr::kNoIsaCard).empty());

  PtyPair isaPty, pciPty, usbPty;
  machine.IsaPort("ttyS2", "0x300", "4");
  machine.DeviceNode("ttyS2", isaPty.SlavePath());
  machine.PciPort("ttyS4", "0000:03:00.0", "0x4451", "0x2847");
  machine.DeviceNode("ttyS4", pciPty.SlavePath());
  machine.Dir().Symlink(usbPty.SlavePath(), "dev/serial/by-id/usb-DQ_USB-2847_0001-if00-port0");

  int32_t hIsa = 0, hPci = 0, hUsb = 0;
  EXPECT_EQ(isa.InitPort(&hIsa, 0x300), dqerr::kOk);
  EXPECT_EQ(pci.InitPlain(&hPci), dqerr::kOk);
  EXPECT_EQ(usb.InitPlain(&hUsb), dqerr::kOk);
  EXPECT_NE(hIsa, 0);
  EXPECT_NE(hPci, 0);
  EXPECT_NE(hUsb, 0);
  int32_t second = -1;
  EXPECT_EQ(pci.InitPlain(&second), dqerr::kPortBusy);
  isa.done(&hIsa);
  pci.done(&hPci);
  usb.done(&hUsb);
  EXPECT_EQ(hIsa | hPci | hUsb, 0);
}

TEST(LanLibrary, InitChecksBlockAndCopiesTheIpText) {
  Library lan("TDQ2847");
  ASSERT_TRUE(lan.Complete());
  int32_t handle = -1;
  auto init = [&](const char* ip, intptr_t port, intptr_t timeout) {
    intptr_t block[dqabi::kInitParamWords] = {reinterpret_cast<intptr_t>(ip), port, timeout};
    return lan.InitBlock(&handle, block);
  };
  EXPECT_EQ(init("192.168.1", 5000, 100), dqerr::kInvalidIp);
  EXPECT_EQ(handle, 0);
  EXPECT_EQ(init("", 5000, 100), dqerr::kInvalidIp);
  EXPECT_EQ(init("modul.local", 5000, 100), dqerr::kInvalidIp);
  EXPECT_EQ(init(nullptr, 5000, 100), dqerr::kInvalidIp);
  EXPECT_EQ(init("127.0.0.1", 0, 100), dqerr::kInvalidParameter);
  EXPECT_EQ(init("127.0.0.1", 65536, 100), dqerr::kInvalidParameter);
  EXPECT_EQ(init("127.0.0.1", 5000, -1), dqerr::kInvalidParameter);
  EXPECT_EQ(lan.InitBlock(&handle, nullptr), dqerr::kInvalidParameter);
  std::string endless(200, '1');
  EXPECT_EQ(init(endless.c_str(), 5000, 100), dqerr::kInvalidIp);

  // A converter on loopback; the caller's text is overwritten after Init.
  uint16_t port = 0;
  const int converter = dqtest::BindLoopbackUdp(port);
  ASSERT_GE(converter, 0);
  char ip[32] = "127.0.0.1";
  ASSERT_EQ(init(ip, port, 300), dqerr::kOk);
  EXPECT_NE(handle, 0);
  std::strcpy(ip, "127.9.9.9");
  ASSERT_EQ(lan.setConfig(handle, 38400, 5, 0), dqerr::kOk);

  std::thread answer([converter] {
    pollfd wait{converter, POLLIN, 0};
    if (poll(&wait, 1, 2000) <= 0) return;
    uint8_t datagram[64];
    sockaddr_in from{};
    socklen_t fromSize = sizeof from;
    ssize_t n = recvfrom(converter, datagram, sizeof datagram, 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
    if (n < 8) return;
    auto request = dqbus::DecodeRequest(datagram + dqbus::kUdpHeaderSize, static_cast<size_t>(n) - dqbus::kUdpHeaderSize);
    if (!request) return;
    const uint16_t sequence = static_cast<uint16_t>(datagram[4] | (datagram[5] << 8));
    auto reply = dqtest::ReplyDatagram(sequence, dqtest::ReplyTo(*request, 0, {'1', '.', '0', '3'}), datagram[6]);
    sendto(converter, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), fromSize);
  });
  Exchange exchange{9, 200, 2, 4, 0, 0, 0, 0};
  exchange.Run(lan, handle);
  answer.join();
  close(converter);
  EXPECT_EQ(exchange.result, dqerr::kOk);
  EXPECT_EQ(exchange.count, 4);
  EXPECT_EQ(exchange.reply[0], static_cast<uint32_t>('1'));
  EXPECT_EQ(exchange.reply[3], static_cast<uint32_t>('3'));
  lan.done(&handle);
}

TEST(LanLibrary, SeveralHandlesAtOnceUpToTheLimit) {
  Library lan("TDQ2847");
  const char* ip = "127.0.0.1";
  intptr_t block[dqabi::kInitParamWords] = {reinterpret_cast<intptr_t>(ip), 5000, 100};
  std::vector<int32_t> handles;
  for (int i = 0; i < 16; ++i) {
    int32_t handle = 0;
    ASSERT_EQ(lan.InitBlock(&handle, block), dqerr::kOk);
    EXPECT_NE(handle, 0);
    for (int32_t other : handles) EXPECT_NE(other, handle);
    handles.push_back(handle);
  }
  int32_t extra = -1;
  EXPECT_EQ(lan.InitBlock(&extra, block), dqerr::kTooManyHandles);
  EXPECT_EQ(extra, 0);
  int32_t closed = handles.back();
  for (int32_t& handle : handles) {
    EXPECT_EQ(lan.done(&handle), dqerr::kOk);
    EXPECT_EQ(handle, 0);
  }
  // A closed handle stays refused.
  EXPECT_EQ(lan.setConfig(closed, 9600, 13, 2), dqerr::kInvalidHandle);
}

// Loading, Init arguments per interface type, pass-through calls and
// unloading of the driver access layer, against the scripted libraries.
#include <string>

#include "txxx847_fixture.h"

namespace td = testdriver;

namespace {

TEST_F(Txxx847Test, NamesAndPrefixesFollowTheType) {
  const char* names[] = {"TCOM847.DLL", "TPCI847.DLL", "TPCI2847.DLL", "TUSB2847.DLL", "TDQ2847.DLL"};
  for (TInterfaceType type = 0; type < kInterfaceTypeCount; ++type) {
    EXPECT_STREQ(DriverLibraryName(type), names[type]);
    EXPECT_EQ(std::string(DriverPrefix(type)) + ".DLL", names[type]);
  }
  EXPECT_EQ(DriverLibraryName(5), nullptr);
  EXPECT_EQ(DriverPrefix(255), nullptr);
}

TEST_F(Txxx847Test, InitPassesPortOrBaseForTypesZeroAndOne) {
  params_[0] = 3;
  Bind(itComPort);
  EXPECT_EQ(td::LastInit().prefix, "TCOM847");
  EXPECT_EQ(td::LastInit().portOrBase, 3);
  EXPECT_TRUE(Loaded("TCOM847.DLL"));

  params_[0] = 0x300;
  Bind(itPci847);  // also replaces the COM library
  EXPECT_EQ(td::LastInit().prefix, "TPCI847");
  EXPECT_EQ(td::LastInit().portOrBase, 0x300);
  EXPECT_FALSE(Loaded("TCOM847.DLL"));
  EXPECT_EQ(td::CallNames(), (std::vector<std::string>{"TCOM847_Init", "TPCI847_Init"}));
}

TEST_F(Txxx847Test, InitPassesOnlyTheHandleForTypesTwoAndThree) {
  params_[0] = 77;
  Bind(itPci2847);
  EXPECT_EQ(td::LastInit().prefix, "TPCI2847");
  EXPECT_TRUE(td::Calls().back().args.empty());
  Bind(itUsb2847);
  EXPECT_EQ(td::LastInit().prefix, "TUSB2847");
  EXPECT_TRUE(td::Calls().back().args.empty());
}

TEST_F(Txxx847Test, InitGivesTheLanLibraryTheBlockWithIpPortAndTimeout) {
  const std::string ip = "127.0.0.1";
  params_[0] = reinterpret_cast<intptr_t>(ip.c_str());
  params_[1] = 5000;
  params_[2] = 200;
  Bind(itDq2847);
  const td::InitRecord init = td::LastInit();
  EXPECT_EQ(init.prefix, "TDQ2847");
  EXPECT_EQ(init.ipText, "127.0.0.1");
  EXPECT_EQ(init.block[0], params_[0]);
  EXPECT_EQ(init.block[1], 5000);
  EXPECT_EQ(init.block[2], 200);
  for (int i = 3; i < 16; ++i) {
    EXPECT_EQ(init.block[i], 0) << "word " << i;
  }
}

TEST_F(Txxx847Test, FailedInitStaysBoundAndReturnsInitsResult) {
  td::SetInitResult(7, 0);
  handle_ = 5;
  EXPECT_EQ(DriverInit(itComPort, handle_, params_), 7);
  EXPECT_EQ(handle_, 0);
  EXPECT_TRUE(DriverIsBound());
  EXPECT_EQ(td::LiveHandles(), 0);
}

// Repeated failed attempts must not pile up loaded copies: after two failed
// Inits one Done leaves the library fully unloaded.
TEST_F(Txxx847Test, InitOnABoundLayerUnloadsTheEarlierLibraryFirst) {
  td::SetInitResult(7, 0);
  EXPECT_EQ(DriverInit(itComPort, handle_, params_), 7);
  EXPECT_EQ(DriverInit(itComPort, handle_, params_), 7);
  EXPECT_EQ(DriverDone(itComPort, handle_), 0);
  EXPECT_FALSE(Loaded("TCOM847.DLL"));

  EXPECT_EQ(DriverInit(itComPort, handle_, params_), 7);
  EXPECT_EQ(DriverInit(5, handle_, params_), 10);  // type outside 0-4
  EXPECT_FALSE(DriverIsBound());
  EXPECT_FALSE(Loaded("TCOM847.DLL"));
  EXPECT_EQ(td::CountCalls("TCOM847_Done"), 1u);
}

TEST_F(Txxx847Test, TypeOutsideTheRangeLoadsAndCallsNothing) {
  EXPECT_EQ(DriverInit(5, handle_, params_), 10);
  EXPECT_FALSE(DriverIsBound());
  Bind(itComPort);
  int32_t count = 0;
  int32_t status = 0;
  TExchangeRequest request = {};
  TExchangeReply reply = {};
  EXPECT_EQ(DriverSetConfig(5, handle_, 9600, 13, 2), 10);
  EXPECT_EQ(DriverSend(200, handle_, request, reply, count, status), 10);
  EXPECT_EQ(DriverDone(5, handle_), 10);
  EXPECT_TRUE(DriverIsBound());
  EXPECT_EQ(td::CallNames(), std::vector<std::string>{"TCOM847_Init"});
}

TEST_F(Txxx847Test, SetConfigAndSendWithNothingBoundGive10) {
  int32_t count = 0;
  int32_t status = 0;
  TExchangeRequest request = {};
  TExchangeReply reply = {};
  EXPECT_EQ(DriverSetConfig(itComPort, 1, 9600, 13, 2), 10);
  EXPECT_EQ(DriverSend(itComPort, 1, request, reply, count, status), 10);
  int32_t handle = 3;
  EXPECT_EQ(DriverDone(itComPort, handle), 10);
  EXPECT_EQ(handle, 3);
  EXPECT_TRUE(td::Calls().empty());
}

TEST_F(Txxx847Test, SetConfigPassesHandleAndValuesInOrderAndItsResult) {
  td::SetInitResult(0, 42);
  Bind(itUsb2847);
  td::SetSetConfigResult(33);
  EXPECT_EQ(DriverSetConfig(itUsb2847, handle_, 115200, 1, 2), 33);
  const td::Call call = td::Calls().back();
  EXPECT_EQ(call.name, "TUSB2847_SetConfig");
  EXPECT_EQ(call.args, (std::vector<int64_t>{42, 115200, 1, 2}));
}

TEST_F(Txxx847Test, DoneReturnsItsResultUnloadsAndUnbinds) {
  Bind(itDq2847);
  EXPECT_EQ(td::LiveHandles(), 1);
  td::SetDoneResult(9);
  EXPECT_EQ(DriverDone(itDq2847, handle_), 9);
  EXPECT_EQ(handle_, 0);  // the library cleared the caller's variable
  EXPECT_EQ(td::LiveHandles(), 0);
  EXPECT_FALSE(DriverIsBound());
  EXPECT_FALSE(Loaded("TDQ2847.DLL"));

  int32_t count = 0;
  int32_t status = 0;
  TExchangeRequest request = {};
  TExchangeReply reply = {};
  EXPECT_EQ(DriverSend(itDq2847, 1, request, reply, count, status), 10);
  EXPECT_EQ(DriverDone(itDq2847, handle_), 10);
  EXPECT_EQ(td::CountCalls("TDQ2847_Done"), 1u);
}

TEST_F(Txxx847Test, VersionAndGetConfigAreBoundButNeverCalled) {
  Bind(itPci847);
  uint8_t b3 = 0, b4 = 0, b5 = 0, b6 = 0, b7 = 0, status = 0;
  TExchangeReply reply = {};
  DriverSetConfig(itPci847, handle_, 9600, 13, 2);
  ModuleExchange(itPci847, handle_, 1, 0, 64, b3, b4, b5, b6, b7, status, reply);
  DriverErrorString(itPci847, status);
  DriverDone(itPci847, handle_);
  EXPECT_EQ(td::CountCalls("TPCI847_Version"), 0u);
  EXPECT_EQ(td::CountCalls("TPCI847_GetConfig"), 0u);
  EXPECT_EQ(td::CallNames(), (std::vector<std::string>{"TPCI847_Init", "TPCI847_SetConfig", "TPCI847_Send",
                                                        "TPCI847_Error", "TPCI847_Done"}));
}

// The trace is the optional eighth entry point: a library with the seven
// alone (as the scripted ones) loads and works as before, and only a
// request for a trace looks the eighth up, refused with a code of its own.
TEST_F(Txxx847Test, ALibraryWithoutTheTraceLoadsWorksAndRefusesATrace) {
  for (TInterfaceType type = 0; type < kInterfaceTypeCount; ++type) {
    td::Reset();
    Bind(type);
    uint8_t b3 = 0, b4 = 0, b5 = 0, b6 = 0, b7 = 0, status = 0xEE;
    TExchangeReply reply = {};
    ModuleExchange(type, handle_, 1, 0, 64, b3, b4, b5, b6, b7, status, reply);
    EXPECT_EQ(status, 0);
    int context = 0;
    auto callback = [](void*, int32_t, int64_t, const uint8_t*, int32_t) {};
    EXPECT_EQ(DriverSetTrace(type, handle_, callback, &context), kDriverNoTrace + type);
    EXPECT_EQ(DriverSetTrace((type + 1) % kInterfaceTypeCount, handle_, callback, &context), kDriverNotBound);
    DriverDone(type, handle_);
    EXPECT_EQ(DriverSetTrace(type, handle_, callback, &context), kDriverNotBound);
    const std::string prefix = DriverPrefix(type);
    EXPECT_EQ(td::CallNames(), (std::vector<std::string>{prefix + "_Init", prefix + "_Send", prefix + "_Done"}));
  }
}

}  // namespace

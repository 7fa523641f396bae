// One scripted interface library. Built once per interface with DQ_PREFIX set
// to the library prefix and DQ_INIT_KIND to the Init form (0: port or base,
// 1: handle only, 2: LAN block), both from the table of interfaces; every entry point hands over to the shared
// state in dqtestdriver.
#include <type_traits>

#include "core/DriverAbi.h"
#include "ScriptedHooks.h"

#define DQ_CAT2(a, b) a##b
#define DQ_CAT(a, b) DQ_CAT2(a, b)
#define DQ_ENTRY(op) DQ_CAT(DQ_PREFIX, op)
#define DQ_STR2(x) #x
#define DQ_STR(x) DQ_STR2(x)

namespace {
constexpr const char* kPrefix = DQ_STR(DQ_PREFIX);
}

using namespace testdriver::hooks;

extern "C" {

int32_t DQ_ENTRY(_Version)() { return OnVersion(kPrefix); }

#if DQ_INIT_KIND == 0
int32_t DQ_ENTRY(_Init)(int32_t* handle, int32_t portOrBase) {
  return OnInit(kPrefix, handle, &portOrBase, nullptr);
}
#elif DQ_INIT_KIND == 1
int32_t DQ_ENTRY(_Init)(int32_t* handle) { return OnInit(kPrefix, handle, nullptr, nullptr); }
#else
int32_t DQ_ENTRY(_Init)(int32_t* handle, const intptr_t* block) {
  return OnInit(kPrefix, handle, nullptr, block);
}
#endif
static_assert(std::is_same_v<decltype(&DQ_ENTRY(_Init)), dqabi::InitFn<dqabi::InitFormOf(kPrefix)>>);

int32_t DQ_ENTRY(_SetConfig)(int32_t handle, int32_t baudRate, int32_t timing, int32_t retries) {
  return OnSetConfig(kPrefix, handle, baudRate, timing, retries);
}

int32_t DQ_ENTRY(_GetConfig)(int32_t handle, int32_t* baudRate, int32_t* timing, int32_t* retries) {
  return OnGetConfig(kPrefix, handle, baudRate, timing, retries);
}

int32_t DQ_ENTRY(_Send)(int32_t handle, const uint32_t* request, uint32_t* reply, int32_t* count,
                        int32_t* status) {
  return OnSend(kPrefix, handle, request, reply, count, status);
}

int32_t DQ_ENTRY(_Done)(int32_t* handle) { return OnDone(kPrefix, handle); }

int32_t DQ_ENTRY(_Error)(int32_t code, uint32_t* textBuffer) { return OnError(kPrefix, code, textBuffer); }

}  // extern "C"

static_assert(std::is_same_v<decltype(&DQ_ENTRY(_Version)), dqabi::VersionFn>);
static_assert(std::is_same_v<decltype(&DQ_ENTRY(_SetConfig)), dqabi::SetConfigFn>);
static_assert(std::is_same_v<decltype(&DQ_ENTRY(_GetConfig)), dqabi::GetConfigFn>);
static_assert(std::is_same_v<decltype(&DQ_ENTRY(_Send)), dqabi::SendFn>);
static_assert(std::is_same_v<decltype(&DQ_ENTRY(_Done)), dqabi::DoneFn>);
static_assert(std::is_same_v<decltype(&DQ_ENTRY(_Error)), dqabi::ErrorFn>);

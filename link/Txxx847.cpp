// Unit Txxx847: loading and binding of the interface driver library, the
// pass-through calls, the texts of codes and the module exchange.
#include "Txxx847.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <type_traits>

#include "LibraryFile.h"
#include "core/DriverAbi.h"
#include "core/ProgramFolder.h"

namespace {

static_assert(kInitParamCount == dqabi::kInitParamWords, "InitParams is the LAN Init block");

// The one loaded library of the process and its bound entry points.
// Init is held in the argument form of the library's interface type.
struct TDriverState {
  void* Library = nullptr;
  TInterfaceType Type = 0;
  dqabi::VersionFn Version = nullptr;
  dqabi::InitPortFn InitPort = nullptr;
  dqabi::InitPlainFn InitPlain = nullptr;
  dqabi::InitBlockFn InitBlock = nullptr;
  dqabi::SetConfigFn SetConfig = nullptr;
  dqabi::GetConfigFn GetConfig = nullptr;
  dqabi::SendFn Send = nullptr;
  dqabi::DoneFn Done = nullptr;
  dqabi::ErrorFn Error = nullptr;
};

// The layer calls every entry point through the ABI's own types, the same
// ones each library's entry points are checked against when it is built.
template <class Member, class Abi>
constexpr bool kBoundAs = std::is_same_v<Member, Abi>;
static_assert(kBoundAs<decltype(TDriverState::Version), dqabi::VersionFn> &&
              kBoundAs<decltype(TDriverState::InitPort), dqabi::InitFn<dqabi::InitForm::kPortOrBase>> &&
              kBoundAs<decltype(TDriverState::InitPlain), dqabi::InitFn<dqabi::InitForm::kPlain>> &&
              kBoundAs<decltype(TDriverState::InitBlock), dqabi::InitFn<dqabi::InitForm::kBlock>> &&
              kBoundAs<decltype(TDriverState::SetConfig), dqabi::SetConfigFn> &&
              kBoundAs<decltype(TDriverState::GetConfig), dqabi::GetConfigFn> &&
              kBoundAs<decltype(TDriverState::Send), dqabi::SendFn> &&
              kBoundAs<decltype(TDriverState::Done), dqabi::DoneFn> &&
              kBoundAs<decltype(TDriverState::Error), dqabi::ErrorFn>,
              "the access layer binds the entry points through the ABI's types");

TDriverState gDriver;

bool ValidType(TInterfaceType type) { return type < kInterfaceTypeCount; }

void MarkUnbound() {
  const TDriverState empty;
  gDriver = empty;
}

// Unloads the library (if any) and forgets every entry point.
void Unload() {
  if (gDriver.Library != nullptr) {
    dlclose(gDriver.Library);
  }
  MarkUnbound();
}

// Looks up one entry point; false when the lookup reports an error or finds
// nothing.
bool Bind(void* library, const char* prefix, const char* operation, void*& entry) {
  std::string name(prefix);
  name += operation;
  dlerror();
  entry = dlsym(library, name.c_str());
  return dlerror() == nullptr && entry != nullptr;
}

template <class Fn>
Fn As(void* entry) {
  return reinterpret_cast<Fn>(entry);
}

}  // namespace

const char* DriverLibraryName(TInterfaceType type) {
  return ValidType(type) ? dqabi::kLibraries[type].fileName : nullptr;
}

const char* DriverPrefix(TInterfaceType type) {
  return ValidType(type) ? dqabi::kLibraries[type].prefix : nullptr;
}

bool DriverIsBound() { return gDriver.Library != nullptr; }

int32_t DriverInit(TInterfaceType type, int32_t& handle, const intptr_t (&initParams)[kInitParamCount]) {
  // The copy lives only for this call: a library keeps no pointer into it.
  intptr_t params[kInitParamCount];
  std::copy(std::begin(initParams), std::end(initParams), std::begin(params));
  // A library still loaded (e.g. after a failed Init) is unloaded first, so
  // repeated attempts do not pile up loaded libraries.
  Unload();
  if (!ValidType(type)) {
    return kDriverNotBound;
  }
  // Only the file beside the program, named by its absolute path: neither
  // the current folder nor LD_LIBRARY_PATH (whose empty element means the
  // current folder) can put another file in its place.
  const std::string folder = dqcore::ProgramFolder();
  if (folder.empty()) {
    return kDriverLoadFailed + type;
  }
  const dqabi::Library& info = dqabi::kLibraries[type];
  const std::string path = folder + "/" + info.fileName;
  // A cut file is refused before it is mapped: mapped, it would kill the
  // process with SIGBUS on the first touch of a page past its end.
  if (!LibraryFileIsWhole(path)) {
    return kDriverLoadFailed + type;
  }
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    return kDriverLoadFailed + type;
  }
  void* entries[dqabi::kEntryPointCount] = {};
  for (int i = 0; i < dqabi::kEntryPointCount; ++i) {
    if (!Bind(library, info.prefix, dqabi::kEntryPointSuffixes[i], entries[i])) {
      dlclose(library);
      return kDriverBadLibrary + type;
    }
  }
  gDriver.Library = library;
  gDriver.Type = type;
  gDriver.Version = As<dqabi::VersionFn>(entries[dqabi::kVersion]);
  gDriver.SetConfig = As<dqabi::SetConfigFn>(entries[dqabi::kSetConfig]);
  gDriver.GetConfig = As<dqabi::GetConfigFn>(entries[dqabi::kGetConfig]);
  gDriver.Send = As<dqabi::SendFn>(entries[dqabi::kSend]);
  gDriver.Done = As<dqabi::DoneFn>(entries[dqabi::kDone]);
  gDriver.Error = As<dqabi::ErrorFn>(entries[dqabi::kError]);

  void* const init = entries[dqabi::kInit];
  switch (info.init) {
    case dqabi::InitForm::kPortOrBase:
      gDriver.InitPort = As<dqabi::InitPortFn>(init);
      return gDriver.InitPort(&handle, static_cast<int32_t>(params[0]));
    case dqabi::InitForm::kPlain:
      gDriver.InitPlain = As<dqabi::InitPlainFn>(init);
      return gDriver.InitPlain(&handle);
    case dqabi::InitForm::kBlock:
      break;
  }
  gDriver.InitBlock = As<dqabi::InitBlockFn>(init);
  return gDriver.InitBlock(&handle, params);
}

int32_t DriverSetConfig(TInterfaceType type, int32_t handle, int32_t baudRate, int32_t timing, int32_t last) {
  if (!ValidType(type) || gDriver.SetConfig == nullptr) {
    return kDriverNotBound;
  }
  return gDriver.SetConfig(handle, baudRate, timing, last);
}

int32_t DriverSend(TInterfaceType type, int32_t handle, const TExchangeRequest& request,
                   TExchangeReply& reply, int32_t& count, int32_t& status) {
  if (!ValidType(type) || gDriver.Send == nullptr) {
    return kDriverNotBound;
  }
  return gDriver.Send(handle, request.Words, reply.Words, &count, &status);
}

int32_t DriverDone(TInterfaceType type, int32_t& handle) {
  if (!ValidType(type) || gDriver.Done == nullptr) {
    return kDriverNotBound;
  }
  const int32_t result = gDriver.Done(&handle);
  Unload();
  return result;
}

int32_t DriverSetTrace(TInterfaceType type, int32_t handle, dqabi::TraceCallback callback, void* context) {
  if (!ValidType(type) || gDriver.Library == nullptr || gDriver.Type != type) {
    return kDriverNotBound;
  }
  void* entry = nullptr;
  if (!Bind(gDriver.Library, dqabi::kLibraries[type].prefix, dqabi::kTraceSuffix, entry)) {
    return kDriverNoTrace + type;
  }
  return As<dqabi::TraceFn>(entry)(handle, callback, context);
}

namespace {

// Text of one of this layer's codes (100 and above), Windows-1250.
std::string LayerCodeText(uint32_t code) {
  if (code >= kDriverLoadFailed && code < kDriverLoadFailed + kInterfaceTypeCount) {
    return Cp1250FromUtf8(std::string("chyba inicializace knihovny ") +
                          dqabi::kLibraries[code - kDriverLoadFailed].fileName);
  }
  if (code >= kDriverBadLibrary && code < kDriverBadLibrary + kInterfaceTypeCount) {
    return Cp1250FromUtf8(std::string("chybná knihovna ") + dqabi::kLibraries[code - kDriverBadLibrary].fileName);
  }
  return Cp1250FromUtf8("neznámý chybový kód");
}

}  // namespace

int32_t DriverErrorText(TInterfaceType type, int32_t code, TErrorTextBuffer& buffer) {
  const uint32_t unsignedCode = static_cast<uint32_t>(code);
  if (unsignedCode < static_cast<uint32_t>(kDriverLoadFailed)) {
    if (!ValidType(type) || gDriver.Error == nullptr) {
      return kDriverNotBound;
    }
    return gDriver.Error(code, buffer.Words);
  }
  ErrorTextToBuffer(LayerCodeText(unsignedCode), buffer);
  return kDriverOk;
}

std::string ErrorTextFromBuffer(const TErrorTextBuffer& buffer) {
  std::string text;
  if (buffer.Words[0] != 0) {
    text += static_cast<char>(buffer.Words[0] & 0xFF);
  }
  for (int i = 1; i < dqabi::kErrorTextWords && buffer.Words[i] != 0; ++i) {
    text += static_cast<char>(buffer.Words[i] & 0xFF);
  }
  return text;
}

int32_t ErrorTextToBuffer(const std::string& text, TErrorTextBuffer& buffer) {
  std::fill(std::begin(buffer.Words), std::end(buffer.Words), 0u);
  const size_t length = std::min<size_t>(text.size(), dqabi::kErrorTextWords - 1);
  for (size_t i = 0; i < length; ++i) {
    buffer.Words[i + 1] = static_cast<unsigned char>(text[i]);
  }
  return kDriverOk;
}

void ModuleExchange(TInterfaceType type, int32_t handle, uint8_t address, uint8_t command,
                    uint8_t subcode, uint8_t& b3, uint8_t& b4, uint8_t& b5, uint8_t& b6,
                    uint8_t& b7, uint8_t& status, TExchangeReply& reply) {
  if (handle == 0) {
    return;
  }
  const TExchangeRequest request = {{address, command, subcode, b3, b4, b5, b6, b7}};
  int32_t count = 0;
  int32_t fullStatus = 0;
  const int32_t result = DriverSend(type, handle, request, reply, count, fullStatus);
  if (result != 0) {
    fullStatus = result;
  }
  if (fullStatus == 0) {
    status = 0;
    b3 = static_cast<uint8_t>(count & 0xFF);
    b4 = static_cast<uint8_t>(reply.Words[0] & 0xFF);
    b5 = static_cast<uint8_t>(reply.Words[1] & 0xFF);
    b6 = static_cast<uint8_t>(reply.Words[2] & 0xFF);
    b7 = static_cast<uint8_t>(reply.Words[3] & 0xFF);
    return;
  }
  // A failure whose low 8 bits are 0 must not read as success: it becomes
  // 255, whose text is "unknown error code".
  const uint8_t low = static_cast<uint8_t>(fullStatus & 0xFF);
  status = low != 0 ? low : 255;
  b3 = b4 = b5 = b6 = b7 = 0;
}

std::string DriverErrorString(TInterfaceType type, int32_t code) {
  TErrorTextBuffer buffer = {};
  DriverErrorText(type, code, buffer);
  return ErrorTextFromBuffer(buffer);
}

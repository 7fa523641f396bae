// Shared state of the scripted libraries: the script set by a test, the log
// of every call, and the answers the entry points give.
#include "ScriptedDriver.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>

#include "ScriptedHooks.h"

namespace testdriver {
namespace {

constexpr int kRequestWords = 8;
constexpr int kBufferWords = 100;
constexpr size_t kMaxIpText = 256;

struct State {
  std::mutex lock;
  std::deque<ScriptedReply> replies;
  ScriptedReply defaultReply;
  int32_t initResult = 0;
  int32_t initHandle = 1;
  int32_t setConfigResult = 0;
  int32_t doneResult = 0;
  std::map<int32_t, std::string> errorTexts;
  std::vector<std::array<uint32_t, 8>> requests;
  std::vector<Call> calls;
  InitRecord lastInit;
  std::multiset<int32_t> liveHandles;
};

State& TheState() {
  static State state;
  return state;
}

void Record(State& s, const char* prefix, const char* operation, std::vector<int64_t> args) {
  s.calls.push_back(Call{std::string(prefix) + operation, std::move(args)});
}

}  // namespace

void Reset() {
  State& s = TheState();
  std::lock_guard<std::mutex> guard(s.lock);
  s.replies.clear();
  s.defaultReply = ScriptedReply{};
  s.initResult = 0;
  s.initHandle = 1;
  s.setConfigResult = 0;
  s.doneResult = 0;
  s.errorTexts.clear();
  s.requests.clear();
  s.calls.clear();
  s.lastInit = InitRecord{};
  s.liveHandles.clear();
}

void QueueReply(const ScriptedReply& reply) {
  State& s = TheState();
  std::lock_guard<std::mutex> guard(s.lock);
  s.replies.push_back(reply);
}

void QueueStatus(int32_t status) {
  ScriptedReply reply;
  reply.status = status;
  reply.count = 0;
  QueueReply(reply);
}

void QueueData(std::vector<uint32_t> words, int32_t count) {
  ScriptedReply reply;
  reply.count = count;
  reply.words = std::move(words);
  QueueReply(reply);
}

void SetDefaultReply(const ScriptedReply& reply) {
  State& s = TheState();
  std::lock_guard<std::mutex> guard(s.lock);
  s.defaultReply = reply;
}

void SetInitResult(int32_t result, int32_t handle) {
  State& s = TheState();
  std::lock_guard<std::mutex> guard(s.lock);
  s.initResult = result;
  s.initHandle = handle;
}

void SetSetConfigResult(int32_t result) {
  State& s = TheState();
  std::lock_guard<std::mutex> guard(s.lock);
  s.setConfigResult = result;
}

void SetDoneResult(int32_t result) {
  State& s = TheState();
  std::lock_guard<std::mutex> guard(s.lock);
  s.doneResult = result;
}

void SetErrorText(int32_t code, const std::string& cp1250Text) {
  State& s = TheState();
  std::lock_guard<std::mutex> guard(s.lock);
  s.errorTexts[code] = cp1250Text;
}

std::vector<std::array<uint32_t, 8>> Requests() {
  State& s = TheState();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.requests;
}

std::vector<Call> Calls() {
  State& s = TheState();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.calls;
}

std::vector<std::string> CallNames() {
  std::vector<std::string> names;
  for (const Call& call : Calls()) {
    names.push_back(call.name);
  }
  return names;
}

size_t CountCalls(const std::string& name) {
  const std::vector<std::string> names = CallNames();
  return static_cast<size_t>(std::count(names.begin(), names.end(), name));
}

InitRecord LastInit() {
  State& s = TheState();
  std::lock_guard<std::mutex> guard(s.lock);
  return s.lastInit;
}

int32_t LiveHandles() {
  State& s = TheState();
  std::lock_guard<std::mutex> guard(s.lock);
  return static_cast<int32_t>(s.liveHandles.size());
}

void Mark(const std::string& marker) {
  State& s = TheState();
  std::lock_guard<std::mutex> guard(s.lock);
  s.calls.push_back(Call{marker, {}});
}

// ---- Entry points ----------------------------------------------------------

namespace hooks {

int32_t OnVersion(const char* prefix) {
  State& s = TheState();
  std::lock_guard<std::mutex> guard(s.lock);
  Record(s, prefix, "_Version", {});
  return 0x0100;
}

int32_t OnInit(const char* prefix, int32_t* handle, const int32_t* portOrBase, const intptr_t* block) {
  State& s = TheState();
  std::lock_guard<std::mutex> guard(s.lock);
  InitRecord record;
  record.prefix = prefix;
  std::vector<int64_t> args;
  if (portOrBase != nullptr) {
    record.portOrBase = *portOrBase;
    args.push_back(*portOrBase);
  }
  if (block != nullptr) {
    for (int i = 0; i < 16; ++i) {
      record.block[i] = block[i];
      args.push_back(block[i]);
    }
    // Copied now: the caller's block is gone once Init returns.
    if (const char* ip = reinterpret_cast<const char*>(block[0])) {
      record.ipText.assign(ip, strnlen(ip, kMaxIpText));
    }
  }
  Record(s, prefix, "_Init", std::move(args));
  s.lastInit = record;
  *handle = s.initHandle;
  if (s.initResult == 0 && s.initHandle != 0) {
    s.liveHandles.insert(s.initHandle);
  }
  return s.initResult;
}

int32_t OnSetConfig(const char* prefix, int32_t handle, int32_t baudRate, int32_t timing, int32_t retries) {
  State& s = TheState();
  std::lock_guard<std::mutex> guard(s.lock);
  Record(s, prefix, "_SetConfig", {handle, baudRate, timing, retries});
  return s.setConfigResult;
}

int32_t OnGetConfig(const char* prefix, int32_t handle, int32_t* baudRate, int32_t* timing, int32_t* retries) {
  State& s = TheState();
  std::lock_guard<std::mutex> guard(s.lock);
  Record(s, prefix, "_GetConfig", {handle});
  *baudRate = 9600;
  *timing = 13;
  *retries = 2;
  return 0;
}

int32_t OnSend(const char* prefix, int32_t handle, const uint32_t* request, uint32_t* reply, int32_t* count,
               int32_t* status) {
  State& s = TheState();
  std::lock_guard<std::mutex> guard(s.lock);
  Record(s, prefix, "_Send", {handle});
  std::array<uint32_t, 8> words{};
  std::copy(request, request + kRequestWords, words.begin());
  s.requests.push_back(words);
  ScriptedReply answer = s.defaultReply;
  if (!s.replies.empty()) {
    answer = s.replies.front();
    s.replies.pop_front();
  }
  const size_t n = std::min<size_t>(answer.words.size(), kBufferWords);
  std::copy(answer.words.begin(), answer.words.begin() + n, reply);
  *count = answer.count;
  *status = answer.status;
  return answer.result;
}

int32_t OnDone(const char* prefix, int32_t* handle) {
  State& s = TheState();
  std::lock_guard<std::mutex> guard(s.lock);
  Record(s, prefix, "_Done", {*handle});
  auto live = s.liveHandles.find(*handle);
  if (live != s.liveHandles.end()) {
    s.liveHandles.erase(live);
  }
  *handle = 0;
  return s.doneResult;
}

int32_t OnError(const char* prefix, int32_t code, uint32_t* textBuffer) {
  State& s = TheState();
  std::lock_guard<std::mutex> guard(s.lock);
  Record(s, prefix, "_Error", {code});
  std::string text;
  auto scripted = s.errorTexts.find(code);
  if (scripted != s.errorTexts.end()) {
    text = scripted->second;
  } else {
    text = code == 0 ? "OK" : "chyba " + std::to_string(code);
  }
  // Filled from word 0, as the libraries do; a zero word ends the text.
  const size_t n = std::min<size_t>(text.size(), kBufferWords);
  for (size_t i = 0; i < n; ++i) {
    textBuffer[i] = static_cast<unsigned char>(text[i]);
  }
  if (n < static_cast<size_t>(kBufferWords)) {
    textBuffer[n] = 0;
  }
  return 0;
}

}  // namespace hooks
}  // namespace testdriver

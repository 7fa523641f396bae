// Control of the scripted test driver: five libraries with the real file
// names (TCOM847.DLL ... TDQ2847.DLL), built into a test-only folder, that
// share their state through the small shared library dqtestdriver. A test
// links dqtestdriver, scripts what each call returns, lets the product load
// a library through the real dlopen path, and reads back every call.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace testdriver {

// What one Send returns. result is the entry point's own result (non-zero is
// taken as the status by the caller); status and count go to the caller's
// variables; words are copied into the reply buffer from word 0.
struct ScriptedReply {
  int32_t result = 0;
  int32_t status = 0;
  int32_t count = 4;
  std::vector<uint32_t> words;
};

// One recorded entry-point call: "TCOM847_Init", "TDQ2847_Send", ...
struct Call {
  std::string name;
  std::vector<int64_t> args;  // integer arguments as passed (handles, port, baud, ...)
};

struct InitRecord {
  std::string prefix;                 // library prefix that was called
  int32_t portOrBase = 0;             // COM port / ISA base (types 0 and 1)
  std::array<int64_t, 16> block{};    // LAN block as received (type 4)
  std::string ipText;                 // copied from block word 0 during Init (type 4)
};

void Reset();  // empties queues, log and records; restores every default below

// Send: replies are taken from the queue in order; when it is empty the
// default reply is used (status 0, count 4, all words 0). Only the words a
// reply gives are written; later words of the caller's buffer stay as they were.
void QueueReply(const ScriptedReply& reply);
void QueueStatus(int32_t status);  // a reply with that status and no data
void QueueData(std::vector<uint32_t> words, int32_t count = 4);
void SetDefaultReply(const ScriptedReply& reply);

// Init stores handle (default 1; 0 lets a test see a zero handle) and returns result (default 0).
// Done stores 0 into the caller's handle variable.
void SetInitResult(int32_t result, int32_t handle = 1);
void SetSetConfigResult(int32_t result);  // default 0
void SetDoneResult(int32_t result);       // default 0

// Error: the text the library gives for a code. Default: "OK" for 0 and
// "chyba <code>" for any other code (ASCII). Written from word 0 and ended
// with a zero word when shorter than 100 characters.
void SetErrorText(int32_t code, const std::string& cp1250Text);

// Read back.
std::vector<std::array<uint32_t, 8>> Requests();  // every Send request, in order
std::vector<Call> Calls();                       // every entry-point call and Mark, in order
std::vector<std::string> CallNames();            // names only
size_t CountCalls(const std::string& name);      // how often that name is in the log
InitRecord LastInit();
int32_t LiveHandles();  // handles given by a successful Init and not yet closed by Done

// An ordered log shared with the test: entry points append their names; a
// test may append its own markers (e.g. "settings written") to check order.
// Markers appear in Calls() and CallNames() with no arguments.
void Mark(const std::string& marker);

}  // namespace testdriver

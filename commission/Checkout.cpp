#include "commission/Checkout.h"

#include <algorithm>
#include <cctype>
#include <istream>
#include <ostream>
#include <thread>

#include "commission/CheckoutIo.h"

namespace dqcommission {

namespace {

using Clock = std::chrono::steady_clock;

enum class Answer { kYes, kNo, kSkip, kEnd };

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

std::string Dout(int k) { return "DOUT" + std::to_string(k); }
std::string Din(int j) { return "DIN" + std::to_string(j); }
std::string Cnt(int n) { return "CNT " + std::to_string(n); }
bool Bit(uint32_t mask, int n) { return (mask >> n) & 1u; }

std::string Seconds(std::chrono::milliseconds ms) {
  return std::to_string((ms.count() + 999) / 1000) + " s";
}

// One run of the checkout; RunCheckout's state.
class Run {
 public:
  Run(TConnectionConfig& link, uint8_t address, const CheckoutOptions& options, std::istream& answers,
      std::ostream& out, const std::atomic<bool>& stop)
      : io_(link, address), o_(options), answers_(answers), out_(out), stop_(stop) {
    r_.address = address;
    r_.moduleIdent = Utf8FromCp1250(link.ModuleIdent);
  }

  CheckoutResults Go();

 private:
  // Each phase returns false when the checkout ends (r_.end and r_.message set).
  bool Prepare();
  bool Confirm();
  bool CheckOutputs();
  bool CheckInputs();
  bool CheckCounters();
  void RestoreOutputs();

  bool CheckWiredOutput(int k);
  bool CheckCounterByLoopback(int n, int output, uint32_t before);
  bool WaitForCounter(int n, uint32_t before);

  Answer Ask(const std::string& question, bool allowSkip);
  bool Stopped();
  bool Failed(uint8_t status, const std::string& what);
  void Pause() { std::this_thread::sleep_for(o_.poll); }
  bool Drive(uint32_t driven);  // writes the image that drives exactly `driven`
  // Records a verdict; false when the checkout ends because of it.
  bool Verdict(const std::string& channel, Verdict verdict, const std::string& how, const std::string& detail = "");
  ChannelResult* Find(const std::string& channel);

  CheckoutIo io_;
  const CheckoutOptions& o_;
  std::istream& answers_;
  std::ostream& out_;
  const std::atomic<bool>& stop_;
  CheckoutResults r_;
  IoSettings settings_{};
  uint16_t pulseNumbers_[4] = {1, 1, 1, 1};
  uint32_t loopbackProven_ = 0;  // inputs proven through the plan
};

CheckoutResults Run::Go() {
  r_.started = IsoLocalTime(std::chrono::system_clock::now());
  for (int k = 0; k < 32; ++k)
    if (Bit(o_.outputs, k)) r_.channels.push_back({Dout(k), Verdict::kNotChecked, "", "", ""});
  for (int j = 0; j < 32; ++j)
    if (Bit(o_.inputs, j)) r_.channels.push_back({Din(j), Verdict::kNotChecked, "", "", ""});
  for (int n = 0; n < 32; ++n)
    if (Bit(o_.counters, n)) r_.channels.push_back({Cnt(n), Verdict::kNotChecked, "", "", ""});
  r_.end = CheckoutEnd::kPassed;
  if (Prepare() && Confirm() && CheckOutputs() && CheckInputs() && CheckCounters()) {
    r_.end = r_.Count(Verdict::kFail) > 0 ? CheckoutEnd::kFailed : CheckoutEnd::kPassed;
    r_.message = r_.end == CheckoutEnd::kPassed ? "every checked channel passed" : "a channel failed";
  }
  if (r_.outputsWritten) RestoreOutputs();
  r_.finished = IsoLocalTime(std::chrono::system_clock::now());
  out_ << "Checkout " << EndName(r_.end) << ": " << r_.message << ". " << r_.Count(Verdict::kPass) << " passed, "
       << r_.Count(Verdict::kFail) << " failed, " << r_.Count(Verdict::kSkipped) << " skipped, "
       << r_.Count(Verdict::kNotChecked) << " not checked.\n";
  return r_;
}

bool Run::Prepare() {
  if (Failed(io_.ReadIoSettings(settings_), "reading the I/O settings (registers 0x20-0x2B)")) return false;
  r_.doutNegation = settings_.doutNegation;
  r_.dinNegation = settings_.dinNegation;
  r_.doutInitial = settings_.doutInitial;
  for (int n = 0; n < 4; ++n) {
    if (Bit(o_.counters, n) && Failed(io_.ReadPulseNumber(n, pulseNumbers_[n]), "reading the pulse numbers"))
      return false;
  }
  return true;
}

bool Run::Confirm() {
  uint32_t initialDriven = settings_.doutInitial ^ settings_.doutNegation;
  out_ << "I/O checkout of the module at address " << r_.address << " (" << r_.moduleIdent << ").\n"
       << "Output negation " << Hex(settings_.doutNegation) << ", input negation " << Hex(settings_.dinNegation)
       << ", initial output states " << Hex(settings_.doutInitial) << ".\n";
  if (o_.outputs != 0) {
    out_ << "Outputs: each selected output is switched on alone, every other output off. \"On\" means driven:\n"
         << "the module drives an output when its written bit differs from its negation bit, so a negated\n"
         << "output is switched on by writing 0. "
         << (o_.loopback.Empty() ? "You confirm each one by eye.\n"
                                 : "Outputs in the loopback plan are proven by their wired input, the others by eye.\n");
  }
  if (o_.inputs != 0)
    out_ << "Inputs: you switch each input and the program waits up to " << Seconds(o_.inputTimeout)
         << " for the change.\n";
  if (o_.counters != 0)
    out_ << "Counters: you give pulses and the program waits up to " << Seconds(o_.counterTimeout)
         << " for the counter to rise.\n";
  out_ << "Only the outputs are written (and the counters started if you allow it). At the end, on Ctrl+C\n"
       << "and on any failure the outputs are set to their configured initial states (written "
       << Hex(settings_.doutInitial) << ", driven " << Hex(initialDriven) << ").\n"
       << "If the PC or this program dies during the check, the last output switched stays as it is.\n";
  Answer a = Ask("Start the checkout?", false);
  if (a == Answer::kYes) return true;
  if (a == Answer::kNo) {
    r_.end = CheckoutEnd::kCancelled;
    r_.message = "declined before anything was written";
  }
  return false;
}

bool Run::CheckOutputs() {
  uint32_t wiredOutputs = 0;
  for (int k = 0; k < 32; ++k)
    if (Bit(o_.outputs, k) && o_.loopback.InputOf(k) >= 0) wiredOutputs |= 1u << k;
  if (wiredOutputs != 0) {
    // Every wired input must be off while no output is driven, or a wire
    // stuck on would pass every output.
    if (!Drive(0)) return false;
    auto until = Clock::now() + o_.settle;
    uint32_t on = 0;
    for (;;) {
      uint32_t reported = 0;
      if (Failed(io_.ReadInputs(reported), "reading the inputs")) return false;
      on = (reported ^ settings_.dinNegation) & o_.loopback.WiredInputs();
      if (on == 0 || Clock::now() >= until) break;
      if (Stopped()) return false;
      Pause();
    }
    for (int k = 0; k < 32; ++k) {
      int j = o_.loopback.InputOf(k);
      if (!Bit(wiredOutputs, k) || !Bit(on, j)) continue;
      if (!Verdict(Dout(k), Verdict::kFail, "loopback " + Din(j), Din(j) + " is on while no output is driven"))
        return false;
      wiredOutputs &= ~(1u << k);
    }
  }
  for (int k = 0; k < 32; ++k) {
    if (!Bit(o_.outputs, k) || Find(Dout(k))->verdict != Verdict::kNotChecked) continue;
    if (Stopped() || !Drive(1u << k)) return false;
    if (Bit(wiredOutputs, k)) {
      if (!CheckWiredOutput(k)) return false;
      continue;
    }
    bool negated = Bit(settings_.doutNegation, k);
    out_ << Dout(k) << " is switched on (written " << (negated ? "0, negated" : "1, not negated")
         << " in the module, so it is driven); every other output is off.\n";
    Answer a = Ask("Is " + Dout(k) + " on?", true);
    if (a == Answer::kEnd) return false;
    bool go = a == Answer::kYes   ? Verdict(Dout(k), Verdict::kPass, "technician")
              : a == Answer::kNo ? Verdict(Dout(k), Verdict::kFail, "technician", "not on when driven")
                                  : Verdict(Dout(k), Verdict::kSkipped, "technician", "skipped by the technician");
    if (!go) return false;
  }
  return true;
}

bool Run::CheckWiredOutput(int k) {
  int j = o_.loopback.InputOf(k);
  uint32_t expected = 1u << j;
  uint32_t on = 0;
  auto until = Clock::now() + o_.settle;
  for (;;) {
    uint32_t reported = 0;
    if (Failed(io_.ReadInputs(reported), "reading the inputs")) return false;
    on = (reported ^ settings_.dinNegation) & o_.loopback.WiredInputs();
    if (on == expected || Clock::now() >= until) break;
    if (Stopped()) return false;
    Pause();
  }
  std::string how = "loopback " + Din(j);
  if (on == expected) {
    loopbackProven_ |= expected;
    if (Find(Din(j)) != nullptr) Verdict(Din(j), Verdict::kPass, "loopback from " + Dout(k));
    return Verdict(Dout(k), Verdict::kPass, how);
  }
  std::string detail;
  if (!Bit(on, j)) detail = Din(j) + " stayed off";
  for (int other = 0; other < 32; ++other) {
    if (other == j || !Bit(on, other)) continue;
    detail += std::string(detail.empty() ? "" : "; ") + Din(other) + " came on too";
  }
  if (Find(Din(j)) != nullptr && !Bit(on, j)) Verdict(Din(j), Verdict::kFail, "loopback from " + Dout(k), detail);
  return Verdict(Dout(k), Verdict::kFail, how, detail);
}

bool Run::CheckInputs() {
  for (int j = 0; j < 32; ++j) {
    if (!Bit(o_.inputs, j) || Find(Din(j))->verdict != Verdict::kNotChecked) continue;
    if (Stopped()) return false;
    uint32_t before = 0;
    if (Failed(io_.ReadInputs(before), "reading the inputs")) return false;
    out_ << "Switch " << Din(j) << " now (it reads " << Bit(before, j)
         << (Bit(settings_.dinNegation, j) ? ", negated" : "") << "); waiting up to " << Seconds(o_.inputTimeout)
         << " for it to change.\n"
         << std::flush;
    auto until = Clock::now() + o_.inputTimeout;
    bool changed = false;
    while (!changed && Clock::now() < until) {
      Pause();
      if (Stopped()) return false;
      uint32_t now = 0;
      if (Failed(io_.ReadInputs(now), "reading the inputs")) return false;
      changed = Bit(now ^ before, j);
    }
    bool go = changed ? Verdict(Din(j), Verdict::kPass, "technician")
                      : Verdict(Din(j), Verdict::kFail, "technician", "no change within " + Seconds(o_.inputTimeout));
    if (!go) return false;
  }
  return true;
}

bool Run::CheckCounters() {
  if (o_.counters == 0) return true;
  bool running = false;
  if (Failed(io_.CountersRunning(running), "reading the counters' run state")) return false;
  if (!running) {
    Answer a = Ask("The counters are stopped. Start them (they stay running after the check)?", false);
    if (a == Answer::kEnd) return false;
    if (a == Answer::kNo) {
      for (int n = 0; n < 32; ++n) {
        if (Bit(o_.counters, n)) Verdict(Cnt(n), Verdict::kSkipped, "", "the counters are stopped");
      }
      return true;
    }
    if (Failed(io_.StartCounters(), "starting the counters")) return false;
    out_ << "Counters started.\n";
  }
  for (int n = 0; n < 32; ++n) {
    if (!Bit(o_.counters, n)) continue;
    if (Stopped()) return false;
    uint32_t before = 0;
    if (Failed(io_.ReadCounter(n, before), "reading the counters")) return false;
    int output = o_.loopback.OutputOf(n);
    int pulses = n < 4 ? std::max<int>(pulseNumbers_[n], 1) : 1;
    bool byLoopback = output >= 0 && Bit(loopbackProven_, n) && pulses <= o_.maxLoopbackPulses;
    if (!(byLoopback ? CheckCounterByLoopback(n, output, before) : WaitForCounter(n, before))) return false;
  }
  return true;
}

// A counter rises by at least one between two readings; its value wraps
// at 2^32.
bool Rose(uint32_t before, uint32_t now) {
  uint32_t step = now - before;
  return step != 0 && step < 0x80000000u;
}

bool Run::CheckCounterByLoopback(int n, int output, uint32_t before) {
  int pulses = n < 4 ? std::max<int>(pulseNumbers_[n], 1) : 1;
  for (int i = 0; i < pulses; ++i) {
    if (Stopped() || !Drive(1u << output) || !Drive(0)) return false;
  }
  auto until = Clock::now() + o_.settle;
  uint32_t now = before;
  for (;;) {
    if (Failed(io_.ReadCounter(n, now), "reading the counters")) return false;
    if (Rose(before, now) || Clock::now() >= until) break;
    if (Stopped()) return false;
    Pause();
  }
  std::string how = "pulses from " + Dout(output);
  if (Rose(before, now)) return Verdict(Cnt(n), Verdict::kPass, how);
  return Verdict(Cnt(n), Verdict::kFail, how,
                 "stayed at " + std::to_string(before) + " after " + std::to_string(pulses) + " pulses");
}

bool Run::WaitForCounter(int n, uint32_t before) {
  out_ << "Give pulses on " << Din(n) << " for " << Cnt(n);
  if (n < 4 && pulseNumbers_[n] > 1) out_ << " (it counts one per " << pulseNumbers_[n] << " pulses)";
  out_ << "; it reads " << before << ", waiting up to " << Seconds(o_.counterTimeout) << " for it to rise.\n"
       << std::flush;
  auto until = Clock::now() + o_.counterTimeout;
  uint32_t now = before;
  while (!Rose(before, now) && Clock::now() < until) {
    Pause();
    if (Stopped()) return false;
    if (Failed(io_.ReadCounter(n, now), "reading the counters")) return false;
  }
  if (Rose(before, now)) return Verdict(Cnt(n), Verdict::kPass, "technician");
  return Verdict(Cnt(n), Verdict::kFail, "technician",
                 "stayed at " + std::to_string(before) + " for " + Seconds(o_.counterTimeout));
}

void Run::RestoreOutputs() {
  uint8_t status = io_.WriteOutputs(settings_.doutInitial);
  r_.outputsRestored = status == 0;
  if (status == 0) {
    out_ << "Outputs set to their configured initial states (written " << Hex(settings_.doutInitial) << ").\n";
    return;
  }
  out_ << "The outputs could NOT be set to their initial states: " << io_.ErrorText(status)
       << ". The last output switched may still be driven.\n";
  if (r_.end != CheckoutEnd::kLinkError) {
    r_.end = CheckoutEnd::kLinkError;
    r_.message = "restoring the outputs failed: " + io_.ErrorText(status);
  }
}

bool Run::Drive(uint32_t driven) {
  // Counted as written before the answer: a write whose reply was lost may
  // have switched the output all the same, so it must be set back.
  r_.outputsWritten = true;
  return !Failed(io_.WriteOutputs(WrittenImageFor(driven, settings_.doutNegation)), "writing the outputs");
}

Answer Run::Ask(const std::string& question, bool allowSkip) {
  for (;;) {
    out_ << question << (allowSkip ? " [yes/no/skip] " : " [yes/no] ") << std::flush;
    std::string line;
    bool answered = !Stopped() && std::getline(answers_, line);
    // Ctrl+C interrupts a waiting read, which then fails: a stop, not an end of the answers.
    if (!answered || Stopped()) {
      out_ << "\n";
      if (!Stopped()) {
        r_.end = CheckoutEnd::kStopped;
        r_.message = "no more answers";
      }
      return Answer::kEnd;
    }
    if (o_.echoAnswers) out_ << line << "\n";
    std::string word;
    for (char c : line) {
      if (!std::isspace(static_cast<unsigned char>(c))) word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (word == "y" || word == "yes") return Answer::kYes;
    if (word == "n" || word == "no") return Answer::kNo;
    if (allowSkip && (word == "s" || word == "skip")) return Answer::kSkip;
    out_ << "Please answer " << (allowSkip ? "yes, no or skip" : "yes or no") << ".\n";
  }
}

bool Run::Stopped() {
  if (!stop_.load()) return false;
  r_.end = CheckoutEnd::kStopped;
  r_.message = "stopped by the user";
  return true;
}

bool Run::Failed(uint8_t status, const std::string& what) {
  if (status == 0) return false;
  r_.end = CheckoutEnd::kLinkError;
  r_.message = what + " failed: " + io_.ErrorText(status);
  out_ << "Error: " << r_.message << "\n";
  return true;
}

bool Run::Verdict(const std::string& channel, dqcommission::Verdict verdict, const std::string& how,
                  const std::string& detail) {
  ChannelResult* c = Find(channel);
  if (c == nullptr) return true;
  c->verdict = verdict;
  c->how = how;
  c->detail = detail;
  c->time = IsoLocalTime(std::chrono::system_clock::now());
  out_ << channel << ": " << VerdictName(verdict) << (how.empty() ? "" : " (" + how + ")")
       << (detail.empty() ? "" : ": " + detail) << "\n";
  if (verdict != dqcommission::Verdict::kFail || o_.keepGoing) return true;
  r_.end = CheckoutEnd::kFailed;
  r_.message = channel + " failed";
  return false;
}

ChannelResult* Run::Find(const std::string& channel) {
  for (ChannelResult& c : r_.channels) {
    if (c.channel == channel) return &c;
  }
  return nullptr;
}

}  // namespace

CheckoutResults RunCheckout(TConnectionConfig& link, uint8_t address, const CheckoutOptions& options,
                            std::istream& answers, std::ostream& prompts, const std::atomic<bool>& stop) {
  return Run(link, address, options, answers, prompts, stop).Go();
}

int CheckoutExitCode(const CheckoutResults& results) {
  switch (results.end) {
    case CheckoutEnd::kPassed: return 0;
    case CheckoutEnd::kLinkError: return 3;
    default: return 1;
  }
}

}  // namespace dqcommission

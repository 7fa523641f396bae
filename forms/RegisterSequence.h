// Configuration registers of the module as the configuration windows use
// them: one register read or write over the link of a sequence, the write
// checked by a read-back, and the read and write sequences with their
// progress texts. The windows differ in where they pump messages and in what
// the read-back sends; TReadStyle and TWriteStyle carry those differences.
#pragma once

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "Dekl.h"
#include "Txxx847.h"
#include "core/ModuleCommands.h"

// Status texts of the sequences.
extern const QString kConfigReadText;      // " Konfigurace přečtena."
extern const QString kConfigWrittenText;   // " Konfigurace zapsána."
extern const QString kDataWriteErrorText;  // "Chyba zápisu dat." (shown after one blank)

// " Probíhá čtení konfigurace z modulu (P %)" and
// " Probíhá zápis konfigurace do modulu (P %)".
QString ReadingProgressText(int percent);
QString WritingProgressText(int percent);

// Every status text of the sequences but the driver texts, for sizing.
QStringList SequenceTexts();

// Percentage shown after step `done` of `total`: done * 100 div total.
int ProgressPercent(std::size_t done, std::size_t total);

constexpr uint8_t kReadRegisterCommand = dqcmd::kCmdReadRegister;
constexpr uint8_t kWriteRegisterCommand = dqcmd::kCmdWriteRegister;
// Result of a verified write whose read-back differs from the value written.
constexpr uint8_t kWriteMismatchResult = 9;

// The link of one sequence: interface type, driver handle and module address
// as the record held them when the sequence started.
class TRegisterLink {
 public:
  TRegisterLink(TInterfaceType type, int32_t handle, uint8_t address);
  explicit TRegisterLink(const TConnectionConfig& config);

  TInterfaceType Type() const { return type_; }
  int32_t Handle() const { return handle_; }
  uint8_t Address() const { return address_; }

  // Command 102 with b4 = b5 = reg and b6 = b7 = echo. Returns the status;
  // on status 0 `value` receives the returned b6.
  uint8_t Read(uint8_t reg, uint8_t echo, uint8_t& value);
  // Command 103 with b4 = b5 = reg and b6 = b7 = value. Returns the status.
  uint8_t Write(uint8_t reg, uint8_t value);
  // The driver's text for a failed status (no leading blank).
  QString ErrorText(uint8_t status) const;

 private:
  TInterfaceType type_;
  int32_t handle_;
  uint8_t address_;
  TExchangeReply reply_{};
};

// Whether a sequence processes pending messages at a given point.
enum class TPump { No, Yes };

// What the read-back of a written register sends as b6 and b7.
enum class TReadBackEcho { Zero, WrittenValue };

// How one register is written and checked.
struct TVerifyStyle {
  TPump BeforeReadBack;  // between the write and its read-back
  TReadBackEcho Echo;
};

// Write `value` into `reg` and read it back. Returns 0 with an empty
// errorText when the register holds the value; the failed status with the
// driver's text; or kWriteMismatchResult with kDataWriteErrorText.
uint8_t WriteRegisterVerified(TRegisterLink& link, uint8_t reg, uint8_t value, const TVerifyStyle& style,
                              QString& errorText);

// Where a sequence pumps messages after a step's progress text.
enum class TStepPump {
  Never,
  BetweenSteps,    // after every step but the last
  AfterEveryStep,  // after every step, the last included
};

struct TReadStyle {
  TStepPump AfterStep;
};

struct TWriteStyle {
  TPump BeforeWrite;  // before each register's write
  TVerifyStyle Verify;
  TStepPump AfterStep;
};

struct TRegisterWrite {
  uint8_t Register;
  uint8_t Value;
};

using TStatusSink = std::function<void(const QString& text)>;
// Called with the step index and the register's value after each good read.
using TRegisterStore = std::function<void(std::size_t step, uint8_t value)>;
// Writes and verifies one register; same results as WriteRegisterVerified.
using TVerifiedWrite =
    std::function<uint8_t(TRegisterLink& link, uint8_t reg, uint8_t value, QString& errorText)>;

// The read and write sequences of one window action over one link. Every
// status text goes to `status`, which repaints at once.
class TRegisterSequence {
 public:
  TRegisterSequence(const TRegisterLink& link, TStatusSink status);

  TRegisterLink& Link() { return link_; }

  // Reads the registers in order, handing each value to `store`, with the
  // reading progress after each step. The first failed exchange shows its
  // error text and ends the sequence (false); later registers are not read.
  bool Read(const std::vector<uint8_t>& registers, const TReadStyle& style, const TRegisterStore& store);

  // Writes and verifies the registers in order, with the writing progress
  // after each step. The first failure shows " " + its error text and ends
  // the sequence (false); no later register is written. `verifiedWrite`
  // replaces WriteRegisterVerified with style.Verify when given.
  bool Write(const std::vector<TRegisterWrite>& writes, const TWriteStyle& style,
             const TVerifiedWrite& verifiedWrite = {});

 private:
  void PumpAfter(TStepPump pump, std::size_t step, std::size_t total) const;

  TRegisterLink link_;
  TStatusSink status_;
};

#include "RegisterSequence.h"

#include <utility>

#include "FormCommon.h"
#include "WriteSequenceWatch.h"

const QString kConfigReadText = QStringLiteral(" Konfigurace přečtena.");
const QString kConfigWrittenText = QStringLiteral(" Konfigurace zapsána.");
const QString kDataWriteErrorText = QStringLiteral("Chyba zápisu dat.");

QString ReadingProgressText(int percent) {
  return QStringLiteral(" Probíhá čtení konfigurace z modulu (") + QString::number(percent) + QStringLiteral(" %)");
}

QString WritingProgressText(int percent) {
  return QStringLiteral(" Probíhá zápis konfigurace do modulu (") + QString::number(percent) + QStringLiteral(" %)");
}

QStringList SequenceTexts() {
  QStringList texts{kConfigReadText, kConfigWrittenText, QStringLiteral(" ") + kDataWriteErrorText};
  for (int percent = 0; percent <= 100; ++percent) texts << ReadingProgressText(percent) << WritingProgressText(percent);
  return texts;
}

int ProgressPercent(std::size_t done, std::size_t total) {
  return total == 0 ? 100 : static_cast<int>(done * 100 / total);
}

TRegisterLink::TRegisterLink(TInterfaceType type, int32_t handle, uint8_t address)
    : type_(type), handle_(handle), address_(address) {}

TRegisterLink::TRegisterLink(const TConnectionConfig& config)
    : TRegisterLink(config.InterfaceType, config.DriverHandle, config.ModuleAddress) {}

uint8_t TRegisterLink::Read(uint8_t reg, uint8_t echo, uint8_t& value) {
  uint8_t b3 = 0, b4 = reg, b5 = reg, b6 = echo, b7 = echo, status = 0;
  ModuleExchange(type_, handle_, address_, kReadRegisterCommand, dqcmd::kSubRegister, b3, b4, b5, b6, b7, status, reply_);
  if (status == 0) value = b6;
  return status;
}

uint8_t TRegisterLink::Write(uint8_t reg, uint8_t value) {
  uint8_t b3 = 0, b4 = reg, b5 = reg, b6 = value, b7 = value, status = 0;
  ModuleExchange(type_, handle_, address_, kWriteRegisterCommand, dqcmd::kSubRegister, b3, b4, b5, b6, b7, status, reply_);
  return status;
}

QString TRegisterLink::ErrorText(uint8_t status) const { return DriverText(type_, status); }

uint8_t WriteRegisterVerified(TRegisterLink& link, uint8_t reg, uint8_t value, const TVerifyStyle& style,
                              QString& errorText) {
  uint8_t status = link.Write(reg, value);
  if (status != 0) {
    errorText = link.ErrorText(status);
    return status;
  }
  if (style.BeforeReadBack == TPump::Yes) Pump();
  uint8_t readBack = 0;
  status = link.Read(reg, style.Echo == TReadBackEcho::WrittenValue ? value : 0, readBack);
  if (status != 0) {
    errorText = link.ErrorText(status);
    return status;
  }
  if (readBack != value) {
    errorText = kDataWriteErrorText;
    return kWriteMismatchResult;
  }
  errorText.clear();
  return 0;
}

TRegisterSequence::TRegisterSequence(const TRegisterLink& link, TStatusSink status)
    : link_(link), status_(std::move(status)) {}

void TRegisterSequence::PumpAfter(TStepPump pump, std::size_t step, std::size_t total) const {
  bool last = step + 1 == total;
  if (pump == TStepPump::AfterEveryStep || (pump == TStepPump::BetweenSteps && !last)) Pump();
}

bool TRegisterSequence::Read(const std::vector<uint8_t>& registers, const TReadStyle& style,
                             const TRegisterStore& store) {
  status_(ReadingProgressText(0));
  for (std::size_t step = 0; step < registers.size(); ++step) {
    uint8_t value = 0;
    uint8_t status = link_.Read(registers[step], 0, value);
    if (status != 0) {
      status_(QStringLiteral(" ") + link_.ErrorText(status));
      return false;
    }
    store(step, value);
    status_(ReadingProgressText(ProgressPercent(step + 1, registers.size())));
    PumpAfter(style.AfterStep, step, registers.size());
  }
  status_(kConfigReadText);
  return true;
}

bool TRegisterSequence::Write(const std::vector<TRegisterWrite>& writes, const TWriteStyle& style,
                              const TVerifiedWrite& verifiedWrite) {
  // Known as under way from its first text on, so a signal's end of the
  // program waits for it, and reported with its outcome when it ends.
  TWriteSequenceScope scope(writes);
  status_(WritingProgressText(0));
  for (std::size_t step = 0; step < writes.size(); ++step) {
    if (style.BeforeWrite == TPump::Yes) Pump();
    const TRegisterWrite& write = writes[step];
    QString errorText;
    uint8_t result = verifiedWrite ? verifiedWrite(link_, write.Register, write.Value, errorText)
                                   : WriteRegisterVerified(link_, write.Register, write.Value, style.Verify, errorText);
    scope.Record(step, result, errorText);
    if (result != 0) {
      status_(QStringLiteral(" ") + errorText);
      return false;
    }
    status_(WritingProgressText(ProgressPercent(step + 1, writes.size())));
    PumpAfter(style.AfterStep, step, writes.size());
  }
  status_(kConfigWrittenText);
  return true;
}

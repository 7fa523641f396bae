#include "ModuleInfo.h"

#include "SetupRegisters.h"
#include "core/ModuleCommands.h"

namespace dqcommission {

namespace {

bool AllZero(const ReplyBytes& r) { return (r.b[0] | r.b[1] | r.b[2] | r.b[3]) == 0; }

std::string TimeOf(const ReplyBytes& r) { return TimeText(r.b[2], r.b[1], r.b[0]); }
std::string DateOf(const ReplyBytes& r) { return DateText(r.b[0], r.b[1], r.b[2]); }

}  // namespace

const char* StatusBitName(int bit) {
  switch (bit) {
    case dqcmd::kStatusFn: return "FN";
    case dqcmd::kStatusPrf: return "PRF";
    case dqcmd::kStatusPwr: return "PWR";
    case dqcmd::kStatusRst: return "RST";
    case dqcmd::kStatusErr24: return "ERR24";
    default: return nullptr;
  }
}

InfoRead ReadModuleInfo(const ModuleAccess& module, ModuleInfo& info) {
  InfoRead result;
  SetupRead setup = ReadSetup(module, info.setup);
  if (setup.status != 0) return {setup.status, "register " + RegisterName(setup.failedReg)};

  struct Item {
    uint8_t subcode;
    const char* what;
    ReplyBytes reply;
  } items[] = {
      {dqcmd::kSubStatusRegister, "the status register", {}},
      {dqcmd::kSubTime, "the module time", {}},
      {dqcmd::kSubDate, "the module date", {}},
      {dqcmd::kSubFailureStartTime, "the power-failure start time", {}},
      {dqcmd::kSubFailureStartDate, "the power-failure start date", {}},
      {dqcmd::kSubFailureEndTime, "the power-failure end time", {}},
      {dqcmd::kSubFailureEndDate, "the power-failure end date", {}},
  };
  for (Item& item : items) {
    item.reply = module.Exchange(dqcmd::kCmdReadModule, item.subcode);
    if (item.reply.status != 0) return {item.reply.status, item.what};
  }
  const ReplyBytes& status = items[0].reply;
  info.statusRegister = PackBytes(status.b[0], status.b[1], status.b[2], status.b[3]);
  info.time = Utf8FromCp1250(TimeOf(items[1].reply));
  info.date = Utf8FromCp1250(DateOf(items[2].reply));
  info.powerFailRecorded = !(AllZero(items[3].reply) && AllZero(items[4].reply) && AllZero(items[5].reply) &&
                             AllZero(items[6].reply));
  info.failStart = Utf8FromCp1250(DateOf(items[4].reply) + " " + TimeOf(items[3].reply));
  info.failEnd = Utf8FromCp1250(DateOf(items[6].reply) + " " + TimeOf(items[5].reply));
  return result;
}

}  // namespace dqcommission

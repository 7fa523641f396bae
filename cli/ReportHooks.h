// What the report takes from the other commands: the difference against a
// backup file (as `diff` finds it) and a link test (as `linktest` runs it).
#pragma once

#include "cli/ReportCommand.h"

namespace dqcli {

// Exchanges of the report's link test: enough for the marginal threshold
// (1 in 100) to show, short enough at 9600 Bd (about 6 s).
constexpr int64_t kReportLinkTestExchanges = 200;

ReportHooks CompanionReportHooks();

}  // namespace dqcli

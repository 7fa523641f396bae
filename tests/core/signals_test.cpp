// Installing handlers: a signal the starting process ignored stays ignored
// where the caller asks (nohup's SIGHUP), and is caught otherwise.
#include <gtest/gtest.h>
#include <signal.h>

#include "core/Signals.h"

namespace {

void Handler(int) {}

TEST(CatchSignals, KeepsAnIgnoredSignalOnlyWhenAsked) {
  const struct {
    const char* name;
    void (*before)(int);
    dqcore::IfIgnored ifIgnored;
    void (*after)(int);
  } rows[] = {
      {"ignored, kept", SIG_IGN, dqcore::IfIgnored::kKeep, SIG_IGN},
      {"ignored, caught", SIG_IGN, dqcore::IfIgnored::kCatch, Handler},
      {"default, caught although ignored ones are kept", SIG_DFL, dqcore::IfIgnored::kKeep, Handler},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    signal(SIGUSR2, row.before);
    dqcore::CatchSignals(Handler, {SIGUSR2}, 0, row.ifIgnored);
    struct sigaction now {};
    sigaction(SIGUSR2, nullptr, &now);
    EXPECT_EQ(now.sa_handler, row.after);
  }
  signal(SIGUSR2, SIG_DFL);
}

}  // namespace

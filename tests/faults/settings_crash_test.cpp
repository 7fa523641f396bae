// Crash safety of the settings file: a helper process saves it over and
// over and is killed (SIGKILL) at random moments; after every kill the file
// must be exactly the old or the new content, whole. An interrupted save
// leaves its temporary file behind; the next successful save removes it.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "Dekl.h"
#include "SettingsPair.h"
#include "TempDir.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class SettingsCrash : public ::testing::Test {
 protected:
  // A hand-edited file with a long comment block, so that each save writes
  // many pages and a kill can land in the middle of one.
  static std::string HandEditedFile() {
    std::string text = "; W_dq7184 settings, edited by hand\r\n[P\xF8ipojen\xED]\r\nRozhran\xED=COMx\r\n";
    for (int n = 0; n < 3000; ++n) text += "; line " + std::to_string(n) + " of a long note kept in the file\r\n";
    return text;
  }

  // The two contents the file takes in turn once both records have been
  // saved into it: the COM record's and the LAN record's.
  void SteadyContents(std::string& com, std::string& lan) {
    const std::string scratch = folder_.File("scratch.ini");
    std::ofstream(scratch, std::ios::binary) << HandEditedFile();
    TConnectionConfig comRecord = faults::ComSettings();
    TConnectionConfig lanRecord = faults::LanSettings();
    WriteSettings(&comRecord, scratch);
    WriteSettings(&lanRecord, scratch);
    WriteSettings(&comRecord, scratch);
    com = ReadAll(scratch);
    WriteSettings(&lanRecord, scratch);
    lan = ReadAll(scratch);
    WriteSettings(&comRecord, scratch);
    ASSERT_EQ(ReadAll(scratch), com) << "saving the same record twice must give the same bytes";
    fs::remove(scratch);
  }

  // What interrupted saves left beside the file: every other entry.
  std::vector<std::string> Leftovers() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_.Path())) {
      if (entry.path() != path_) names.push_back(entry.path().filename().string());
    }
    return names;
  }

  dqtest::TempDir folder_;
  const std::string path_ = folder_.File("W_dq7184.ini");
};

TEST_F(SettingsCrash, FileIsAlwaysTheOldOrTheNewContentAfterAKillMidSave) {
  std::string com, lan;
  SteadyContents(com, lan);
  ASSERT_NE(com, lan);
  ASSERT_GT(com.size(), 100000u);
  std::ofstream(path_, std::ios::binary) << com;

  std::mt19937 random(20240601);
  std::uniform_int_distribution<int> delayMicros(0, 6000);
  int iterations = 0, oldContent = 0, newContent = 0, interrupted = 0;
  size_t mostLeft = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(40);
  for (; iterations < 200 && std::chrono::steady_clock::now() < deadline; ++iterations) {
    faults::ChildProcess writer;
    ASSERT_TRUE(writer.Start({DQ_SETTINGS_WRITER, path_}));
    const std::string ownTemporary = "W_dq7184.ini.tmp-" + std::to_string(writer.Pid()) + "-";
    std::string line;
    // Half the kills come while the first save runs, half later in the loop.
    const bool saved = iterations % 2 == 1;
    if (saved) {
      ASSERT_TRUE(writer.ReadLine(line, 10000) && line == "saving") << line;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(delayMicros(random)));
    writer.Signal(SIGKILL);
    const int status = writer.Reap();
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself: " << status;

    const std::string bytes = ReadAll(path_);
    if (bytes == com) {
      ++oldContent;
    } else if (bytes == lan) {
      ++newContent;
    } else {
      FAIL() << "iteration " << iterations << ": the file is neither content (" << bytes.size() << " bytes)";
    }
    const std::vector<std::string> left = Leftovers();
    bool ownLeft = false;
    for (const std::string& name : left) {
      const bool own = name.compare(0, ownTemporary.size(), ownTemporary) == 0;
      ownLeft = ownLeft || own;
      // Once the writer has saved, the leftovers of earlier writers are gone
      // and of its own at most the one of the save that the kill cut.
      if (saved) {
        EXPECT_TRUE(own) << "iteration " << iterations << ": " << name << " outlived a successful save";
      }
    }
    if (saved) {
      EXPECT_LE(left.size(), 1u) << "iteration " << iterations;
    }
    interrupted += ownLeft ? 1 : 0;
    mostLeft = std::max(mostLeft, left.size());
  }
  EXPECT_GE(iterations, 50) << "too few kills within the time limit";
  EXPECT_GT(interrupted, 0) << "no kill cut a save: the check of leftovers saw nothing";

  // One more save, in this process, clears whatever the last kills left.
  TConnectionConfig record = faults::ComSettings();
  EXPECT_TRUE(WriteSettings(&record, path_));
  EXPECT_EQ(ReadAll(path_), com);
  EXPECT_TRUE(Leftovers().empty()) << Leftovers().front();
  std::printf("settings crash test: %d kills, file held the COM content %d times, the LAN content %d times; "
              "%d kills interrupted a save (temporary file left behind), at most %zu leftovers at once, "
              "none after the next save\n",
              iterations, oldContent, newContent, interrupted, mostLeft);
}

// The same kills against a writer that saves in place (truncate, then
// write) must find a cut file: the check above is able to see one.
TEST_F(SettingsCrash, KillsDoCatchASaveInPlace) {
  std::string com, lan;
  SteadyContents(com, lan);
  std::ofstream(path_, std::ios::binary) << com;
  std::mt19937 random(7);
  std::uniform_int_distribution<int> delayMicros(0, 3000);
  int iterations = 0;
  bool cut = false;
  for (; iterations < 200 && !cut; ++iterations) {
    faults::ChildProcess writer;
    ASSERT_TRUE(writer.Start({DQ_SETTINGS_WRITER, "--in-place", path_}));
    std::string line;
    ASSERT_TRUE(writer.ReadLine(line, 10000) && line == "saving") << line;
    std::this_thread::sleep_for(std::chrono::microseconds(delayMicros(random)));
    writer.Signal(SIGKILL);
    writer.Reap();
    const std::string bytes = ReadAll(path_);
    cut = bytes != com;
    if (cut) {
      EXPECT_LT(bytes.size(), com.size());
    }
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << com;
  }
  EXPECT_TRUE(cut) << "no cut file in " << iterations << " kills of a writer that saves in place";
}

}  // namespace

// A settings file that cannot be written when the real main window closes
// with an open link to the simulator: the message names the file, and the
// driver is closed all the same. The places refuse the write for root too
// (the tests run as root, for whom permission bits mean nothing).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QString>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <vector>

#include "FaultRig.h"
#include "FaultSubjects.h"
#include "FormsHarness.h"
#include "Hlavni.h"
#include "LibraryTexts.h"
#include "Txxx847.h"

namespace {

namespace fs = std::filesystem;
using faults::LinkKind;

// The main window with its failure message kept instead of shown.
class WatchedForm1 : public TForm1 {
 public:
  using TForm1::TForm1;
  std::vector<QString> messages;

 protected:
  void ShowSettingsWriteError(const QString& message) override { messages.push_back(message); }
};

enum class Place {
  kFolderIsAFile,     // the settings file's folder is a regular file
  kFileIsAFolder,     // a folder stands where the file should be
  kFolderTakesNoFiles,  // /proc: no new file can be created there
};

struct Param {
  Place place;
  LinkKind link;
};

void PrintTo(const Param& param, std::ostream* out) {
  static const char* const kPlaces[] = {"folder is a file", "file is a folder", "/proc"};
  *out << kPlaces[static_cast<int>(param.place)] << ", " << faults::LinkName(param.link);
}

std::string ParamName(const ::testing::TestParamInfo<Param>& info) {
  static const char* const kPlaces[] = {"FolderIsAFile", "FileIsAFolder", "FolderTakesNoFiles"};
  return std::string(kPlaces[static_cast<int>(info.param.place)]) +
         (info.param.link == LinkKind::kUdp ? "_Udp" : "_Com");
}

class SettingsAtExit : public ::testing::TestWithParam<Param> {
 protected:
  void SetUp() override {
    QApplication::setQuitOnLastWindowClosed(false);
    std::string error;
    ASSERT_TRUE(rig_.Start(&error)) << error;
  }
  void TearDown() override {
    int32_t handle = 0;
    if (DriverIsBound()) DriverDone(itComPort, handle);
  }

  std::string UnwritablePath(Place place) {
    switch (place) {
      case Place::kFolderIsAFile: {
        const std::string file = rig_.Folder() + "/settings";
        std::ofstream(file) << "a file, not a folder\n";
        return file + "/W_dq7184.ini";
      }
      case Place::kFileIsAFolder: {
        const std::string folder = rig_.Folder() + "/W_dq7184.ini";
        fs::create_directory(folder);
        return folder;
      }
      case Place::kFolderTakesNoFiles: return "/proc/W_dq7184.ini";
    }
    return std::string();
  }

  faults::FaultRig rig_;
};

TEST_P(SettingsAtExit, MessageNamesTheFileAndTheDriverIsClosed) {
  const Param param = GetParam();
  const std::string path = UnwritablePath(param.place);
  const faults::LinkTarget target = rig_.Target(param.link);

  WatchedForm1 form(path);
  form.show();
  QString status;
  harness::OnNextModal([&](QWidget* dialog) {
    faults::FillConnectionWindow(dialog, target);
    harness::Click(dialog, "Button1");
    status = harness::LabelText(dialog, "Panel1");
    harness::Click(dialog, "Button2");
  });
  form.findChild<QAction*>("Pipojen1")->trigger();
  ASSERT_EQ(status, faults::ConnectedText());
  ASSERT_TRUE(form.Config()->Initialized);
  ASSERT_TRUE(DriverIsBound());

  form.close();
  ASSERT_EQ(form.messages.size(), 1u);
  std::printf("message: %s\n", form.messages[0].toStdString().c_str());
  EXPECT_TRUE(form.messages[0].contains(QString::fromStdString(path))) << form.messages[0].toStdString();
  EXPECT_FALSE(DriverIsBound());
  EXPECT_EQ(form.Config(), nullptr);
  EXPECT_FALSE(form.isVisible());
  if (param.place == Place::kFolderIsAFile) {
    EXPECT_FALSE(fs::exists(path));
  }

  if (param.link == LinkKind::kCom) {
    // The port is free again: a link held open would make it "busy" (9).
    intptr_t params[kInitParamCount] = {faults::kComPort};
    int32_t handle = 0;
    EXPECT_EQ(DriverInit(itComPort, handle, params), 0);
    DriverDone(itComPort, handle);
  }
}

INSTANTIATE_TEST_SUITE_P(Places, SettingsAtExit,
                         ::testing::Values(Param{Place::kFolderIsAFile, LinkKind::kUdp},
                                           Param{Place::kFolderIsAFile, LinkKind::kCom},
                                           Param{Place::kFileIsAFolder, LinkKind::kUdp},
                                           Param{Place::kFileIsAFolder, LinkKind::kCom},
                                           Param{Place::kFolderTakesNoFiles, LinkKind::kUdp},
                                           Param{Place::kFolderTakesNoFiles, LinkKind::kCom}),
                         ParamName);

}  // namespace

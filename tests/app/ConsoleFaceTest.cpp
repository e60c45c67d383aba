#include "app/ConsoleFace.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "platform/PollEventLoop.h"
#include "platform/UniqueFd.h"
#include "support/TempDir.h"

namespace tarsil {
namespace {

using ::tarsil::testing::TempDir;

class ConsoleFaceTest : public ::testing::Test {
 protected:
  ConsoleFaceTest() {
    int fds[2];
    EXPECT_EQ(pipe2(fds, O_CLOEXEC), 0);
    input_read_.Reset(fds[0]);
    input_write_.Reset(fds[1]);
  }
  ~ConsoleFaceTest() override {
    if (out_) std::fclose(out_);
    if (err_) std::fclose(err_);
  }

  std::string Text(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[512];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    return text;
  }

  TempDir dir_;
  PollEventLoop loop_;
  SettingsStore store_{(dir_.path() / "settings.reg").string()};
  MainController form_{loop_, store_};
  std::FILE* out_ = std::tmpfile();
  std::FILE* err_ = std::tmpfile();
  UniqueFd input_read_;
  UniqueFd input_write_;
};

TEST_F(ConsoleFaceTest, LogLinesGoToStandardOutputAsUtf8) {
  ConsoleFace face(loop_, form_, out_, err_, input_read_.get(), false);
  form_.WriteLog("Rem \x93\xfa\x96\x7b");  // 日本 in CP932
  EXPECT_EQ(Text(out_), "Rem \xe6\x97\xa5\xe6\x9c\xac\n");
}

TEST_F(ConsoleFaceTest, LinesAreColouredByKindOnlyWhenAskedFor) {
  ConsoleFace face(loop_, form_, out_, err_, input_read_.get(), false);
  form_.Logmemo().SetSuppressBlankLines(true);
  form_.Logmemo().HandleError(ftpErrorAccessDenied, "Access denied or file not found");
  face.SetColored(true);
  form_.Logmemo().HandleError(ftpErrorAccessDenied, "Access denied or file not found");
  form_.WriteLog("plain");
  EXPECT_EQ(Text(out_),
            "ERROR:>     Access denied or file not found\n"
            "\x1b[31mERROR:>     Access denied or file not found\x1b[0m\n"
            "\x1b[31mplain\x1b[0m\n");  // plain lines take the colour in force
}

TEST_F(ConsoleFaceTest, AnOkBoxGoesOnAtOnceWithoutATerminal) {
  ConsoleFace face(loop_, form_, out_, err_, input_read_.get(), false);
  EXPECT_EQ(face.ShowMessageBox("text", "TARSIL", Buttons::kOk, MessageIcon::kInformation),
            Answer::kOk);
  EXPECT_EQ(Text(err_), "TARSIL: text\n");
}

TEST_F(ConsoleFaceTest, AnOkBoxOnATerminalWaitsForEnter) {
  ConsoleFace face(loop_, form_, out_, err_, input_read_.get(), true);
  // Enter arrives while the box waits; the wait runs in the event loop, so a posted notice
  // delivers it.
  EventTarget typist(loop_,
                     [this](const Notice&) { ASSERT_EQ(write(input_write_.get(), "\n", 1), 1); });
  typist.Post(1);
  face.ShowMessageBox("pause", "TARSIL", Buttons::kOk, MessageIcon::kInformation);
  EXPECT_NE(Text(err_).find("press Enter"), std::string::npos);
}

TEST_F(ConsoleFaceTest, ACloseSignalEndsAWaitingBoxAndConfirmsTheClose) {
  ConsoleFace face(loop_, form_, out_, err_, input_read_.get(), true);
  EventTarget signaller(loop_, [&face](const Notice&) { face.OnCloseSignal(SIGTERM); });
  signaller.Post(1);
  face.ShowMessageBox("pause", "TARSIL", Buttons::kOk, MessageIcon::kInformation);
  EXPECT_TRUE(form_.Closed());  // no run was in progress: the window closed at once
  EXPECT_EQ(face.CloseSignal(), SIGTERM);
  EXPECT_EQ(face.ShowMessageBox("q", "Tarsil", Buttons::kYesNo, MessageIcon::kNone), Answer::kYes);
  EXPECT_EQ(face.ShowMessageBox("q", "Tarsil", Buttons::kYesNoCancel, MessageIcon::kNone),
            Answer::kNo);
}

}  // namespace
}  // namespace tarsil

#include "app/RunLog.h"

#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "support/TempDir.h"

namespace tarsil {
namespace {

using ::tarsil::testing::TempDir;

const double kJan31 = EncodeDateTime(2001, 1, 31, 9, 5, 7);

TEST(MakeLogFileNameTest, InsertsTheDateBeforeTheExtension) {
  struct Case {
    const char* name;
    const char* expected;
  } cases[] = {
      {"D:\\logs\\Tarsil.log", "D:\\logs\\Tarsil20010131.log"},
      {"run.daily.log", "run20010131.log"},
      {"/var/log/tarsil/job.log", "/var/log/tarsil/job20010131.log"},
      {"noext", "noext20010131"},
      {"dir.d/noext", "dir.d/noext20010131"},
      {"D:\\LOGS\\JOB.LOG", "D:\\LOGS\\JOB20010131.LOG"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MakeLogFileName(c.name, true, kJan31), c.expected) << c.name;
    EXPECT_EQ(MakeLogFileName(c.name, false, kJan31), c.name);
  }
}

TEST(SaveLogAtCloseTest, ReplacesOrAppendsAndNeverWritesAnEmptyLog) {
  TempDir dir;
  LogSaveRequest request;
  request.save = true;
  request.option_name = (dir.path() / "Tarsil.log").string();

  EXPECT_EQ(SaveLogAtClose({}, request, kJan31), LogSaveResult::kNotSaved);
  EXPECT_FALSE(std::filesystem::exists(request.option_name));
  request.overwrite = false;
  EXPECT_EQ(SaveLogAtClose({}, request, kJan31), LogSaveResult::kNotSaved);
  EXPECT_FALSE(std::filesystem::exists(request.option_name));

  request.overwrite = true;
  EXPECT_EQ(SaveLogAtClose({"a", "b"}, request, kJan31), LogSaveResult::kWritten);
  EXPECT_EQ(TempDir::Read(request.option_name), "a\r\nb\r\n");
  EXPECT_EQ(SaveLogAtClose({"c"}, request, kJan31), LogSaveResult::kWritten);
  EXPECT_EQ(TempDir::Read(request.option_name), "c\r\n");

  request.overwrite = false;
  request.with_date = true;
  EXPECT_EQ(SaveLogAtClose({"1"}, request, kJan31), LogSaveResult::kWritten);
  EXPECT_EQ(SaveLogAtClose({"2"}, request, kJan31), LogSaveResult::kWritten);
  EXPECT_EQ(TempDir::Read(dir.path() / "Tarsil20010131.log"), "1\r\n2\r\n");

  request.save = false;
  EXPECT_EQ(SaveLogAtClose({"x"}, request, kJan31), LogSaveResult::kNotSaved);
}

TEST(SaveLogAtCloseTest, LogfileParameterWinsAndFailuresAreReported) {
  TempDir dir;
  LogSaveRequest request;
  request.save = true;
  request.option_name = (dir.path() / "options.log").string();
  request.logfile_param = (dir.path() / "JOB.LOG").string();
  request.with_date = true;
  std::string written;
  EXPECT_EQ(SaveLogAtClose({"x"}, request, kJan31, &written), LogSaveResult::kWritten);
  EXPECT_EQ(written, (dir.path() / "JOB20010131.LOG").string());
  EXPECT_FALSE(std::filesystem::exists(request.option_name));

  request.logfile_param = (dir.path() / "missing" / "a.log").string();
  EXPECT_EQ(SaveLogAtClose({"x"}, request, kJan31), LogSaveResult::kFailed);
  request.overwrite = false;
  EXPECT_EQ(SaveLogAtClose({"x"}, request, kJan31), LogSaveResult::kFailed);
}

}  // namespace
}  // namespace tarsil

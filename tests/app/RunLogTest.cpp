#include "app/RunLog.h"

#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "session/ExecutionLog.h"
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

// The same requests give the same files from the lines in memory and from the spool: replace,
// append, the date suffix, the LOGFILE parameter, an empty log and unwritable names.
TEST(SaveLogAtCloseTest, TheSpoolWritesTheSameBytesAsTheLines) {
  TempDir dir;
  const std::vector<std::vector<std::string>> logs = {
      {"a", "b"}, {}, {"", "  blanks  ", "\x83\x65\x83\x58\x83\x67"}, {"last"}};
  struct Variant {
    bool overwrite;
    bool with_date;
    bool param;
    bool missing_folder;
  };
  const Variant variants[] = {{true, false, false, false}, {false, false, false, false},
                              {false, true, false, false}, {true, true, true, false},
                              {true, false, false, true},  {false, false, true, true}};
  int number = 0;
  for (const Variant& v : variants) {
    SCOPED_TRACE(number);
    std::string names[2];
    for (int way = 0; way < 2; ++way) {
      LogSaveRequest request;
      request.save = true;
      request.overwrite = v.overwrite;
      request.with_date = v.with_date;
      const std::filesystem::path folder =
          dir.path() / (v.missing_folder ? "missing" : "") / std::to_string(number);
      request.option_name = (folder / ("way" + std::to_string(way) + ".log")).string();
      if (v.param) request.logfile_param = (folder / ("JOB" + std::to_string(way))).string();
      if (!v.missing_folder) std::filesystem::create_directories(folder);
      for (const std::vector<std::string>& lines : logs) {
        LogSaveResult result;
        if (way == 0) {
          result = SaveLogAtClose(lines, request, kJan31, &names[way]);
        } else {
          LogSpool spool(dir.str());
          for (const std::string& line : lines) spool.Append(line);
          result = SaveLogAtClose(spool, request, kJan31, &names[way]);
        }
        if (lines.empty()) {
          EXPECT_EQ(result, LogSaveResult::kNotSaved);
        } else {
          EXPECT_EQ(result, v.missing_folder ? LogSaveResult::kFailed : LogSaveResult::kWritten);
        }
      }
    }
    if (!v.missing_folder) {
      EXPECT_EQ(TempDir::Read(names[1]), TempDir::Read(names[0])) << names[1];
      EXPECT_FALSE(TempDir::Read(names[0]).empty());
    }
    ++number;
  }
}

TEST(SaveLogAtCloseTest, ALogLongerThanTheTailIsWrittenWhole) {
  TempDir dir;
  ExecutionLog log;
  std::string expected;
  for (size_t i = 0; i < ExecutionLog::kTailLines * 3 + 7; ++i) {
    const std::string line = "line " + std::to_string(i) + " of the run";
    log.AppendLine(line);
    expected += line + "\r\n";
  }
  LogSaveRequest request;
  request.save = true;
  request.option_name = (dir.path() / "long.log").string();
  EXPECT_EQ(SaveLogAtClose(log.Spool(), request, kJan31), LogSaveResult::kWritten);
  EXPECT_EQ(TempDir::Read(request.option_name), expected);
  request.overwrite = false;
  EXPECT_EQ(SaveLogAtClose(log.Spool(), request, kJan31), LogSaveResult::kWritten);
  EXPECT_EQ(TempDir::Read(request.option_name), expected + expected);
}

}  // namespace
}  // namespace tarsil

#include "session/ExecutionLog.h"

#include <gtest/gtest.h>

namespace tarsil {
namespace {

std::vector<std::string> Texts(const ExecutionLog& log) { return log.LineTexts(); }

TEST(ExecutionLogTest, ClassicRepliesLoseTheirLabelAndSuppressionDropsTheEmptyTail) {
  ExecutionLog log;
  log.SetSuppressBlankLines(true);
  log.HandleInfo(ftpInfoReply, "220-Welcome\r\n220 Ready\r\n", "");
  EXPECT_EQ(Texts(log), std::vector<std::string>({"220-Welcome", "220 Ready"}));

  ExecutionLog unsuppressed;
  unsuppressed.HandleInfo(ftpInfoReply, "220-Welcome\r\n220 Ready\r\n", "");
  EXPECT_EQ(Texts(unsuppressed), std::vector<std::string>({"220-Welcome", "220 Ready", ""}));
}

TEST(ExecutionLogTest, ClassicLabelsAndColours) {
  ExecutionLog log;
  log.SetSuppressBlankLines(true);
  log.HandleInfo(ftpInfoCommand, "USER anonymous\r\n", "");
  log.HandleError(ftpErrorAccessDenied, "Access denied or file not found");
  log.HandleError(ftpErrorInternal, "");  // an error without text adds nothing
  ASSERT_EQ(log.LineCount(), 2u);
  EXPECT_EQ(log.Lines()[0].text, "COMMAND:>   USER anonymous");
  EXPECT_EQ(log.Lines()[0].color, (LogColor{0, 128, 0}));
  EXPECT_EQ(log.Lines()[1].text, "ERROR:>     Access denied or file not found");
  EXPECT_EQ(log.Lines()[1].color, (LogColor{255, 0, 0}));
  EXPECT_EQ(log.FontName(), "Courier New");
}

TEST(ExecutionLogTest, TimeStampedStyleStampsAllButReplies) {
  ExecutionLog log;
  log.SetStyle(msgMFtpTime);
  log.time_stamp = [] { return std::string("2001/01/31 9:05:07"); };
  log.HandleInfo(ftpInfoCommand, "NOOP\r\n", "");
  log.HandleInfo(ftpInfoReply, "200 OK\r\n", "");
  EXPECT_EQ(Texts(log), std::vector<std::string>({"[2001/01/31 9:05:07] NOOP", "200 OK"}));
  EXPECT_EQ(log.Lines()[0].color, (LogColor{0, 0, 255}));
  EXPECT_EQ(log.Lines()[1].color, (LogColor{0, 128, 0}));
  EXPECT_EQ(log.FontName(), "MS Sans Serif");
}

TEST(ExecutionLogTest, ConnectedLineNamesTheServerOnceAndDisconnectedFollowsIt) {
  ExecutionLog log;
  log.SetSuppressBlankLines(true);
  log.HandleInfo(ftpInfoDisconnected, "Disconnected", "ftp1");
  EXPECT_EQ(log.LineCount(), 0u);  // no connection line shown yet
  log.HandleInfo(ftpInfoConnected, "127.0.0.1", "ftp1");
  log.HandleInfo(ftpInfoConnected, "127.0.0.1", "127.0.0.1");
  log.HandleInfo(ftpInfoConnected, "", "");
  log.HandleInfo(ftpInfoDisconnected, "Disconnected", "ftp1");
  log.HandleInfo(ftpInfoDisconnected, "Disconnected", "ftp1");
  EXPECT_EQ(Texts(log),
            std::vector<std::string>(
                {"STATUS:>    Connected to ftp1(ip: 127.0.0.1), waiting for welcome message",
                 "STATUS:>    Connected to 127.0.0.1, waiting for welcome message",
                 "STATUS:>    Connected to specified server, waiting for welcome message",
                 "STATUS:>    Disconnected"}));
}

TEST(ExecutionLogTest, ShowQueriesHideOnlyWhatTheyRefuse) {
  ExecutionLog log;
  log.SetSuppressBlankLines(true);
  log.OnMessageShow = [](FtpInfo info, bool& show) { show = info != ftpInfoCommand; };
  log.HandleInfo(ftpInfoCommand, "LIST\r\n", "");
  log.HandleInfo(ftpInfoLoggedIn, "Logged in", "");
  log.HandleInfo(ftpInfoBusy, "busy", "");  // never shown anyway
  EXPECT_EQ(Texts(log), std::vector<std::string>({"STATUS:>    Login successful"}));
}

TEST(ExecutionLogTest, PlainLinesStayExactlyAsWritten) {
  ExecutionLog log;
  log.SetSuppressBlankLines(true);
  log.AppendLine("  indented  ");
  log.AppendLine("");
  EXPECT_EQ(Texts(log), std::vector<std::string>({"  indented  ", ""}));
}

}  // namespace
}  // namespace tarsil

// End-to-end: the real tarsil binary runs a whole job unattended against each real FTP server, in
// passive and in active mode, and a job that "if Error" steers against one of them. (The test name
// carries "RealServer" and the server's name, which gives it that server's CTest fixture.)
#include <gtest/gtest.h>

#include <random>

#include "app/ScriptFile.h"
#include "platform/CodePage.h"
#include "platform/SettingsStore.h"
#include "support/Process.h"
#include "support/RealServers.h"
#include "support/TempDir.h"

namespace tarsil {
namespace {

using ::tarsil::testing::FindRealServer;
using ::tarsil::testing::ProcessResult;
using ::tarsil::testing::RealServer;
using ::tarsil::testing::RealServerNames;
using ::tarsil::testing::RunProcess;
using ::tarsil::testing::TempDir;
using namespace std::chrono_literals;

struct Case {
  std::string server;
  bool passive;
};

void PrintTo(const Case& c, std::ostream* out) {
  *out << c.server << (c.passive ? " passive" : " active");
}

std::string RandomBytes(size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(count, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

size_t CountPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::count_if(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

// What `Open` names: the address alone on port 21, an IPv6 address in brackets with its port.
std::string OpenTarget(const RealServer& server) {
  const bool v6 = server.address.find(':') != std::string::npos;
  std::string target = v6 ? "[" + server.address + "]" : server.address;
  if (server.port != 21) target += ":" + std::to_string(server.port);
  return target;
}

class ScriptRealServerTest : public ::testing::TestWithParam<Case> {};

TEST_P(ScriptRealServerTest, RunsTheWholeJob) {
  std::string error;
  std::optional<RealServer> server = FindRealServer(GetParam().server, &error);
  ASSERT_TRUE(server) << error;
  TempDir dir;
  const std::string work = dir.str();
  std::filesystem::create_directory(dir.path() / "down");
  const std::string binary = RandomBytes(300000, 7);
  const std::string text = "line one\r\nline two\r\n";
  dir.Write("bin.dat", binary);
  dir.Write("text.txt", text);
  dir.Write("more.txt", "line three\r\n");
  for (int i = 0; i < 50; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "m%02d.dat", i);
    dir.Write(name, RandomBytes(1024 + i, 100 + i));
  }
  const std::string folder = std::string("e2e-") + (GetParam().passive ? "passive" : "active");
  const std::string log_file = work + "/job.log";
  SettingsStore store(work + "/settings.reg");
  store.WriteInteger("\\SOFTWARE\\Tarsil\\Options", "ch_Logsave", 1);
  store.WriteString("\\SOFTWARE\\Tarsil\\Options", "Logsave", log_file);
  store.WriteInteger("\\SOFTWARE\\Tarsil\\Options", "cb_passive", GetParam().passive ? 1 : 0);
  store.WriteInteger("\\SOFTWARE\\Tarsil\\Options", "Timeout", 30);
  const std::vector<std::string> script = {
      "Open " + OpenTarget(*server),
      "Login " + server->user + " " + server->password,
      "if Error stop",
      "lcd " + work,
      "Cd upload",
      "md " + folder,
      "Cd " + folder,
      "Binary",
      "Put bin.dat",
      "Ascii",
      "Put text.txt",
      "Append more.txt text.txt",
      "Binary",
      "Get bin.dat bin.back",
      "Ascii",
      "Get text.txt text.back",
      "Binary",
      "rename bin.dat bin2.dat",
      "Dir >listing.txt",
      "Mput m*.dat",
      "lcd down",
      "Mget m*.dat",
      "Mdel m*.dat",
      "Mget nothing*.here",
      "FTP NOOP",
      "Del bin2.dat",
      "Del text.txt",
      "Cd ..",
      "rd " + folder,
      "Get no-such-file.txt",
      "if Error Rem the missing file failed as it should",
      "Bye",
  };
  std::string script_file = dir.Write("job.fcs", JoinTextLines(script));
  ProcessResult result = RunProcess({TARSIL_BINARY, "/auto" + script_file},
                                    {{"TARSIL_HOME", work}, {"TARSIL_HEADLESS", "1"}}, 90s);
  ASSERT_EQ(result.exit_code, 0) << result.err;
  std::vector<std::string> log = SplitTextLines(TempDir::Read(log_file));
  // The console shows exactly what the log file holds.
  const std::vector<std::string> console = SplitTextLines(Utf8ToCp932(result.out));
  for (size_t i = 0; i < std::max(log.size(), console.size()); ++i) {
    ASSERT_EQ(i < log.size() ? log[i] : "<none>", i < console.size() ? console[i] : "<none>")
        << "line " << i;
  }

  EXPECT_EQ(TempDir::Read(dir.path() / "bin.back"), binary);
  EXPECT_EQ(TempDir::Read(dir.path() / "text.back"), text + "line three\r\n");
  for (int i = 0; i < 50; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "m%02d.dat", i);
    EXPECT_EQ(TempDir::Read(dir.path() / "down" / name), RandomBytes(1024 + i, 100 + i)) << name;
  }
  EXPECT_NE(TempDir::Read(dir.path() / "listing.txt").find("bin2.dat"), std::string::npos);
  EXPECT_TRUE(HasLine(log, "mput will upload 50 files "));
  EXPECT_TRUE(HasLine(log, "mget will download 50 files "));
  EXPECT_TRUE(HasLine(log, "mdel will delete 50 files "));
  EXPECT_TRUE(HasLine(log,
                      "999 \x8aY\x93\x96\x83t\x83@\x83"
                      "C\x83\x8b\x96\xb3\x82\xb5"));
  EXPECT_GE(CountPrefix(log, "Download End "), 52u);
  EXPECT_GE(CountPrefix(log, "Upload End "), 53u);
  EXPECT_TRUE(HasLine(log, "if Error Rem the missing file failed as it should"));
  EXPECT_FALSE(std::filesystem::exists(server->root + "/upload/" + folder));
  EXPECT_EQ(log.back().rfind("<<" + script_file + ">> end   ", 0), 0u);
}

// A failed login (530), a missing remote file (550) and an lcd to a missing folder each set the
// error state that the next "if Error" acts on; a good login sets it back for "if NonError".
TEST(ScriptRealServer, IfErrorSteersTheRunOnVsftpd) {
  std::string error;
  std::optional<RealServer> server = FindRealServer("vsftpd", &error);
  ASSERT_TRUE(server) << error;
  TempDir dir;
  const std::string log_file = dir.str() + "/job.log";
  SettingsStore store(dir.str() + "/settings.reg");
  store.WriteInteger("\\SOFTWARE\\Tarsil\\Options", "ch_Logsave", 1);
  store.WriteString("\\SOFTWARE\\Tarsil\\Options", "Logsave", log_file);
  const std::vector<std::string> script = {
      "Open " + server->address,
      "Login " + server->user + " not-the-password",
      "if Error goto refused",
      "Rem skipped 1",
      ":refused",
      "Open " + server->address,
      "Login " + server->user + " " + server->password,
      "if NonError goto in",
      "Rem skipped 2",
      ":in",
      "Get no-such-file.txt",
      "if Error goto missing",
      "Rem skipped 3",
      ":missing",
      "lcd " + dir.str() + "/no-such-folder",
      "if Error goto no_folder",
      "Rem skipped 4",
      ":no_folder",
      "Bye",
  };
  const std::string script_file = dir.Write("job.fcs", JoinTextLines(script));
  ProcessResult result = RunProcess({TARSIL_BINARY, "/auto" + script_file},
                                    {{"TARSIL_HOME", dir.str()}, {"TARSIL_HEADLESS", "1"}}, 60s);
  ASSERT_EQ(result.exit_code, 0) << result.err;
  const std::vector<std::string> log = SplitTextLines(TempDir::Read(log_file));
  EXPECT_EQ(CountPrefix(log, "Rem skipped"), 0u);
  EXPECT_GE(CountPrefix(log, "530"), 1u);
  EXPECT_GE(CountPrefix(log, "550"), 1u);
  EXPECT_TRUE(HasLine(log, "Bye"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "no-such-file.txt"));
}

std::vector<Case> Cases(const std::vector<std::string>& names) {
  std::vector<Case> cases;
  for (const std::string& name : names) {
    cases.push_back({name, true});
    cases.push_back({name, false});
  }
  return cases;
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  return info.param.server + (info.param.passive ? "_passive" : "_active");
}

INSTANTIATE_TEST_SUITE_P(RealServer, ScriptRealServerTest,
                         ::testing::ValuesIn(Cases(RealServerNames())), CaseName);
// The same job against the servers on ::1 (EPSV in passive mode, EPRT in active mode).
INSTANTIATE_TEST_SUITE_P(RealServerIpv6, ScriptRealServerTest,
                         ::testing::ValuesIn(Cases(::tarsil::testing::Ipv6ServerNames())),
                         CaseName);

}  // namespace
}  // namespace tarsil

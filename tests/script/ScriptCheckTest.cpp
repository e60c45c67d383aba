#include "script/ScriptCheck.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "support/TempDir.h"

namespace tarsil {
namespace {

using ::tarsil::testing::TempDir;

// Stored values as a settings file would hold them; names compare without regard to case.
StoredValueLookup Values(std::map<std::string, std::string> values) {
  return [values = std::move(values)](std::string_view name) -> std::optional<std::string> {
    for (const auto& [key, value] : values) {
      if (key.size() == name.size() &&
          std::equal(key.begin(), key.end(), name.begin(), [](char a, char b) {
            return std::toupper(static_cast<unsigned char>(a)) ==
                   std::toupper(static_cast<unsigned char>(b));
          })) {
        return value;
      }
    }
    return std::nullopt;
  };
}

std::vector<std::string> Check(const std::vector<std::string>& lines,
                               std::map<std::string, std::string> values = {}) {
  std::vector<std::string> out;
  for (const CheckFinding& finding : CheckScript(lines, Values(std::move(values)))) {
    out.push_back(FormatFinding("job.fcs", finding));
  }
  return out;
}

struct Case {
  const char* what;
  std::vector<std::string> lines;
  std::vector<std::string> findings;
};

TEST(ScriptCheckTest, EachKindOfFindingWithItsLineNumber) {
  const Case cases[] = {
      {"misspelt keyword",
       {"Open h", "Mgte *.txt"},
       {"job.fcs:2: unknown keyword \"Mgte\": the line does nothing (did you mean Mget?)"}},
      {"unknown word far from any keyword",
       {"frobnicate"},
       {"job.fcs:1: unknown keyword \"frobnicate\": the line does nothing"}},
      {"indented comment",
       {"  # note"},
       {"job.fcs:1: unknown keyword \"#\": a comment needs # as the very first character of the "
        "line"}},
      {"full-width space joins the keyword to its argument",
       {"Cd\x81\x40pub"},
       {"job.fcs:1: unknown keyword \"Cd\x81\x40pub\": the line does nothing"}},
      {"goto a missing label",
       {"goto end", ":End2"},
       {"job.fcs:1: goto end: no line starts with :end, so the run would end here"}},
      {"goto without a label",
       {"goto"},
       {"job.fcs:1: goto without a label: the run would end here"}},
      {"if without a command",
       {"if Error", "if"},
       {"job.fcs:1: if without a command: the line does nothing",
        "job.fcs:2: if without a command: the line does nothing"}},
      {"if with another word, and its command checked too",
       {"if Maybe Gett a"},
       {"job.fcs:1: if \"Maybe\": the condition is neither Error nor NonError, so the command "
        "always runs",
        "job.fcs:1: unknown keyword \"Gett\": the line does nothing (did you mean Get?)"}},
      {"nested if reaching a missing label",
       {"if Error if NonError goto x"},
       {"job.fcs:1: goto x: no line starts with :x, so the run would end here"}},
      {"missing arguments",
       {"Open", "Login", "Get", "Put  ", "Cd", "rename a", "Mget", "FTP ", "lcd", "lmdel"},
       {"job.fcs:1: Open needs a server name", "job.fcs:2: Login needs a user name",
        "job.fcs:3: Get needs a remote file name", "job.fcs:4: Put needs a local file name",
        "job.fcs:5: Cd needs a remote folder", "job.fcs:6: rename needs an old and a new name",
        "job.fcs:7: Mget needs a remote name mask", "job.fcs:8: FTP needs an FTP command",
        "job.fcs:9: lcd needs a local folder", "job.fcs:10: lmdel needs a path and name mask"}},
      {"unclosed quotes",
       {"Get \"my file.txt", "Put a.txt \"remote name", "Get \"", "rename \"a b\" \"c"},
       {"job.fcs:1: Get: a double quote is not closed; the name runs to the end of the line",
        "job.fcs:2: Put: a double quote is not closed; the name runs to the end of the line",
        "job.fcs:3: Get: a double quote is not closed; the name runs to the end of the line",
        "job.fcs:3: Get needs a remote file name",
        "job.fcs:4: rename: a double quote is not closed; the name runs to the end of the line"}},
      {"bad WaitTimer times",
       {"WaitTimer abc", "WaitTimer", "WaitTimer 25:00:00", "WaitTimer 0:01:30"},
       {"job.fcs:1: WaitTimer: \"abc\" is not a time such as 0:01:30",
        "job.fcs:2: WaitTimer: \"\" is not a time such as 0:01:30",
        "job.fcs:3: WaitTimer: \"25:00:00\" is not a time such as 0:01:30"}},
      {"stop with a word that is no exit status",
       {"stop 256", "stop 3 now", "stop 3", "stop"},
       {"job.fcs:1: stop: \"256\" is not an exit status (0-255); the line is a plain stop",
        "job.fcs:2: stop: \"3 now\" is not an exit status (0-255); the line is a plain stop"}},
      {"set and setparam without =",
       {"set name", "set", "setparam LOGFILE", "set name=", "setparam CHECKCASE=1"},
       {"job.fcs:1: set needs name=value", "job.fcs:2: set needs name=value",
        "job.fcs:3: setparam needs NAME=VALUE"}},
      {"a value neither stored nor set: one warning, value checks skipped",
       {"lcd %dir%", "WaitTimer %wait%", "goto %where%", "Rem %dir%"},
       {"job.fcs:1: warning: %dir% is not a stored value yet; it expands to nothing unless it is "
        "set before this line runs",
        "job.fcs:2: warning: %wait% is not a stored value yet; it expands to nothing unless it is "
        "set before this line runs",
        "job.fcs:3: warning: %where% is not a stored value yet; it expands to nothing unless it "
        "is set before this line runs"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Check(c.lines), c.findings) << c.what;
  }
}

TEST(ScriptCheckTest, CleanScriptsGiveNothing) {
  EXPECT_TRUE(Check({"# comment",
                     "",
                     "Rem x",
                     ":retry",
                     "  :indented label",
                     "OPEN host",
                     "Login user",
                     "if Error goto retry",
                     "if nonerror goto indented",
                     "Get \"my file.txt\" \"local copy.txt\"",
                     "Cd\tpub",
                     "Dir",
                     "Dir >list.txt",
                     "Binary",
                     "Ascii",
                     "Bye",
                     "pause",
                     "WaitTimer 00:00:01",
                     "stop 0",
                     "set x=1",
                     "setparam LOGFILE=/tmp/a.log",
                     "Rem 50\\% done"})
                  .empty());
  // Stored values and values set by the script itself expand without a warning, in any case.
  EXPECT_TRUE(Check({"set Where=/tmp", "lcd %where%", "WaitTimer %wait%", "goto %target%", ":ok"},
                    {{"WAIT", "0:00:02"}, {"target", "ok"}})
                  .empty());
  // A stored value is used for the checks that need it.
  EXPECT_EQ(
      Check({"WaitTimer %wait%"}, {{"wait", "soon"}}),
      std::vector<std::string>({"job.fcs:1: WaitTimer: \"soon\" is not a time such as 0:01:30"}));
  // A line made a comment by its value is skipped like a comment.
  EXPECT_TRUE(Check({"%c% anything"}, {{"c", "#"}}).empty());
}

TEST(ScriptCheckTest, TheExampleJobsAreClean) {
  const auto examples = std::filesystem::path(TARSIL_SOURCE_DIR) / "examples";
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(examples)) {
    if (entry.path().extension() != ".fcs") continue;
    std::string text = TempDir::Read(entry.path().string());
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find_first_of("\r\n", start);
      if (end == std::string::npos) end = text.size();
      lines.push_back(text.substr(start, end - start));
      start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    // The stored values that scripts/demo-folder.sh writes.
    EXPECT_EQ(Check(lines, {{"server", "127.0.0.21"},
                            {"user", "tarsil"},
                            {"password", "tarsil-pass"},
                            {"workdir", "/tmp/demo"},
                            {"demo_dir", "/tmp/demo"}}),
              std::vector<std::string>())
        << entry.path();
    ++checked;
  }
  EXPECT_GE(checked, 2);
}

}  // namespace
}  // namespace tarsil

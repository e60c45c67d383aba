// The log mask of script lines: it hides exactly the word the executor sends as the password.
#include "script/SecretMask.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarsil {
namespace {

TEST(SecretMaskTest, HidesThePasswordWordTheExecutorReads) {
  struct Row {
    std::string line, shown;
  };
  const std::vector<Row> rows = {
      {"Login user secret", "Login user ********"},
      {"login\tuser secret", "login\tuser ********"},
      {"Login   user   secret more", "Login   user   ******** more"},
      {"\x81\x40Login user secret", "\x81\x40Login user ********"},
      // A user name whose last byte is a CP932 lead byte (UTF-8 text read as CP932): the lead
      // byte before a space is a character of its own, so the space still ends the user word.
      {"Login \xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88 pw",
       "Login \xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88 ********"},
      {"Login \x88 pw", "Login \x88 ********"},
      {"Login \x82\xA0 \x82\xA0pw\x88", "Login \x82\xA0 ********"},
      {"Login user", "Login user"},
      {"Login", "Login"},
      {"if Error Login u p", "if Error Login u ********"},
      {"if Error if NonError Login u p", "if Error if NonError Login u ********"},
      {"if\tError Login u p", "if\tError Login u ********"},
      {"FTP PASS secret", "FTP PASS ********"},
      {"FTP  pass secret words", "FTP  pass ********"},
      {"FTP PASS\tsecret", "FTP PASS\t********"},
      {"ftp acct budget", "ftp acct ********"},
      {"if Maybe FTP PASS x", "if Maybe FTP PASS ********"},
      {"FTP PASS", "FTP PASS"},
      {"FTP PASSX secret", "FTP PASSX secret"},
      {"FTP USER secret", "FTP USER secret"},
      {"Rem Login user secret", "Rem Login user secret"},
      {"Loginx user secret", "Loginx user secret"},
      {" Login user secret", " Login user ********"},
  };
  for (const Row& row : rows) EXPECT_EQ(MaskSecretsForLog(row.line), row.shown) << row.line;
}

}  // namespace
}  // namespace tarsil

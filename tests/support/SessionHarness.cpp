#include "support/SessionHarness.h"

namespace tarsil::testing {

SessionTest::SessionTest() {
  old_dir_ = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  ftp_.Log = &log_;
  ftp_.WaitTimeOut = 10000;
}

SessionTest::~SessionTest() { std::filesystem::current_path(old_dir_); }

void SessionTest::Open() {
  ASSERT_EQ(ftp_.Connect("127.0.0.1:" + std::to_string(server_.port()), "", 0), 100);
}

void SessionTest::LogIn() {
  Open();
  if (HasFatalFailure()) return;
  ASSERT_LE(ftp_.Login("user", "secret"), 400);  // the code of the login chain's last reply
}

std::vector<std::string> SessionTest::Sent(const std::string& prefix) const {
  std::vector<std::string> found;
  for (const std::string& c : server_.Commands()) {
    if (c.rfind(prefix, 0) == 0) found.push_back(c);
  }
  return found;
}

}  // namespace tarsil::testing

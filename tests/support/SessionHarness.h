// SessionTest: the base of the synchronous session's tests against the scripted fake server. Each
// test runs in a temporary folder of its own (the working folder while it lasts), with the
// session's log attached, a 10-second wait for any reply, and the steps that open the connection
// and log in. Test thread only.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/PollEventLoop.h"
#include "session/ExecutionLog.h"
#include "session/FtpSession.h"
#include "support/FakeFtpServer.h"
#include "support/TempDir.h"

namespace tarsil::testing {

class SessionTest : public ::testing::Test {
 protected:
  SessionTest();
  ~SessionTest() override;

  void Open();   // connects to the fake server (100)
  void LogIn();  // Open, then a login that ends with the code of a reply below 400
  // The commands the server received that start with `prefix`, in order.
  std::vector<std::string> Sent(const std::string& prefix) const;

  TempDir dir_;
  std::filesystem::path old_dir_;
  FakeFtpServer server_;
  PollEventLoop loop_;
  ExecutionLog log_;
  FtpSession ftp_{loop_};
};

}  // namespace tarsil::testing

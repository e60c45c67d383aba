// Test harness for the FTP engine: one poll loop and one engine per test, an event recorder that
// keeps what the engine raised in order (and fails when a password shows in any text), bounded
// waits, and the leak check run when the engine is gone. Test thread only.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ftp/FtpEngine.h"
#include "net/AsyncSocket.h"
#include "net/HostLookup.h"
#include "platform/PollEventLoop.h"

namespace tarsil::testing {

using namespace std::chrono_literals;

// Everything the engine raised, as text: "info <member> <text>", "error <member> <text>", and the
// names of the notify events ("ready", "loggedin", "quit", "aborted", "busy"). Replies and
// commands go to their own lists.
struct EngineRecorder {
  std::vector<std::string> events;
  std::vector<std::string> commands;  // as listeners saw them, without CR LF
  std::string replies;                // every chunk read, joined
  std::vector<std::string> secrets;   // texts that must never appear in any event

  void Attach(FtpEngine& ftp) {
    ftp.OnFtpInfo = [this](FtpEngine&, FtpInfo info, const std::string& text) {
      Check(text);
      if (info == ftpInfoReply) {
        replies += text;
      } else if (info == ftpInfoCommand) {
        EXPECT_TRUE(text.size() >= 2 && text.substr(text.size() - 2) == "\r\n") << text;
        commands.push_back(text.substr(0, text.find("\r\n")));
      } else {
        events.push_back(std::string("info ") + FtpInfoName(info) + " " + text);
      }
    };
    ftp.OnFtpError = [this](FtpEngine&, FtpError error, const std::string& text) {
      Check(text);
      events.push_back(std::string("error ") + FtpErrorName(error) + " " + text);
    };
    const auto note = [this](const char* name) {
      return [this, name](FtpEngine&) { events.emplace_back(name); };
    };
    ftp.OnFtpReady = note("ready");
    ftp.OnLoggedIn = note("loggedin");
    ftp.OnFtpQuit = note("quit");
    ftp.OnAborted = note("aborted");
    ftp.OnFtpBusy = note("busy");
  }

  void Check(const std::string& text) {
    for (const std::string& secret : secrets) {
      // Reported without the secret itself, which must not reach the test output either.
      EXPECT_EQ(text.find(secret), std::string::npos) << "a secret appeared in an event text";
    }
  }

  size_t Count(const std::string& event) const {
    return std::count(events.begin(), events.end(), event);
  }
  size_t CountPrefix(const std::string& prefix) const {
    return std::count_if(events.begin(), events.end(),
                         [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
  }
  bool Has(const std::string& event) const { return Count(event) > 0; }
};

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ftp_ = std::make_unique<FtpEngine>(loop_);
    recorder_.Attach(*ftp_);
    ftp_->SetRetryInterval(0);
    ftp_->SetNoopInterval(0);
  }

  // The engine goes first; then nothing of it may be left in the loop.
  void TearDown() override {
    ftp_.reset();
    loop_.ProcessMessages();
    EXPECT_EQ(loop_.LiveTargets(), 0u);
    EXPECT_EQ(loop_.LiveWatches(), 0u);
    EXPECT_EQ(loop_.LiveTimers(), 0u);
    EXPECT_EQ(loop_.PendingNotices(), 0u);
    EXPECT_TRUE(HostLookup::WaitForThreads(5s));
    // Every socket the engine made is closed. (The fake server's own sockets come and go on its
    // thread, so the process-wide descriptor count is no measure here.)
    EXPECT_EQ(AsyncSocket::LiveHandles(), 0u);
  }

  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
    return loop_.WaitUntil(done, EventLoop::Clock::now() + limit);
  }
  bool RunUntilEvent(const std::string& event, std::chrono::milliseconds limit = 5s) {
    return RunUntil([&] { return recorder_.Has(event); }, limit);
  }
  // The request has ended: its ready notice has been handled and nothing else is queued.
  bool RunUntilQuiet(std::chrono::milliseconds limit = 5s) {
    const bool ended = RunUntilEvent("quit", limit) && RunUntilEvent("ready", limit);
    loop_.ProcessMessages();
    return ended;
  }

  void Direct(uint16_t port, const std::string& address = "127.0.0.1") {
    ftp_->SetServer(address);
    ftp_->SetPort(port);
  }

  PollEventLoop loop_;
  std::unique_ptr<FtpEngine> ftp_;
  EngineRecorder recorder_;
};

}  // namespace tarsil::testing

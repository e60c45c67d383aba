// Test harness for the engine's data side: EngineTest plus the completion events by name
// ("received", "stored", "listed", "changed", "created", "removed", "deleted", "renamed"), data
// notices counted rather than recorded, a scripted answer to the resume question, a login helper
// and Run(), which issues one request and waits for its ready notice. Test thread only.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "EngineHarness.h"
#include "ftp/DataChannel.h"
#include "support/FakeFtpServer.h"
#include "support/TempDir.h"

namespace tarsil::testing {

// 0, 1, ..., 255, 0, 1, ... : every byte value, in a file of `size` bytes.
inline std::string AllByteValues(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 256);
  return bytes;
}

// The data connection command of the mode: "PASV", or "PORT h1,h2,h3,h4,p1,p2" cut to "PORT".
inline std::vector<std::string> Verbs(const std::vector<std::string>& commands) {
  std::vector<std::string> verbs;
  for (const std::string& command : commands) {
    verbs.push_back(command.rfind("PORT ", 0) == 0 ? "PORT" : command);
  }
  return verbs;
}

inline bool Has(const std::vector<std::string>& events, const std::string& event) {
  return std::find(events.begin(), events.end(), event) != events.end();
}

// Equal bytes; a failure names the sizes and the first difference instead of printing them all.
inline ::testing::AssertionResult SameBytes(const std::string& actual,
                                            const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure() << actual.size() << " bytes instead of " << expected.size()
                                       << ", first difference at byte " << at;
}

class TransferTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    const FtpInfoEvent recorded = ftp_->OnFtpInfo;
    ftp_->OnFtpInfo = [this, recorded](FtpEngine& ftp, FtpInfo info, const std::string& text) {
      if (info == ftpInfoData) {
        ++data_notices_;
        if (!text.empty()) data_lines_.push_back(text);
      } else if (info == ftpInfoEntryFound) {
        entries_.push_back(text);
      } else {
        recorded(ftp, info, text);
      }
    };
    const auto note = [this](const char* name) {
      return [this, name](FtpEngine&) { recorder_.events.emplace_back(name); };
    };
    ftp_->OnFileReceived = note("received");
    ftp_->OnFileStored = note("stored");
    ftp_->OnListingDone = note("listed");
    ftp_->OnDirectoryChanged = note("changed");
    ftp_->OnDirectoryCreated = note("created");
    ftp_->OnDirectoryDeleted = note("removed");
    ftp_->OnFileDeleted = note("deleted");
    ftp_->OnFileRenamed = note("renamed");
    ftp_->OnDataProgress = [this](FtpEngine&) { ++progress_; };
    ftp_->OnRetrieveComplete = [this](FtpEngine&) { ++data_closes_; };
    ftp_->OnFtpNeedInfo = [this](FtpEngine&, FtpInfoNeeded need, std::string& value) {
      if (need == needResumeChoice) {
        ++resume_questions_;
        value = resume_answer_;
      }
    };
  }

  void LogIn(const FakeFtpServer& server, bool passive = false) {
    Direct(server.port(), server.address());
    ftp_->SetPassive(passive);
    ftp_->LoginServer();
    ASSERT_TRUE(RunUntilEvent("loggedin"));
    Forget();
  }

  // Issues one request and waits until its ready notice (and completion event) has come.
  bool Run(const std::function<void()>& request, std::chrono::milliseconds limit = 10s) {
    const size_t readies = recorder_.Count("ready");
    request();
    return RunUntil([&] { return recorder_.Count("ready") > readies; }, limit);
  }

  // A new engine for the next case of a table (the old one goes first).
  void Renew() {
    ftp_.reset();
    loop_.ProcessMessages();
    SetUp();
    Forget();
  }

  void Forget() {
    recorder_.events.clear();
    recorder_.commands.clear();
    data_lines_.clear();
    entries_.clear();
    data_notices_ = progress_ = data_closes_ = resume_questions_ = 0;
  }

  // The commands sent, without the login's.
  const std::vector<std::string>& Commands() const { return recorder_.commands; }
  const std::vector<std::string>& Events() const { return recorder_.events; }

  TempDir dir_;
  std::string resume_answer_;
  std::vector<std::string> data_lines_;
  std::vector<std::string> entries_;
  size_t data_notices_ = 0;
  size_t progress_ = 0;
  size_t data_closes_ = 0;
  size_t resume_questions_ = 0;
};

}  // namespace tarsil::testing

// The engine's protocol cases written as data (cases/*.case, described in cases/README.md): each
// case scripts the fake server, sets the engine up, runs requests through the public engine API
// and compares what the server received, the events raised and the engine's state afterwards.
// One GoogleTest case per data case, named after its file and case.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "EngineCaseTables.h"
#include "TransferHarness.h"
#include "listing/ListingCache.h"
#include "platform/UniqueFd.h"
#include "support/CaseFile.h"
#include "support/FakeServerCase.h"

namespace tarsil::testing {
namespace {

using Strings = std::vector<std::string>;

// A loopback port that refuses connections: bound, never listening.
class RefusingPort {
 public:
  RefusingPort() : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  uint16_t port() const { return port_; }

 private:
  UniqueFd fd_;
  uint16_t port_ = 0;
};

Strings Names(const RemoteEntryList& list) {
  Strings names;
  for (int i = 0; i < list.Count(); ++i) names.push_back(list.GetEntry(i).FileName);
  return names;
}

std::vector<DataCase> Cases(const char* file) {
  return LoadCaseFile(std::filesystem::path(TARSIL_ENGINE_CASES) / file);
}

class EngineCaseTest : public TransferTest, public ::testing::WithParamInterface<DataCase> {
 protected:
  void SetUp() override {
    TransferTest::SetUp();
    server_ = std::make_unique<FakeFtpServer>();
    Direct(server_->port(), server_->address());
    ftp_->OnFtpNeedInfo = [this](FtpEngine&, FtpInfoNeeded need, std::string& value) {
      const std::string name = NeedName(need);
      asked_.push_back(value.empty() ? name : name + "=" + value);
      if (need == needResumeChoice) ++resume_questions_;
      auto answer = answers_.find(name);
      if (answer != answers_.end()) value = answer->second;
    };
    values_ = {{"port", std::to_string(server_->port())},
               {"refusing-port", std::to_string(refusing_.port())},
               {"host", server_->address()},
               {"dir", dir_.str()}};
  }

  // The server goes first, so that every socket of the test is closed for the check.
  void TearDown() override {
    server_.reset();
    TransferTest::TearDown();
  }

  void RunCase(const DataCase& data) {
    ASSERT_TRUE(data.error.empty()) << data.error;
    for (const CaseDirective& directive : data.directives) {
      SCOPED_TRACE(data.Where(directive) + ": " + directive.keyword + " " + directive.rest);
      try {
        Apply(directive);
      } catch (const std::exception& fault) {
        FAIL() << "cannot apply the line: " << fault.what();
      }
      if (::testing::Test::HasFatalFailure()) return;
    }
  }

  std::string Text(const std::string& value) const {
    return Substitute(DecodeText(value), values_);
  }
  Strings Block(const CaseDirective& directive) const {
    Strings lines;
    for (const std::string& line : directive.block) lines.push_back(Substitute(line, values_));
    return lines;
  }
  // The server's commands since the last "forget".
  Strings Received() const {
    const Strings all = server_->Commands();
    return Strings(all.begin() + static_cast<std::ptrdiff_t>(std::min(received_mark_, all.size())),
                   all.end());
  }

  void Apply(const CaseDirective& d);
  void Setup(const CaseDirective& d);
  void Step(const CaseDirective& d);
  void Expect(const CaseDirective& d);

  std::unique_ptr<FakeFtpServer> server_;
  std::unique_ptr<ListingCache> cache_;
  RefusingPort refusing_;
  std::map<std::string, std::string> values_;
  std::map<std::string, std::string> answers_;
  Strings asked_;
  size_t received_mark_ = 0;
};

void EngineCaseTest::Apply(const CaseDirective& d) {
  if (d.keyword == "do") {
    Step(d);
  } else if (d.keyword == "expect" || d.keyword == "check") {
    Expect(d);
  } else {
    Setup(d);
  }
}

void EngineCaseTest::Setup(const CaseDirective& d) {
  std::string left;
  std::string right;
  if (d.keyword == "define" || ApplyServerDirective(*server_, d, values_)) {
    // A named list (used by "@name" in blocks), or the server's part.
  } else if (d.keyword == "set") {
    const size_t space = d.rest.find(' ');
    const std::string name = d.rest.substr(0, space);
    const EngineSetting* setting = FindEngineSetting(name);
    if (setting == nullptr) throw std::invalid_argument("no engine setting " + name);
    setting->apply(*ftp_, space == std::string::npos ? "" : Text(d.rest.substr(space + 1)));
  } else if (d.keyword == "listing-cache") {
    // The engine's listing cache in {dir}/ftpcache; "prepared": its folder made first.
    cache_ = std::make_unique<ListingCache>(dir_.str() + "/ftpcache");
    if (d.rest == "prepared") {
      ASSERT_TRUE(cache_->PrepareCacheDirectory());
    }
    ftp_->SetListingCache(cache_.get());
  } else if (d.keyword == "secret") {
    recorder_.secrets.push_back(Text(d.rest));
  } else if (d.keyword == "answer") {
    const size_t space = d.rest.find(' ');
    answers_[d.rest.substr(0, space)] =
        space == std::string::npos ? "" : Text(d.rest.substr(space + 1));
  } else if (d.keyword == "local" && SplitArrow(d.rest, left, right)) {
    dir_.Write(Text(left), DecodeBytes(right));
  } else {
    throw std::invalid_argument("unknown line");
  }
}

void EngineCaseTest::Step(const CaseDirective& d) {
  const Strings words = SplitWords(Substitute(d.rest, values_));
  const std::string verb = words.empty() ? "" : words[0];
  // Everything after the verb, as one text.
  const std::string rest = Text(d.rest.size() > verb.size() ? d.rest.substr(verb.size() + 1) : "");
  const auto arg = [&](size_t i) {
    if (words.size() <= i) throw std::invalid_argument(verb + " needs more arguments");
    return words[i];
  };
  if (verb == "login" || verb == "attempt-login") {
    // Ends with the ready notice; a failed login also with the connection's end. "login" must
    // log in; "attempt-login" may fail.
    ftp_->LoginServer();
    ASSERT_TRUE(RunUntilEvent("ready", 20s));
    loop_.ProcessMessages();
    const bool logged_in = recorder_.Has("loggedin");
    if (!logged_in) {
      ASSERT_TRUE(RunUntilQuiet(20s));
    }
    EXPECT_EQ(ftp_->LoggedIn(), logged_in);
    EXPECT_EQ(ftp_->Connected(), logged_in);
    if (verb == "login") {
      ASSERT_TRUE(logged_in) << ::testing::PrintToString(Events());
    }
  } else if (verb == "forget") {
    Forget();
    asked_.clear();
    received_mark_ = server_->Commands().size();
  } else if (verb == "call") {
    // The call alone, for a request that ends before it returns or does nothing at all.
    const std::string what = arg(1);
    if (what == "ParentDir") {
      ftp_->ParentDir();
    } else if (what == "DeleteRemoteFile") {
      ftp_->DeleteRemoteFile(arg(2));
    } else if (what == "RemoveDir") {
      ftp_->RemoveDir(arg(2));
    } else if (what == "RenameRemoteFile") {
      ftp_->RenameRemoteFile(arg(2), arg(3));
    } else if (what == "QuitServer") {
      ftp_->QuitServer();
    } else if (what == "CreateDir") {
      ftp_->CreateDir(arg(2));
    } else if (what == "CancelRequest") {
      ftp_->CancelRequest();
    } else {
      throw std::invalid_argument("cannot call " + what);
    }
  } else if (verb == "process") {
    loop_.ProcessMessages();
  } else if (verb == "begin") {
    // A request started without waiting for its end.
    if (arg(1) == "login") {
      ftp_->LoginServer();
    } else if (arg(1) == "list") {
      ftp_->ListDirectory();
    } else if (arg(1) == "retrieve") {
      ftp_->RetrieveFile(arg(2), arg(3));
    } else if (arg(1) == "store") {
      ftp_->StoreFile(arg(2), arg(3));
    } else {
      throw std::invalid_argument("begin retrieve|store");
    }
  } else if (verb == "wait-event") {
    ASSERT_TRUE(RunUntilEvent(arg(1))) << ::testing::PrintToString(Events());
  } else if (verb == "wait-quiet") {
    // The connection's end ("quit") and the ready notice.
    ASSERT_TRUE(RunUntilQuiet(10s)) << ::testing::PrintToString(Events());
  } else if (verb == "wait-for") {
    const EngineProperty* property = FindEngineProperty(arg(1));
    if (property == nullptr) throw std::invalid_argument("no engine property " + arg(1));
    ASSERT_TRUE(RunUntil([&] { return property->read(*ftp_) == arg(2); }))
        << arg(1) << " is " << property->read(*ftp_);
  } else if (verb == "wait-closed") {
    ASSERT_TRUE(server_->WaitForConnectionsClosed(std::stoul(arg(1)), 5s));
  } else if (verb == "wait-bytes") {
    const int64_t bytes = std::stoll(arg(1));
    ASSERT_TRUE(RunUntil([&] { return ftp_->BytesTransferred() > bytes; }))
        << "no more than " << ftp_->BytesTransferred() << " bytes";
  } else if (verb == "wait-received") {
    ASSERT_TRUE(server_->WaitUntil(
        [&] {
          const Strings sent = server_->Commands();
          return std::find(sent.begin(), sent.end(), rest) != sent.end();
        },
        5s))
        << "the server never received " << rest;
  } else if (verb == "run-until-received") {
    // The loop runs until the last command the server received is this one.
    const std::string& command = rest;
    ASSERT_TRUE(RunUntil([&] {
      const Strings sent = server_->Commands();
      return !sent.empty() && sent.back() == command;
    })) << "the server never received "
        << command;
  } else if (verb == "cancel") {
    ASSERT_TRUE(TransferTest::Run([&] { ftp_->CancelRequest(); })) << "the cancel did not end";
  } else if (verb == "abort") {
    ASSERT_TRUE(TransferTest::Run([&] { ftp_->AbortRequest(); })) << "the abort did not end";
  } else {
    std::function<void()> request;
    if (verb == "cd") {
      request = [&] { ftp_->ChangeDir(arg(1)); };
    } else if (verb == "cdup") {
      request = [&] { ftp_->ParentDir(); };
    } else if (verb == "mkdir") {
      request = [&] { ftp_->CreateDir(arg(1)); };
    } else if (verb == "rmdir") {
      request = [&] { ftp_->RemoveDir(arg(1)); };
    } else if (verb == "delete") {
      request = [&] { ftp_->DeleteRemoteFile(arg(1)); };
    } else if (verb == "rename") {
      request = [&] { ftp_->RenameRemoteFile(arg(1), arg(2)); };
    } else if (verb == "raw") {
      request = [&] { ftp_->SendRawCommand(words.size() > 1 ? arg(1) : ""); };
    } else if (verb == "retrieve") {
      request = [&] { ftp_->RetrieveFile(arg(1), arg(2)); };
    } else if (verb == "store") {
      request = [&] { ftp_->StoreFile(arg(1), arg(2)); };
    } else if (verb == "list") {
      request = [&] { ftp_->ListDirectory(); };
    } else if (verb == "quit") {
      request = [&] { ftp_->QuitServer(); };
    } else {
      throw std::invalid_argument("unknown step " + verb);
    }
    ASSERT_TRUE(TransferTest::Run(request, 15s)) << "the request did not end";
  }
}

void EngineCaseTest::Expect(const CaseDirective& d) {
  const size_t space = d.rest.find(' ');
  const std::string what = d.rest.substr(0, space);
  const std::string value = space == std::string::npos ? "" : d.rest.substr(space + 1);
  if (d.keyword == "check") {
    const EngineProperty* property = FindEngineProperty(what);
    if (property == nullptr) throw std::invalid_argument("no engine property " + what);
    const std::string actual = property->read(*ftp_);
    if (value.size() > 2 && (value.rfind("< ", 0) == 0 || value.rfind("> ", 0) == 0)) {
      const int64_t limit = std::stoll(value.substr(2));
      EXPECT_TRUE(value[0] == '<' ? std::stoll(actual) < limit : std::stoll(actual) > limit)
          << what << " is " << actual;
    } else if (const std::string text = Text(value); !text.empty() && text.back() == '*') {
      const std::string start = text.substr(0, text.size() - 1);
      EXPECT_EQ(actual.substr(0, start.size()), start) << what << " is " << actual;
    } else {
      EXPECT_EQ(actual, text) << what;
    }
  } else if (what == "tail") {
    // The last events, in order.
    const Strings expected = Block(d);
    ASSERT_GE(Events().size(), expected.size()) << ::testing::PrintToString(Events());
    EXPECT_EQ(
        Strings(Events().end() - static_cast<std::ptrdiff_t>(expected.size()), Events().end()),
        expected);
  } else if (what == "no-event") {
    EXPECT_FALSE(Has(Events(), Text(value))) << ::testing::PrintToString(Events());
  } else if (what == "connections") {
    EXPECT_EQ(server_->ConnectionsAccepted(), std::stoul(value));
  } else if (what == "input-lacks") {
    EXPECT_EQ(server_->RawInput().find(Text(value)), std::string::npos);
  } else if (what == "pending-notices") {
    EXPECT_EQ(loop_.PendingNotices(), std::stoul(value));
  } else if (what == "progress") {
    // Progress for every block of a transfer of that many bytes (at least), each also a data
    // notice, and one end of the data connection for a download.
    const size_t bytes = std::stoul(value);
    EXPECT_GE(progress_, (bytes - 1) / DataChannel::kTransferBlock + 1);
  } else if (what == "progress-as-data-notices") {
    EXPECT_EQ(progress_, data_notices_);
  } else if (what == "data-closes") {
    EXPECT_EQ(data_closes_, std::stoul(value));
  } else if (what == "first-event") {
    ASSERT_FALSE(Events().empty());
    EXPECT_EQ(Events().front(), Text(value));
  } else if (what == "connection-works") {
    // The connection still works: a CWD goes out and is answered.
    ASSERT_TRUE(ftp_->Connected());
    Forget();
    ASSERT_TRUE(TransferTest::Run([&] { ftp_->ChangeDir("/pub"); }));
    EXPECT_EQ(Events(), (Strings{"busy", "ready", "changed"}));
    EXPECT_EQ(Commands(), (Strings{"CWD /pub", "PWD"}));
    EXPECT_EQ(ftp_->LastReply(), "257 \"/\"");
  } else if (what == "files") {
    EXPECT_EQ(Names(ftp_->CurrentFiles()), Block(d));
  } else if (what == "folders") {
    EXPECT_EQ(Names(ftp_->CurrentFolders()), Block(d));
  } else if (what == "file-size") {
    const Strings words = SplitWords(value);
    if (words.size() != 2) throw std::invalid_argument("file-size NAME SIZE");
    const RemoteEntryList& files = ftp_->CurrentFiles();
    int found = -1;
    for (int i = 0; i < files.Count(); ++i) {
      if (files.GetEntry(i).FileName == words[0]) found = i;
    }
    ASSERT_GE(found, 0) << words[0];
    EXPECT_EQ(files.GetEntry(found).Size, words[1]);
  } else if (what == "raw-listing") {
    EXPECT_EQ(ftp_->RawListing().ToVector(), Block(d));
  } else if (what == "data-lines") {
    EXPECT_EQ(data_lines_, Block(d));
  } else if (what == "entries") {
    EXPECT_EQ(entries_, Block(d));
  } else if (what == "cached") {
    // The file list of the current directory is in the cache.
    ASSERT_TRUE(cache_) << "no listing-cache line";
    EXPECT_EQ(std::filesystem::exists(cache_->CacheFileName(ftp_->Server(), ftp_->Username(),
                                                            ftp_->CurrentDirectory(),
                                                            CachedListKind::kFiles, ftp_->Port())),
              DecodeFlag(value));
  } else if (what == "last-sent") {
    ASSERT_FALSE(Commands().empty());
    EXPECT_EQ(Commands().back(), Text(value));
  } else if (what == "urgent") {
    const std::string urgent = Text(value);
    EXPECT_TRUE(server_->WaitUntil([&] { return server_->UrgentData() == urgent; }, 5s))
        << "urgent data: " << ::testing::PrintToString(server_->UrgentData());
  } else if (what == "input-ends") {
    // The last bytes the server received on the control connection.
    const std::string tail = Text(value);
    const std::string input = server_->RawInput();
    EXPECT_EQ(input.substr(input.size() - std::min(input.size(), tail.size())), tail);
  } else if (what == "received") {
    EXPECT_EQ(Received(), Block(d));
  } else if (what == "sent") {
    EXPECT_EQ(Commands(), Block(d));
  } else if (what == "verbs") {
    EXPECT_EQ(Verbs(Commands()), Block(d));
  } else if (what == "events") {
    EXPECT_EQ(Events(), Block(d));
  } else if (what == "event") {
    EXPECT_TRUE(Has(Events(), Text(value))) << ::testing::PrintToString(Events());
  } else if (what == "last-event") {
    ASSERT_FALSE(Events().empty());
    EXPECT_EQ(Events().back(), Text(value));
  } else if (what == "errors") {
    EXPECT_EQ(recorder_.CountPrefix("error"), std::stoul(value))
        << ::testing::PrintToString(Events());
  } else if (what == "count") {
    const Strings words = SplitWords(value);
    if (words.size() != 2) throw std::invalid_argument("count N \"event\"");
    EXPECT_EQ(recorder_.Count(words[1]), std::stoul(words[0]));
  } else if (what == "asked") {
    EXPECT_EQ(asked_, Block(d));
  } else if (what == "resume-questions") {
    EXPECT_EQ(resume_questions_, std::stoul(value));
  } else if (what == "file" || what == "upload") {
    std::string left;
    std::string right;
    if (!SplitArrow(value, left, right)) throw std::invalid_argument("expect file NAME => BYTES");
    const std::string actual = what == "file" ? TempDir::Read(dir_.path() / Text(left))
                                              : server_->ReceivedData(Text(left));
    EXPECT_TRUE(SameBytes(actual, DecodeBytes(right))) << left;
  } else {
    throw std::invalid_argument("unknown expectation " + what);
  }
}

TARSIL_CASE_RUNNER(EngineCaseTest, EngineCaseFiles, TARSIL_ENGINE_CASES)

// One suite per file.
TARSIL_CASE_SUITE(Login, EngineCaseTest, "login.case");
TARSIL_CASE_SUITE(Proxy, EngineCaseTest, "proxy.case");
TARSIL_CASE_SUITE(Directory, EngineCaseTest, "directory.case");
TARSIL_CASE_SUITE(Transfer, EngineCaseTest, "transfer.case");
TARSIL_CASE_SUITE(ResumeDownload, EngineCaseTest, "resume-download.case");
TARSIL_CASE_SUITE(ResumeUpload, EngineCaseTest, "resume-upload.case");
TARSIL_CASE_SUITE(Listing, EngineCaseTest, "listing.case");
TARSIL_CASE_SUITE(Recovery, EngineCaseTest, "recovery.case");
TARSIL_CASE_SUITE(Connection, EngineCaseTest, "connection.case");
TARSIL_CASE_SUITE(TransferFault, EngineCaseTest, "transfer-fault.case");

}  // namespace
}  // namespace tarsil::testing

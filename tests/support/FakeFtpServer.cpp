#include "support/FakeFtpServer.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "support/FakeFtpScript.h"
#include "support/FakeFtpSocket.h"
#include "support/FakeFtpWorker.h"

namespace tarsil::testing {

namespace {

void RequireLoopback(const std::string& dotted) {
  auto parsed = ParseDotted(dotted);
  if (!parsed || !IsLoopback(*parsed)) {
    throw std::invalid_argument("fake FTP server: not a loopback address: " + dotted);
  }
}

// With TARSIL_FAKE_TRANSCRIPTS naming a folder, every server writes the commands it received to
// "<suite>.<test>.<n>" there when it stops, so two builds' exchanges can be compared line by line.
// Data-connection addresses (PORT/EPRT) are blanked: they change from run to run.
void WriteTranscript(const std::vector<std::string>& commands) {
  const char* folder = std::getenv("TARSIL_FAKE_TRANSCRIPTS");
  if (folder == nullptr || *folder == '\0') return;
  static std::atomic<int> serial{0};
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = test ? std::string(test->test_suite_name()) + "." + test->name() : "none";
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  std::ofstream out(std::string(folder) + "/" + name + "." + std::to_string(serial++));
  for (const auto& line : commands) {
    bool address = line.rfind("PORT ", 0) == 0 || line.rfind("EPRT ", 0) == 0;
    out << (address ? line.substr(0, 5) + "*" : line) << "\n";
  }
}

}  // namespace

FakeFtpServer::FakeFtpServer(const std::string& address, uint16_t port)
    : state_(std::make_unique<FakeFtpState>()), address_(address) {
  RequireLoopback(address);
  auto parsed = ParseDotted(address);
  UniqueFd listener = ListenOn(*parsed, port, 8);
  if (!listener.valid()) {
    throw std::runtime_error("fake FTP server: cannot listen on " + address + ":" +
                             std::to_string(port));
  }
  port_ = LocalPort(listener.get());
  wake_.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!wake_.valid()) throw std::runtime_error("fake FTP server: eventfd failed");
  thread_ = std::thread(
      [state = state_.get(), listener = std::move(listener), wake = wake_.get(),
       host = *parsed]() mutable { FakeFtpWorker(*state, std::move(listener), wake, host).Run(); });
}

FakeFtpServer::~FakeFtpServer() {
  uint64_t one = 1;
  if (write(wake_.get(), &one, sizeof one) < 0) {
    // An eventfd write fails only when its counter is full, and then it is readable anyway.
  }
  thread_.join();
  WriteTranscript(Commands());
}

void FakeFtpServer::SetGreeting(FakeReply greeting) {
  std::lock_guard lock(state_->mutex);
  state_->script.greeting = std::move(greeting);
}

void FakeFtpServer::SetGreetings(std::vector<FakeReply> per_connection) {
  std::lock_guard lock(state_->mutex);
  state_->script.greetings = std::move(per_connection);
  state_->script.next_greeting = 0;
}

void FakeFtpServer::CloseAfterGreeting() {
  SetGreeting(FakeReply::Close("220 Fake FTP server ready\r\n"));
}

void FakeFtpServer::On(std::string pattern, FakeReply reply) {
  std::lock_guard lock(state_->mutex);
  state_->script.rules.push_back(FakeFtpScript::Rule{std::move(pattern), {std::move(reply)}, true});
}

void FakeFtpServer::OnSequence(std::string pattern, std::vector<FakeReply> replies) {
  std::lock_guard lock(state_->mutex);
  state_->script.rules.push_back(FakeFtpScript::Rule{std::move(pattern), std::move(replies)});
}

void FakeFtpServer::SetDefaultReply(FakeReply reply) {
  std::lock_guard lock(state_->mutex);
  state_->script.default_reply = std::move(reply);
}

void FakeFtpServer::ResetAtCommand(size_t number) {
  std::lock_guard lock(state_->mutex);
  state_->script.reset_at_command = number;
}

void FakeFtpServer::DelayReply(std::string pattern, std::chrono::milliseconds wait) {
  std::lock_guard lock(state_->mutex);
  state_->script.delays.emplace_back(std::move(pattern), wait);
}

void FakeFtpServer::SplitRepliesIntoBytes(bool on) {
  std::lock_guard lock(state_->mutex);
  state_->script.split = on;
}

void FakeFtpServer::EndlessLineOn(std::string pattern, uint64_t limit) {
  On(std::move(pattern), FakeReply::Endless("x", limit));
}

void FakeFtpServer::EndlessMultiLineOn(std::string pattern, uint64_t limit) {
  On(std::move(pattern), FakeReply::Endless("220-more\r\n", limit, "220-begin\r\n"));
}

void FakeFtpServer::OnTransfer(std::string pattern, FakeTransfer transfer) {
  std::lock_guard lock(state_->mutex);
  state_->script.transfers.emplace_back(std::move(pattern), std::move(transfer));
}

void FakeFtpServer::ServeData(std::string pattern, std::string bytes) {
  OnTransfer(std::move(pattern), FakeTransfer::Sending(std::move(bytes)));
}

void FakeFtpServer::EndlessData(std::string pattern, std::string unit) {
  OnTransfer(std::move(pattern), FakeTransfer::Sending(std::move(unit)).Endless());
}

void FakeFtpServer::AnnouncePasvHost(std::string dotted) {
  if (!ParseDotted(dotted))
    throw std::invalid_argument("fake FTP server: not an address: " + dotted);
  std::lock_guard lock(state_->mutex);
  state_->script.pasv_host = std::move(dotted);
}

void FakeFtpServer::ConnectBackFrom(std::string dotted) {
  RequireLoopback(dotted);
  std::lock_guard lock(state_->mutex);
  state_->script.connect_back_from = std::move(dotted);
}

void FakeFtpServer::StrayConnectionFirst(std::string dotted) {
  RequireLoopback(dotted);
  std::lock_guard lock(state_->mutex);
  state_->script.stray_from = std::move(dotted);
}

void FakeFtpServer::SetDataConnectLimit(std::chrono::milliseconds limit) {
  std::lock_guard lock(state_->mutex);
  state_->script.data_connect_limit = limit;
}

std::vector<std::string> FakeFtpServer::Commands() const {
  std::lock_guard lock(state_->mutex);
  std::vector<std::string> all;
  for (const auto& connection : state_->connections) {
    all.insert(all.end(), connection.commands.begin(), connection.commands.end());
  }
  return all;
}

std::vector<std::string> FakeFtpServer::CommandsOn(size_t connection) const {
  std::lock_guard lock(state_->mutex);
  if (connection >= state_->connections.size()) return {};
  return state_->connections[connection].commands;
}

std::string FakeFtpServer::RawInput() const {
  std::lock_guard lock(state_->mutex);
  std::string all;
  for (const auto& connection : state_->connections) all += connection.input;
  return all;
}

std::string FakeFtpServer::UrgentData() const {
  std::lock_guard lock(state_->mutex);
  std::string all;
  for (const auto& connection : state_->connections) all += connection.urgent;
  return all;
}

std::string FakeFtpServer::ReceivedData(const std::string& pattern) const {
  std::lock_guard lock(state_->mutex);
  for (auto it = state_->uploads.rbegin(); it != state_->uploads.rend(); ++it) {
    if (FakeFtpPatternMatches(pattern, it->command)) return it->bytes;
  }
  return {};
}

size_t FakeFtpServer::ConnectionsAccepted() const {
  std::lock_guard lock(state_->mutex);
  return state_->connections.size();
}

size_t FakeFtpServer::ConnectionsClosed() const {
  std::lock_guard lock(state_->mutex);
  size_t closed = 0;
  for (const auto& connection : state_->connections) closed += connection.closed ? 1 : 0;
  return closed;
}

size_t FakeFtpServer::DataConnections() const {
  std::lock_guard lock(state_->mutex);
  return state_->data_connections;
}

// The condition runs without the lock (it may call the getters); the generation counter makes
// sure no change between its run and the wait is missed.
bool FakeFtpServer::WaitUntil(const std::function<bool()>& condition,
                              std::chrono::milliseconds limit) const {
  auto deadline = FakeClock::now() + limit;
  for (;;) {
    uint64_t seen;
    {
      std::lock_guard lock(state_->mutex);
      seen = state_->generation;
    }
    if (condition()) return true;
    std::unique_lock lock(state_->mutex);
    if (!state_->changed.wait_until(lock, deadline, [&] { return state_->generation != seen; })) {
      lock.unlock();
      return condition();
    }
  }
}

bool FakeFtpServer::WaitForCommand(const std::string& pattern,
                                   std::chrono::milliseconds limit) const {
  return WaitUntil(
      [&] {
        for (const auto& command : Commands()) {
          if (FakeFtpPatternMatches(pattern, command)) return true;
        }
        return false;
      },
      limit);
}

bool FakeFtpServer::WaitForCommands(size_t count, std::chrono::milliseconds limit) const {
  return WaitUntil([&] { return Commands().size() >= count; }, limit);
}

bool FakeFtpServer::WaitForConnectionsClosed(size_t count, std::chrono::milliseconds limit) const {
  return WaitUntil([&] { return ConnectionsClosed() >= count; }, limit);
}

}  // namespace tarsil::testing

#include "support/FakeFtpWorker.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cerrno>
#include <charconv>

namespace tarsil::testing {
namespace {

constexpr size_t kReadChunk = 64 * 1024;
constexpr size_t kMaxLine = 64 * 1024;       // a longer command line ends the connection
constexpr size_t kPumpBudget = 1024 * 1024;  // bytes written per turn before polling again
constexpr size_t kEndlessChunk = 16 * 1024;
constexpr auto kByteGap = std::chrono::milliseconds(1);  // between the bytes of a split reply
constexpr auto kLingerLimit = std::chrono::seconds(2);

constexpr unsigned char kIac = 255;
constexpr unsigned char kFirstCommand = 240;
constexpr unsigned char kWill = 251;  // WILL, WONT, DO and DONT (251-254) carry an option byte

bool ParseNumber(std::string_view text, uint64_t& value) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

std::vector<std::string_view> SplitAt(std::string_view text, char separator) {
  std::vector<std::string_view> fields;
  for (size_t start = 0;;) {
    size_t end = text.find(separator, start);
    fields.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return fields;
    start = end + 1;
  }
}

// "PORT h1,h2,h3,h4,p1,p2" or "EPRT |1|a.b.c.d|port|".
std::optional<sockaddr_in> ParsePortArgument(const std::string& line) {
  size_t space = line.find(' ');
  if (space == std::string::npos) return std::nullopt;
  std::string_view argument = std::string_view(line).substr(space + 1);
  sockaddr_in target{};
  target.sin_family = AF_INET;
  uint64_t port = 0;
  if (line[0] == 'E' || line[0] == 'e') {
    if (argument.size() < 2) return std::nullopt;
    auto fields = SplitAt(argument.substr(1), argument[0]);
    if (fields.size() != 4 || fields[0] != "1" || !ParseNumber(fields[2], port))
      return std::nullopt;
    auto address = ParseDotted(std::string(fields[1]));
    if (!address) return std::nullopt;
    target.sin_addr = *address;
  } else {
    auto fields = SplitAt(argument, ',');
    uint64_t numbers[6];
    if (fields.size() != 6) return std::nullopt;
    for (size_t i = 0; i < 6; ++i) {
      if (!ParseNumber(fields[i], numbers[i]) || numbers[i] > 255) return std::nullopt;
    }
    target.sin_addr.s_addr = htonl(
        static_cast<uint32_t>(numbers[0] << 24 | numbers[1] << 16 | numbers[2] << 8 | numbers[3]));
    port = numbers[4] * 256 + numbers[5];
  }
  if (port == 0 || port > 65535) return std::nullopt;
  target.sin_port = htons(static_cast<uint16_t>(port));
  return target;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

}  // namespace

FakeFtpWorker::FakeFtpWorker(FakeFtpState& state, UniqueFd listener, int wake, in_addr address)
    : state_(state),
      listener_(std::move(listener)),
      wake_(wake),
      address_(address),
      data_(state, address) {}

void FakeFtpWorker::Run() {
  for (;;) {
    PollSet polls;
    std::optional<FakeClock::time_point> deadline = pump_deadline_;
    size_t wake_index = polls.Add(wake_, POLLIN);
    size_t listener_index = control_.valid() ? PollSet::kNone : polls.Add(listener_.get(), POLLIN);
    size_t control_index = PollSet::kNone;
    if (control_.valid()) {
      short events = POLLIN | POLLPRI | (want_write_ ? POLLOUT : 0);
      control_index = polls.Add(control_.get(), events);
    }
    for (Lingering& lingering : lingering_) {
      lingering.index = polls.Add(lingering.fd.get(), POLLIN);
      TakeEarlier(deadline, lingering.deadline);
    }
    data_.Register(polls, deadline);
    polls.Wait(deadline);
    if (polls.Revents(wake_index) != 0) return;

    FakeClock::time_point now = FakeClock::now();
    HandleLingering(polls, now);
    data_.Handle(polls, now);
    CollectFinalReply();
    if (polls.Revents(listener_index) & POLLIN) Accept();
    short revents = polls.Revents(control_index);
    if (control_.valid() && (revents & POLLPRI)) ReadUrgent();
    if (control_.valid() && (revents & (POLLIN | POLLHUP | POLLERR))) Read();
    if (control_.valid()) Pump(now);
  }
}

void FakeFtpWorker::HandleLingering(const PollSet& polls, FakeClock::time_point now) {
  std::erase_if(lingering_, [&](Lingering& lingering) {
    if (polls.Revents(lingering.index) != 0) {
      char scratch[512];
      ssize_t got = recv(lingering.fd.get(), scratch, sizeof scratch, MSG_DONTWAIT);
      if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) return true;
    }
    return now >= lingering.deadline;
  });
}

void FakeFtpWorker::Accept() {
  UniqueFd fd = AcceptNonBlocking(listener_.get());
  if (!fd.valid()) return;
  control_ = std::move(fd);
  FakeReply greeting;
  {
    std::lock_guard lock(state_.mutex);
    state_.connections.emplace_back();
    connection_ = state_.connections.size() - 1;
    greeting = state_.script.NextGreeting();
    split_ = state_.script.split;
    state_.Changed();
  }
  Queue(std::move(greeting));
}

void FakeFtpWorker::Read() {
  std::string buffer(kReadChunk, '\0');
  ssize_t got = recv(control_.get(), buffer.data(), buffer.size(), MSG_DONTWAIT);
  if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
  if (got <= 0) return EndControl(End::kPeerGone);
  {
    std::lock_guard lock(state_.mutex);
    state_.connections[connection_].input.append(buffer.data(), static_cast<size_t>(got));
    state_.Changed();
  }
  TakeBytes(buffer.data(), static_cast<size_t>(got));
}

void FakeFtpWorker::ReadUrgent() {
  char byte;
  if (recv(control_.get(), &byte, 1, MSG_OOB | MSG_DONTWAIT) != 1) return;
  std::lock_guard lock(state_.mutex);
  state_.connections[connection_].urgent.push_back(byte);
  state_.Changed();
}

// Telnet on the control connection: IAC IAC is a data byte 255; IAC with a command byte is left
// out (with its option byte for WILL/WONT/DO/DONT); a lone IAC before a plain byte (its DM sent
// as urgent data) is left out too. Lines end at LF; a CR right before it goes.
void FakeFtpWorker::TakeBytes(const char* bytes, size_t count) {
  for (size_t i = 0; i < count && control_.valid(); ++i) {
    auto byte = static_cast<unsigned char>(bytes[i]);
    if (telnet_ == Telnet::kOption) {
      telnet_ = Telnet::kData;
      continue;
    }
    if (telnet_ == Telnet::kCommand) {
      telnet_ = byte >= kWill && byte < kIac ? Telnet::kOption : Telnet::kData;
      if (byte == kIac) line_.push_back(static_cast<char>(byte));
      if (byte >= kFirstCommand) continue;
    } else if (byte == kIac) {
      telnet_ = Telnet::kCommand;
      continue;
    }
    if (byte == '\n') {
      if (!line_.empty() && line_.back() == '\r') line_.pop_back();
      HandleLine(std::exchange(line_, {}));
      continue;
    }
    line_.push_back(static_cast<char>(byte));
    if (line_.size() >= kMaxLine) {
      // Recorded, not answered: the reply is queued first, so the line finds the server ending.
      Queue(FakeReply::Close("500 Command line too long.\r\n"));
      HandleLine(std::exchange(line_, {}));
      return;
    }
  }
}

void FakeFtpWorker::HandleLine(const std::string& line) {
  FakeFtpDecision decision;
  {
    std::lock_guard lock(state_.mutex);
    state_.connections[connection_].commands.push_back(line);
    decision = state_.script.Decide(line, ++state_.commands_total);
    state_.Changed();
  }
  split_ = decision.split;
  if (!ending_) Answer(decision, line);
}

void FakeFtpWorker::Answer(const FakeFtpDecision& decision, const std::string& line) {
  using Action = FakeFtpDecision::Action;
  FakeReply reply = decision.reply;
  switch (decision.action) {
    case Action::kReply:
      break;
    case Action::kPassive:
      if (reply.bytes.find("{pasv}") != std::string::npos ||
          reply.bytes.find("{port}") != std::string::npos) {
        uint16_t port = data_.OpenPassive();
        in_addr host = address_;
        {
          std::lock_guard lock(state_.mutex);
          if (auto announced = ParseDotted(state_.script.pasv_host)) host = *announced;
        }
        uint32_t h = ntohl(host.s_addr);
        std::string fields = std::to_string(h >> 24) + "," + std::to_string((h >> 16) & 255) + "," +
                             std::to_string((h >> 8) & 255) + "," + std::to_string(h & 255) + "," +
                             std::to_string(port >> 8) + "," + std::to_string(port & 255);
        ReplaceAll(reply.bytes, "{pasv}", fields);
        ReplaceAll(reply.bytes, "{port}", std::to_string(port));
        if (port == 0) reply.bytes = "425 Can't open passive connection.\r\n";
      }
      break;
    case Action::kPort:
      if (!reply.bytes.empty() && reply.bytes[0] == '2') {
        auto target = ParsePortArgument(line);
        if (!target) {
          if (!decision.scripted) reply.bytes = "501 Syntax error in parameters or arguments.\r\n";
        } else if (!IsLoopback(target->sin_addr)) {  // the server never connects elsewhere
          if (!decision.scripted) reply.bytes = "500 Illegal PORT command.\r\n";
        } else {
          data_.SetActiveTarget(*target);
        }
      }
      break;
    case Action::kRest:
      if (reply.bytes.rfind("350", 0) == 0) {
        uint64_t offset = 0;
        size_t space = line.find(' ');
        if (space != std::string::npos && ParseNumber(line.substr(space + 1), offset)) {
          rest_offset_ = offset;
        }
      }
      break;
    case Action::kTransfer:
      if (data_.Busy()) {
        reply = FakeReply("425 Transfer already in progress.\r\n").Delayed(reply.delay);
      } else if (!data_.HasRoute(decision.upload)) {
        reply = FakeReply("425 Use PORT or PASV first.\r\n").Delayed(reply.delay);
      } else {
        Queue(reply);
        data_.Start(line, decision.transfer, decision.upload, std::exchange(rest_offset_, 0));
        CollectFinalReply();
        return;
      }
      break;
    case Action::kAbort: {
      bool busy = data_.Busy();
      data_.Abort();
      if (busy && !decision.scripted) {
        Queue(FakeReply("426 Connection closed; transfer aborted.\r\n").Delayed(reply.delay));
        reply.bytes = "226 ABOR command successful.\r\n";
      }
      break;
    }
  }
  Queue(std::move(reply));
}

void FakeFtpWorker::Queue(FakeReply reply) {
  if (!control_.valid() || ending_) return;
  if (reply.bytes.empty() && reply.endless_unit.empty() && reply.then == FakeReply::Then::kStay) {
    return;  // silence
  }
  Output output;
  output.buffer = std::move(reply.bytes);
  output.unit = std::move(reply.endless_unit);
  if (!output.unit.empty()) {
    output.endless_left = reply.endless_limit != 0 ? reply.endless_limit : UINT64_MAX;
  }
  output.in_bytes = reply.in_bytes || split_;
  output.due = FakeClock::now() + reply.delay;
  output.then = reply.then;
  ending_ = reply.then != FakeReply::Then::kStay;
  out_.push_back(std::move(output));
}

void FakeFtpWorker::CollectFinalReply() {
  if (auto reply = data_.TakeFinalReply()) Queue(std::move(*reply));
}

void FakeFtpWorker::Pump(FakeClock::time_point now) {
  pump_deadline_.reset();
  want_write_ = false;
  size_t budget = kPumpBudget;
  while (!out_.empty()) {
    Output& output = out_.front();
    if (now < output.due) {
      pump_deadline_ = output.due;
      return;
    }
    if (output.sent == output.buffer.size()) {
      if (output.endless_left > 0) {
        output.buffer.clear();
        output.sent = 0;
        do output.buffer += output.unit;
        while (output.buffer.size() < kEndlessChunk);
        if (output.buffer.size() > output.endless_left) output.buffer.resize(output.endless_left);
        if (output.endless_left != UINT64_MAX) output.endless_left -= output.buffer.size();
        continue;
      }
      FakeReply::Then then = output.then;
      out_.pop_front();
      if (then != FakeReply::Then::kStay)
        return EndControl(then == FakeReply::Then::kClose ? End::kClose : End::kReset);
      continue;
    }
    if (budget == 0) {  // let the other sockets have a turn; poll reports writable at once
      want_write_ = true;
      return;
    }
    size_t count = output.in_bytes ? 1 : std::min(output.buffer.size() - output.sent, budget);
    ssize_t sent = send(control_.get(), output.buffer.data() + output.sent, count,
                        MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        want_write_ = true;
        return;
      }
      return EndControl(End::kPeerGone);
    }
    output.sent += static_cast<size_t>(sent);
    budget -= std::min(budget, static_cast<size_t>(sent));
    if (output.in_bytes) output.due = now + kByteGap;
  }
}

void FakeFtpWorker::EndControl(End how) {
  if (how == End::kReset) {
    ResetAndClose(control_);
  } else if (how == End::kClose) {
    shutdown(control_.get(), SHUT_WR);
    lingering_.push_back(Lingering{std::move(control_), FakeClock::now() + kLingerLimit});
  }
  control_.Reset();
  data_.Clear();
  out_.clear();
  line_.clear();
  telnet_ = Telnet::kData;
  ending_ = false;
  want_write_ = false;
  rest_offset_ = 0;
  pump_deadline_.reset();
  std::lock_guard lock(state_.mutex);
  state_.connections[connection_].closed = true;
  state_.Changed();
}

}  // namespace tarsil::testing

// ControlConnection: sending command lines, reading the control connection and assembling its
// replies, and the bookkeeping of its connection.
#include "ftp/ControlConnection.h"

#include <array>

#include "ftp/FtpText.h"
#include "net/SocketErrors.h"
#include "platform/CodePage.h"

namespace tarsil {
namespace {

constexpr size_t kReadSize = 4096;
constexpr size_t kMaxCollectedLines = 1024;  // of one reply whose lines a step reads

constexpr const char* kTextLineTooLong = "Reply line longer than 8192 bytes";
constexpr const char* kTextReplyTooLong = "Multi-line reply longer than 1048576 bytes";

}  // namespace

ControlConnection::ControlConnection(EventLoop& loop, ControlOwner& owner)
    : owner_(owner), socket_(loop) {
  socket_.SetPort(21);
  socket_.OnReadable = [this](AsyncSocket&) { Readable(); };
  socket_.OnWritable = [this](AsyncSocket&) { Flush(); };
}

ControlConnection::~ControlConnection() {
  // The socket and its look-up go without raising anything.
  socket_.OnConnected = socket_.OnReadable = socket_.OnWritable = nullptr;
  socket_.OnClosed = socket_.OnTimeOut = socket_.OnSecured = socket_.OnLookupDone = nullptr;
  socket_.OnNextAddress = nullptr;
  socket_.OnNotice = nullptr;
}

// ---- Sending -------------------------------------------------------------------------------

void ControlConnection::SecureOnConnect(std::shared_ptr<TlsContext> context) {
  socket_.SecureOnConnect(std::move(context), TlsRole::kControl);
}

void ControlConnection::StartTls(std::shared_ptr<TlsContext> context) {
  socket_.StartTls(std::move(context), TlsRole::kControl);
}

bool ControlConnection::Send(std::string_view command, ReplyHandler handler) {
  if (HoldsLineBreakOrNul(command)) return false;
  std::string line(command);
  line += "\r\n";
  owner_.ControlInfo(ftpInfoCommand, line);
  pending_send_ += utf8_names_ ? Cp932ToUtf8(line) : line;
  pending_handler_ = handler;
  Flush();
  return true;
}

void ControlConnection::Flush() {
  if (pending_send_.empty()) return;
  const uint64_t serial = serial_;
  while (!pending_send_.empty()) {
    const size_t sent = socket_.SendBytes(pending_send_.data(), pending_send_.size());
    if (owner_.ControlSocketFailed() || serial != serial_) return;
    // Nothing taken: the socket is full (the writable notification continues) or gone.
    if (sent == 0) return;
    pending_send_.erase(0, sent);
  }
  handler_ = pending_handler_;
  pending_handler_ = {};
}

bool ControlConnection::SendSignal(std::string_view bytes, bool urgent) {
  size_t done = 0;
  while (done < bytes.size()) {
    const size_t sent = urgent ? socket_.SendUrgent(bytes.data() + done, bytes.size() - done)
                               : socket_.SendBytes(bytes.data() + done, bytes.size() - done);
    if (socket_.LastError() != 0 && socket_.LastError() != kWsaENotSock) return false;
    if (sent == 0) return true;  // the socket is full or gone: the rest is dropped
    done += sent;
  }
  return true;
}

// ---- Reading -------------------------------------------------------------------------------

void ControlConnection::Readable() {
  if (processing_) return;  // the reading in progress takes the new data
  const uint64_t serial = serial_;
  std::array<char, kReadSize> buffer;
  for (;;) {
    const size_t count = socket_.ReceiveBytes(buffer.data(), buffer.size());
    // NUL bytes are dropped one by one; the text after them is kept.
    const std::string chunk = WithoutNulBytes(std::string_view(buffer.data(), count));
    if (owner_.ControlSocketFailed()) return;
    owner_.ControlInfo(ftpInfoReply, utf8_names_ ? reply_decoder_.Take(chunk) : chunk);
    // Nothing more, or only NUL bytes: the next readable notification goes on.
    if (chunk.empty() || serial != serial_) return;
    lines_.Append(chunk);
    std::string line;
    for (;;) {
      const LineReader::Result result = lines_.NextLine(line);
      if (result == LineReader::Result::kNeedMore) break;
      if (result == LineReader::Result::kTooLong) {
        owner_.ControlFailed(ftpErrorConnectionAborted, kTextLineTooLong);
        return;
      }
      HandleLine(line);
      if (serial != serial_) return;
    }
  }
}

void ControlConnection::HandleLine(const std::string& received) {
  const std::string line = utf8_names_ ? Utf8ToCp932(received) : received;
  if (collect_lines_ && reply_lines_.size() < kMaxCollectedLines) reply_lines_.push_back(line);
  switch (replies_.Take(line)) {
    case ReplyAssembler::Result::kIgnored:
      return;
    case ReplyAssembler::Result::kTooLong:
      owner_.ControlFailed(ftpErrorConnectionAborted, kTextReplyTooLong);
      return;
    case ReplyAssembler::Result::kFinal:
      break;
  }
  last_reply_ = line;
  if (!handler_) return;
  // The handler stays registered until a step sends the next command or the request ends.
  const ReplyHandler handler = handler_;
  struct Processing {
    bool& flag;
    explicit Processing(bool& f) : flag(f) { flag = true; }
    ~Processing() { flag = false; }
  } processing(processing_);
  owner_.ControlReply(handler, line);
}

void ControlConnection::CollectReplyLines() {
  reply_lines_.clear();
  collect_lines_ = true;
}

std::vector<std::string> ControlConnection::TakeReplyLines() {
  collect_lines_ = false;
  return std::exchange(reply_lines_, {});
}

// ---- The connection ------------------------------------------------------------------------

void ControlConnection::ResetForAttempt() {
  utf8_names_ = false;
  collect_lines_ = false;
  reply_decoder_.Clear();
  replies_.Clear();
}

void ControlConnection::StartReading(ReplyHandler greeting) {
  processing_ = false;
  lines_.Clear();
  handler_ = greeting;
}

void ControlConnection::DropUnread() {
  lines_.Clear();
  replies_.Clear();
}

void ControlConnection::Ended() {
  ++serial_;
  pending_send_.clear();
  pending_handler_ = {};
  lines_.Clear();
}

void ControlConnection::CloseOwn() {
  const bool was_own = own_close_;
  own_close_ = true;
  socket_.CloseSocket();
  own_close_ = was_own;
}

void ControlConnection::SaveTarget() {
  saved_server_ = socket_.Server();
  saved_port_ = socket_.Port() == 0 ? 21 : socket_.Port();
  target_saved_ = true;
}

void ControlConnection::RestoreTarget() {
  if (!target_saved_) return;
  target_saved_ = false;
  socket_.SetServer(saved_server_);
  socket_.SetPort(saved_port_);
}

}  // namespace tarsil

#include "session/ExecutionLog.h"

#include <algorithm>

#include "ftp/FtpEngine.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"

namespace tarsil {
namespace {

constexpr std::string_view kLineBreak = "\r\n";
constexpr std::string_view kContinuation = "            ";  // twelve blanks, trimmed away again

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

std::string_view TrimmedBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string ConnectedText(std::string_view server, std::string_view address) {
  std::string text = "Connected to ";
  if (server.empty() && address.empty()) {
    text += "specified server";
  } else if (server.empty() || server == address) {
    text += address;
  } else if (address.empty()) {
    text += server;
  } else {
    text += std::string(server) + "(ip: " + std::string(address) + ")";
  }
  return text + ", waiting for welcome message\r\n";
}

}  // namespace

LogColor KindColor(LogStyle style, LogKind kind) {
  const bool classic = style == msgClassic;
  switch (kind) {
    case LogKind::kCommand:
      return classic ? LogColor{0, 128, 0} : LogColor{0, 0, 255};
    case LogKind::kError:
      return LogColor{255, 0, 0};
    case LogKind::kReply:
      return classic ? LogColor{0, 0, 0} : LogColor{0, 128, 0};
    case LogKind::kStatus:
      return classic ? LogColor{0, 0, 255} : LogColor{128, 0, 128};
    case LogKind::kPlain:
      break;
  }
  return LogColor{};
}

std::string_view KindLabel(LogKind kind) {
  switch (kind) {
    case LogKind::kCommand:
      return "COMMAND:>   ";
    case LogKind::kError:
      return "ERROR:>     ";
    case LogKind::kStatus:
      return "STATUS:>    ";
    case LogKind::kReply:
      return kContinuation;
    case LogKind::kPlain:
      break;
  }
  return "";
}

ExecutionLog::~ExecutionLog() { SetClient(nullptr); }

void ExecutionLog::SetClient(FtpEngine* engine) {
  if (engine == client_) return;
  if (client_ != nullptr) {
    client_->RemoveInfoListener(info_slot_);
    client_->RemoveErrorListener(error_slot_);
  }
  client_ = engine;
  info_slot_ = error_slot_ = -1;
  if (client_ == nullptr) return;
  info_slot_ =
      client_->AddInfoListener([this](FtpEngine& sender, FtpInfo info, const std::string& text) {
        HandleInfo(info, text, sender.Server());
      });
  error_slot_ = client_->AddErrorListener(
      [this](FtpEngine&, FtpError error, const std::string& text) { HandleError(error, text); });
}

void ExecutionLog::SetStyle(LogStyle style) {
  style_ = style;
  font_name_ = style == msgClassic ? "Courier New" : "MS Sans Serif";
}

void ExecutionLog::AddLine(std::string_view text, LogKind kind) {
  std::string_view trimmed = TrimmedBlanks(text);
  if (suppress_blank_ && trimmed.empty()) return;
  Push(LogLine{std::string(trimmed), kind, insertion_color_});
}

void ExecutionLog::AppendLine(std::string_view text) {
  Push(LogLine{std::string(text), LogKind::kPlain, insertion_color_});
}

void ExecutionLog::AppendLineUtf8(std::string_view utf8) {
  Push(LogLine{Utf8ToCp932(utf8), LogKind::kPlain, insertion_color_, std::string(utf8)});
}

std::string LineUtf8(const LogLine& line) {
  return line.utf8.empty() ? Cp932ToUtf8(line.text) : line.utf8;
}

void ExecutionLog::AddPiece(std::string_view text, LogKind kind) {
  // Added as one line whose line breaks make it several lines of the view.
  std::string_view trimmed = TrimmedBlanks(text);
  if (suppress_blank_ && trimmed.empty()) return;
  for (;;) {
    size_t end = trimmed.find(kLineBreak);
    Push(LogLine{std::string(trimmed.substr(0, end)), kind, insertion_color_});
    if (end == std::string_view::npos) break;
    trimmed.remove_prefix(end + kLineBreak.size());
  }
}

void ExecutionLog::ShowText(std::string_view text, LogKind kind) {
  if (TrimmedBlanks(text).empty()) return;
  insertion_color_ = KindColor(style_, kind);
  if (style_ != msgClassic) {
    std::string shown(text);
    if (style_ == msgMFtpTime && kind != LogKind::kReply) {
      std::string stamp = time_stamp ? time_stamp() : FormatShortDateLongTime(Now());
      shown = "[" + stamp + "] " + shown;
    }
    AddPiece(shown, kind);
    return;
  }
  size_t first_break = text.find(kLineBreak);
  if (first_break == std::string_view::npos) {
    AddLine(std::string(KindLabel(kind)) + std::string(text), kind);
    return;
  }
  AddLine(std::string(KindLabel(kind)) + std::string(text.substr(0, first_break)), kind);
  std::string_view rest = text.substr(first_break + kLineBreak.size());
  for (;;) {
    size_t end = rest.find(kLineBreak);
    std::string_view piece = rest.substr(0, end);
    AddLine(std::string(kContinuation) + std::string(piece), kind);
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + kLineBreak.size());
  }
}

void ExecutionLog::HandleInfo(FtpInfo info, std::string_view text, std::string_view server) {
  if (OnMessageShow) {
    bool show = true;
    OnMessageShow(info, show);
    if (!show) return;
  }
  switch (info) {
    case ftpInfoConnected:
      ShowText(ConnectedText(server, text), LogKind::kStatus);
      connected_line_ = true;
      return;
    case ftpInfoDisconnected:
      if (connected_line_) {
        ShowText("Disconnected\r\n", LogKind::kStatus);
        connected_line_ = false;
      }
      return;
    case ftpInfoReply:
      ShowText(text, LogKind::kReply);
      return;
    case ftpInfoCommand:
      ShowText(text, LogKind::kCommand);
      return;
    case ftpInfoDebug:  // the engine's notes on what it refused (a PASV host, a stray peer)
    case ftpInfoResumeSupported:
    case ftpInfoResumeNotSupported:
    case ftpInfoRetrying:
    case ftpInfoNothingToDo:
      ShowText(std::string(text) + "\r\n", LogKind::kStatus);
      return;
    case ftpInfoLoggedIn:
      ShowText("Login successful\r\n", LogKind::kStatus);
      return;
    default:
      return;
  }
}

void ExecutionLog::HandleError(FtpError error, std::string_view text) {
  if (OnErrorShow) {
    bool show = true;
    OnErrorShow(error, show);
    if (!show) return;
  }
  ShowText(std::string(text) + "\r\n", LogKind::kError);
}

void ExecutionLog::Push(LogLine line) {
  spool_.Append(line.text);
  if (utf8_spool_) spool_utf8_.Append(LineUtf8(line));
  if (tail_.size() == kTailLines) tail_.pop_front();
  tail_.push_back(std::move(line));
  // Listeners may add or remove listeners (or lines) while being told; iterate over a copy. The
  // line is copied too: a listener's own lines may push it out of the tail.
  auto listeners = listeners_;
  const LogLine added = tail_.back();
  for (const Listener& listener : listeners) {
    if (listener.on_line) listener.on_line(added);
  }
}

void ExecutionLog::Clear() {
  tail_.clear();
  spool_.Clear();
  spool_utf8_.Clear();
  auto listeners = listeners_;
  for (const Listener& listener : listeners) {
    if (listener.on_clear) listener.on_clear();
  }
}

std::vector<std::string> ExecutionLog::LineTexts() const {
  if (EarlierLines() > 0) return spool_.Lines();
  std::vector<std::string> texts;
  texts.reserve(tail_.size());
  for (const LogLine& line : tail_) texts.push_back(line.text);
  return texts;
}

void ExecutionLog::KeepUtf8Spool(bool on) {
  if (on == utf8_spool_) return;
  utf8_spool_ = on;
  spool_utf8_.Clear();
  if (!on) return;
  if (EarlierLines() == 0) {
    for (const LogLine& line : tail_) spool_utf8_.Append(LineUtf8(line));
    return;
  }
  std::string carry;
  spool_.ReadAll([this, &carry](std::string_view piece) {
    carry.append(piece);
    size_t start = 0;
    for (size_t end; (end = carry.find(kLineBreak, start)) != std::string::npos;) {
      spool_utf8_.Append(Cp932ToUtf8(std::string_view(carry).substr(start, end - start)));
      start = end + kLineBreak.size();
    }
    carry.erase(0, start);
    return true;
  });
}

int ExecutionLog::AddLineListener(LineListener listener) {
  listeners_.push_back(Listener{next_listener_, std::move(listener), nullptr});
  return next_listener_++;
}

int ExecutionLog::AddClearListener(ClearListener listener) {
  listeners_.push_back(Listener{next_listener_, nullptr, std::move(listener)});
  return next_listener_++;
}

void ExecutionLog::RemoveListener(int id) {
  std::erase_if(listeners_, [id](const Listener& l) { return l.id == id; });
}

}  // namespace tarsil

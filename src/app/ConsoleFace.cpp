#include "app/ConsoleFace.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>

#include "app/ProgressLine.h"
#include "platform/CodePage.h"

namespace tarsil {
namespace {

std::atomic<int> g_signal_fd{-1};

void WriteUtf8(std::FILE* file, std::string text) {
  text += '\n';
  std::fwrite(text.data(), 1, text.size(), file);
  std::fflush(file);
}

extern "C" void OnSignal(int signal_number) {
  int fd = g_signal_fd.load();
  if (fd >= 0) {
    const char byte = static_cast<char>(signal_number);
    [[maybe_unused]] ssize_t ignored = write(fd, &byte, 1);
  }
}

void WriteText(std::FILE* file, std::string_view cp932) { WriteUtf8(file, Cp932ToUtf8(cp932)); }

// The ANSI colour closest to a line's colour; empty for the default (black) text.
std::string_view AnsiColor(const LogColor& color) {
  if (color == LogColor{255, 0, 0}) return "\x1b[31m";
  if (color == LogColor{0, 128, 0}) return "\x1b[32m";
  if (color == LogColor{0, 0, 255}) return "\x1b[34m";
  if (color == LogColor{128, 0, 128}) return "\x1b[35m";
  return "";
}

}  // namespace

ConsoleFace::ConsoleFace(EventLoop& loop, MainController& form, std::FILE* out, std::FILE* err,
                         int input_fd, bool input_is_terminal)
    : loop_(loop),
      form_(form),
      out_(out),
      err_(err),
      input_fd_(input_fd),
      input_is_terminal_(input_is_terminal || isatty(input_fd) == 1),
      colored_(isatty(fileno(out)) == 1),
      progress_line_(colored_) {
  if (progress_line_) {
    struct winsize size {};
    if (ioctl(fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) columns_ = size.ws_col;
  }
  log_listener_ = form_.Logmemo().AddLineListener([this](const LogLine& line) {
    EraseProgress();
    if (line.kind == LogKind::kCommand) {
      if (std::optional<std::string> name = TransferNameOfCommand(line.text)) {
        transfer_name_ = Cp932ToUtf8(*name);
      }
    }
    std::string_view color = colored_ ? AnsiColor(line.color) : std::string_view();
    if (color.empty()) {
      WriteUtf8(out_, LineUtf8(line));
    } else {
      WriteUtf8(out_, std::string(color) + LineUtf8(line) + "\x1b[0m");
    }
  });
}

ConsoleFace::~ConsoleFace() {
  EraseProgress();
  form_.Logmemo().RemoveListener(log_listener_);
  if (signal_read_.valid()) {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    g_signal_fd.store(-1);
    signal_watch_.Reset();
  }
}

void ConsoleFace::CatchSignals() {
  if (signal_read_.valid()) return;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  signal_read_.Reset(fds[0]);
  signal_write_.Reset(fds[1]);
  g_signal_fd.store(signal_write_.get());
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal_watch_ = FdWatch(loop_, signal_read_.get(), kFdReadable, [this](unsigned) {
    char buffer[16];
    int signal_number = 0;
    ssize_t got = 0;
    while ((got = read(signal_read_.get(), buffer, sizeof buffer)) > 0) {
      if (signal_number == 0) signal_number = static_cast<unsigned char>(buffer[0]);
    }
    OnCloseSignal(signal_number);
  });
}

void ConsoleFace::OnCloseSignal(int signal_number) {
  close_signalled_ = true;
  if (close_signal_ == 0) close_signal_ = signal_number;
  form_.RequestClose();
}

void ConsoleFace::ProgressChanged() {
  if (!progress_line_) return;
  // Redrawn a few times a second at most: a fast transfer reports many blocks a second.
  const auto now = std::chrono::steady_clock::now();
  if (progress_shown_ && now - progress_drawn_ < std::chrono::milliseconds(200)) return;
  progress_drawn_ = now;
  const std::string text = "\r" +
                           FormatProgressLine(transfer_name_, form_.Window().TransferBytes(),
                                              form_.Window().TransferSpend() * 86400.0, columns_) +
                           "\x1b[K";
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fflush(out_);
  progress_shown_ = true;
}

void ConsoleFace::EraseProgress() {
  if (!progress_shown_) return;
  std::fputs("\r\x1b[K", out_);
  std::fflush(out_);
  progress_shown_ = false;
}

Answer ConsoleFace::ShowMessageBox(std::string_view text, std::string_view caption, Buttons buttons,
                                   MessageIcon) {
  EraseProgress();
  WriteText(err_, std::string(caption) + ": " + std::string(text));
  switch (buttons) {
    case Buttons::kOk:
      WaitForEnter();
      return Answer::kOk;
    case Buttons::kYesNo:
      // Only the close confirmations ask this; a close signal is the user's Yes.
      return Answer::kYes;
    case Buttons::kYesNoCancel:
      // The save prompt: nobody is there to choose a name, so nothing is written unasked.
      return Answer::kNo;
  }
  return Answer::kOk;
}

void ConsoleFace::WaitForEnter() {
  if (!input_is_terminal_ || close_signalled_) return;
  WriteText(err_, "(press Enter to continue)");
  bool entered = false;
  FdWatch input(loop_, input_fd_, kFdReadable, [this, &entered](unsigned) {
    char buffer[256];
    ssize_t got = read(input_fd_, buffer, sizeof buffer);
    if (got <= 0 && !(got < 0 && errno == EAGAIN)) entered = true;  // end of input or an error
    for (ssize_t i = 0; i < got; ++i) {
      if (buffer[i] == '\n') entered = true;
    }
  });
  const auto far_future = std::chrono::steady_clock::now() + std::chrono::hours(24 * 365);
  loop_.WaitUntil([&] { return entered || close_signalled_; }, far_future);
}

bool ConsoleFace::ChooseSaveName(std::string&) { return false; }

}  // namespace tarsil

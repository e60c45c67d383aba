#include "support/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace tarsil::testing {

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& env) {
  int out_pipe[2];
  int err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  pid_ = fork();
  if (pid_ == 0) {
    int null_fd = open("/dev/null", O_RDONLY);
    dup2(null_fd, 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  out_fd_ = out_pipe[0];
  err_fd_ = err_pipe[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && result_.exit_code == -1) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (out_fd_ >= 0) close(out_fd_);
  if (err_fd_ >= 0) close(err_fd_);
}

void ChildProcess::ReadAvailable(int timeout_ms) {
  pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
  if (poll(fds, 2, timeout_ms) <= 0) return;
  char buffer[4096];
  for (int i = 0; i < 2; ++i) {
    if ((fds[i].revents & (POLLIN | POLLHUP)) == 0) continue;
    ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
    if (got > 0) (i == 0 ? result_.out : result_.err).append(buffer, static_cast<size_t>(got));
    if (got == 0) {
      close(fds[i].fd);
      (i == 0 ? out_fd_ : err_fd_) = -1;
    }
  }
}

bool ChildProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (result_.out.find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() >= deadline || out_fd_ < 0) return false;
    ReadAvailable(100);
  }
  return true;
}

void ChildProcess::Signal(int signal_number) { kill(pid_, signal_number); }

ProcessResult ChildProcess::Finish(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while ((out_fd_ >= 0 || err_fd_ >= 0) && std::chrono::steady_clock::now() < deadline) {
    if (out_fd_ < 0) {
      pollfd fd = {err_fd_, POLLIN, 0};
      if (poll(&fd, 1, 100) > 0) {
        char buffer[4096];
        ssize_t got = read(err_fd_, buffer, sizeof buffer);
        if (got > 0) result_.err.append(buffer, static_cast<size_t>(got));
        if (got <= 0) {
          close(err_fd_);
          err_fd_ = -1;
        }
      }
      continue;
    }
    ReadAvailable(100);
  }
  int status = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      result_.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return result_;
    }
    poll(nullptr, 0, 20);
  }
  return result_;  // exit_code stays -1; the destructor kills it
}

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env,
                         std::chrono::milliseconds limit) {
  ChildProcess child(argv, env);
  return child.Finish(limit);
}

}  // namespace tarsil::testing

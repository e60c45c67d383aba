// Starts the real tarsil binary (or any program) for end-to-end tests, with its own environment,
// and collects its standard output and error. Every wait is bounded.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace tarsil::testing {

struct ProcessResult {
  int exit_code = -1;  // -1 when it did not exit in time (it is killed then)
  std::string out;
  std::string err;
};

class ChildProcess {
 public:
  // Starts `argv` with the current environment plus `env`, standard input from /dev/null.
  ChildProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Reads output until `text` has appeared on standard output or the time is up.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds limit);
  void Signal(int signal_number);
  // Reads everything and waits for the exit; kills the process when the time is up.
  ProcessResult Finish(std::chrono::milliseconds limit);

 private:
  void ReadAvailable(int timeout_ms);

  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  ProcessResult result_;
};

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env,
                         std::chrono::milliseconds limit = std::chrono::seconds(60));

}  // namespace tarsil::testing

#include "BenchSupport.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>

namespace tarsil::bench {

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

Measure RunProcess(const std::vector<std::string>& argv, const fs::path& directory) {
  std::fflush(stdout);  // or the child would print it again
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) Fail("fork failed");
  if (pid == 0) {
    if (chdir(directory.c_str()) != 0) _exit(126);
    if (std::freopen("/dev/null", "w", stdout) == nullptr) _exit(126);
    if (std::freopen("/dev/null", "r", stdin) == nullptr) _exit(126);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) Fail("wait4 failed");
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    Fail(argv[0] + " failed (status " + std::to_string(status) + ")");
  }
  return Measure{elapsed.count(), usage.ru_maxrss};
}

void WritePseudoRandomFile(const fs::path& path, int64_t bytes, uint64_t seed) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::mt19937_64 random(seed);
  std::vector<uint64_t> block(1 << 16);
  for (int64_t left = bytes; left > 0;) {
    for (uint64_t& word : block) word = random();
    const int64_t size = std::min<int64_t>(left, static_cast<int64_t>(block.size() * 8));
    out.write(reinterpret_cast<const char*>(block.data()), size);
    left -= size;
  }
  if (!out.flush()) Fail("cannot write " + path.string());
}

std::string SmallName(int number) {
  std::string name = "f";
  name += std::to_string(number);
  name += ".dat";
  return name;
}

bool SameFiles(const fs::path& a, const fs::path& b) {
  std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
  std::vector<char> bx(1 << 20), by(1 << 20);
  while (x && y) {
    x.read(bx.data(), static_cast<std::streamsize>(bx.size()));
    y.read(by.data(), static_cast<std::streamsize>(by.size()));
    if (x.gcount() != y.gcount() || std::memcmp(bx.data(), by.data(), x.gcount()) != 0) {
      return false;
    }
  }
  return !x && !y;
}

void Check(bool same, const std::string& what) {
  if (!same) Fail(what + ": the copy differs from the original");
}

namespace {

std::string LftpSettings(bool passive) {
  return std::string("set cmd:fail-exit yes; set xfer:clobber yes; set net:max-retries 1; ") +
         "set ftp:passive-mode " + (passive ? "on" : "off") + "; ";
}

}  // namespace

std::vector<std::string> Lftp(const Config& config, bool passive, const std::string& commands) {
  return {"lftp",
          "-u",
          config.user + "," + config.password,
          "-e",
          LftpSettings(passive) + commands + "; bye",
          config.host};
}

long ResidentKib() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

}  // namespace tarsil::bench

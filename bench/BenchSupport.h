// What the transfer benchmark's cases share: the configuration, child processes with their time
// and peak memory, test files, comparisons and the lftp command line. Bench only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tarsil::bench {

namespace fs = std::filesystem;

struct Config {
  std::string host = "127.0.0.21";
  std::string user = "tarsil";
  std::string password = "tarsil-pass";
  fs::path root;
  fs::path tarsil;
  fs::path work = "/tmp/tarsil-bench";
  int64_t mib = 1024;
  int files = 1000;
  int runs = 5;
  std::vector<int> many = {10000, 100000};  // small-file counts of the memory cases
  int cycles = 100000;                      // of the goto loop
  std::string cases = "download,devnull,upload,mget,many,memory,loop";
  bool others = true;  // curl and lftp too
};

struct Measure {
  double seconds = 0;
  long peak_kib = 0;  // of a child process
};

[[noreturn]] void Fail(const std::string& what);
double Median(std::vector<double> values);
// Runs a program to its end with its output discarded; its time and peak resident size.
Measure RunProcess(const std::vector<std::string>& argv, const fs::path& directory);
void WritePseudoRandomFile(const fs::path& path, int64_t bytes, uint64_t seed);
std::string SmallName(int number);  // f<number>.dat
bool SameFiles(const fs::path& a, const fs::path& b);
void Check(bool same, const std::string& what);  // fails when not the same
std::vector<std::string> Lftp(const Config& config, bool passive, const std::string& commands);
inline bool Wanted(const Config& config, const std::string& name) {
  return config.cases.find(name) != std::string::npos;
}
// The resident size of this process now, in KiB.
long ResidentKib();

}  // namespace tarsil::bench

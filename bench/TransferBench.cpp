// Transfer speed over loopback against a real FTP server: a large file down and up, passive and
// active, and many small files by mask, with Tarsil and with curl and lftp in the same rounds.
// Tarsil's operations are timed through the session of a headless main-window controller (the
// listeners of the window are attached as in the program), from Open to Bye, so the pacing
// between script lines is not in the numbers; curl and lftp are timed as whole processes. The
// peak memory of the program itself comes from an unattended run of the tarsil binary.
//
// bench_transfer --host 127.0.0.21 --user U --password P --root SERVER_ROOT --tarsil BINARY
//                [--mib 1024] [--files 1000] [--runs 5] [--work DIR]
// The server root must be writable by the one running the benchmark (the files are made there)
// and hold a folder "upload" the FTP user may write to.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/Tarsilfm.h"
#include "platform/PollEventLoop.h"
#include "platform/SettingsStore.h"

namespace fs = std::filesystem;
using tarsil::TLowFTP;

namespace {

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
  std::string cases = "download,upload,mget";
  bool others = true;  // curl and lftp too
};

struct Measure {
  double seconds = 0;
  long peak_kib = 0;  // of a child process
};

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Runs a program to its end with its output discarded; its time and peak resident size.
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

// Tarsil through the controller's session, timed from Open to Bye.
class TarsilClient {
 public:
  explicit TarsilClient(const Config& config)
      : config_(config), store_((config.work / "settings.reg").string()), form_(loop_, store_) {}

  double Run(bool passive, const std::function<int(TLowFTP&)>& operation) {
    const double cpu_before = CpuSeconds();
    TLowFTP& ftp = form_.FTP();
    ftp.Passive = passive;
    ftp.WaitTimeOut = 60000;
    const auto start = std::chrono::steady_clock::now();
    Expect(ftp.Connect(config_.host, "", 0), "Open");
    Expect(ftp.Login(config_.user, config_.password), "Login");
    Expect(ftp.SetBinary(), "Binary");
    Expect(operation(ftp), "the transfer");
    Expect(ftp.Disconnect(), "Bye");
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    form_.Logmemo().Clear();
    cpu_seconds_.push_back(CpuSeconds() - cpu_before);
    return elapsed.count();
  }

  // The processor time of the runs since the last call (median), and forgets them.
  double TakeCpuSeconds() {
    const double median = Median(cpu_seconds_);
    cpu_seconds_.clear();
    return median;
  }

 private:
  static void Expect(int code, const char* what) {
    if (code > 400) Fail(std::string("Tarsil: ") + what + " failed with " + std::to_string(code));
  }

  static double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
  }

  const Config& config_;
  std::vector<double> cpu_seconds_;
  tarsil::PollEventLoop loop_;
  tarsil::SettingsStore store_;
  tarsil::TTarsilfm form_;
};

std::string LftpSettings(bool passive) {
  return std::string("set cmd:fail-exit yes; set xfer:clobber yes; set net:max-retries 1; ") +
         "set ftp:passive-mode " + (passive ? "on" : "off") + "; ";
}

std::vector<std::string> Lftp(const Config& config, bool passive, const std::string& commands) {
  return {"lftp",
          "-u",
          config.user + "," + config.password,
          "-e",
          LftpSettings(passive) + commands + "; bye",
          config.host};
}

std::vector<std::string> Curl(const Config& config, bool passive, std::vector<std::string> args) {
  std::vector<std::string> argv = {"curl", "-sS", "--fail", "--user",
                                   config.user + ":" + config.password};
  if (!passive) argv.insert(argv.end(), {"--ftp-port", "127.0.0.1"});
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

struct Row {
  std::string name;
  std::map<std::string, std::vector<double>> seconds;  // by client
  double units = 0;                                    // MiB or files per run
  const char* unit = "MiB/s";
  double tarsil_cpu = 0;  // seconds of processor time per run (median)
};

void PrintRow(const Row& row) {
  const double tarsil = row.units / Median(row.seconds.at("tarsil"));
  std::printf("%-18s tarsil %7.1f %-7s (cpu %3.0f%%)", row.name.c_str(), tarsil, row.unit,
              100 * row.tarsil_cpu / Median(row.seconds.at("tarsil")));
  for (const char* other : {"curl", "lftp"}) {
    auto found = row.seconds.find(other);
    if (found == row.seconds.end()) continue;
    const double rate = row.units / Median(found->second);
    std::printf("  %s %7.1f (tarsil %.2fx)", other, rate, tarsil / rate);
  }
  std::printf("\n");
  std::fflush(stdout);
}

Row BigDownload(const Config& config, TarsilClient& tarsil, bool passive) {
  Row row{std::string("download ") + (passive ? "passive" : "active"), {}, double(config.mib)};
  const fs::path target = config.work / "down.bin";
  const std::string url = "ftp://" + config.host + "/big.bin";
  for (int run = 0; run < config.runs; ++run) {
    fs::remove(target);
    row.seconds["tarsil"].push_back(tarsil.Run(
        passive, [&](TLowFTP& ftp) { return ftp.Download("big.bin", target.string()); }));
    if (run == 0) Check(SameFiles(target, config.root / "big.bin"), "Tarsil's download");
    if (!config.others) continue;
    fs::remove(target);
    row.seconds["curl"].push_back(
        RunProcess(Curl(config, passive, {"-o", target.string(), url}), config.work).seconds);
    fs::remove(target);
    row.seconds["lftp"].push_back(
        RunProcess(Lftp(config, passive, "get big.bin -o " + target.string()), config.work)
            .seconds);
  }
  fs::remove(target);
  row.tarsil_cpu = tarsil.TakeCpuSeconds();
  return row;
}

Row BigUpload(const Config& config, TarsilClient& tarsil, bool passive) {
  Row row{std::string("upload ") + (passive ? "passive" : "active"), {}, double(config.mib)};
  const fs::path source = config.root / "big.bin";
  const fs::path stored = config.root / "upload" / "up.bin";
  const std::string url = "ftp://" + config.host + "/upload/up.bin";
  for (int run = 0; run < config.runs; ++run) {
    fs::remove(stored);
    row.seconds["tarsil"].push_back(tarsil.Run(
        passive, [&](TLowFTP& ftp) { return ftp.Upload(source.string(), "upload/up.bin"); }));
    if (run == 0) Check(SameFiles(stored, source), "Tarsil's upload");
    if (!config.others) continue;
    fs::remove(stored);
    row.seconds["curl"].push_back(
        RunProcess(Curl(config, passive, {"-T", source.string(), url}), config.work).seconds);
    fs::remove(stored);
    row.seconds["lftp"].push_back(
        RunProcess(Lftp(config, passive, "put " + source.string() + " -o upload/up.bin"),
                   config.work)
            .seconds);
  }
  fs::remove(stored);
  row.tarsil_cpu = tarsil.TakeCpuSeconds();
  return row;
}

Row SmallFiles(const Config& config, TarsilClient& tarsil, bool passive) {
  Row row{
      std::string("mget ") + (passive ? "passive" : "active"), {}, double(config.files), "files/s"};
  const fs::path folder = config.work / "mget";
  for (int run = 0; run < config.runs; ++run) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::current_path(folder);  // Mget writes into the current folder
    row.seconds["tarsil"].push_back(tarsil.Run(passive, [](TLowFTP& ftp) {
      const int code = ftp.Cwd("small");
      return code > 400 ? code : ftp.Mget("*.dat");
    }));
    fs::current_path(config.work);
    if (run == 0) {
      for (int i = 0; i < config.files; ++i) {
        const std::string name = SmallName(i);
        Check(SameFiles(folder / name, config.root / "small" / name), "Tarsil's mget");
      }
    }
    if (!config.others) continue;
    fs::remove_all(folder);
    fs::create_directories(folder);
    row.seconds["lftp"].push_back(
        RunProcess(Lftp(config, passive, "cd small; mget *.dat"), folder).seconds);
    if (run == 0 && std::distance(fs::directory_iterator(folder), {}) != config.files) {
      Fail("lftp's mget did not fetch every file");
    }
  }
  fs::remove_all(folder);
  row.tarsil_cpu = tarsil.TakeCpuSeconds();
  return row;
}

// One unattended run of the program over the same work; its peak resident size.
long ProgramPeak(const Config& config) {
  const fs::path script = config.work / "peak.fcs";
  const fs::path inbox = config.work / "peak";
  fs::remove_all(inbox);
  fs::create_directories(inbox);
  std::ofstream(script, std::ios::binary)
      << "Open " << config.host << "\r\nLogin " << config.user << " " << config.password
      << "\r\nBinary\r\nlcd " << inbox.string() << "\r\nGet big.bin\r\nPut big.bin upload/up.bin"
      << "\r\nCd small\r\nMget *.dat\r\nBye\r\n";
  setenv("TARSIL_HOME", config.work.c_str(), 1);  // settings of its own, not the user's
  setenv("TARSIL_HEADLESS", "1", 1);
  const Measure measure =
      RunProcess({config.tarsil.string(), "/auto" + script.string()}, config.work);
  Check(SameFiles(inbox / "big.bin", config.root / "big.bin"), "the program's download");
  fs::remove_all(inbox);
  fs::remove(config.root / "upload" / "up.bin");
  return measure.peak_kib;
}

bool Wanted(const Config& config, const std::string& name) {
  return config.cases.find(name) != std::string::npos;
}

Config ParseArguments(int argc, char** argv) {
  Config config;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i], value = argv[i + 1];
    if (key == "--host")
      config.host = value;
    else if (key == "--user")
      config.user = value;
    else if (key == "--password")
      config.password = value;
    else if (key == "--root")
      config.root = value;
    else if (key == "--tarsil")
      config.tarsil = value;
    else if (key == "--work")
      config.work = value;
    else if (key == "--mib")
      config.mib = std::stoll(value);
    else if (key == "--files")
      config.files = std::stoi(value);
    else if (key == "--runs")
      config.runs = std::stoi(value);
    else if (key == "--cases")
      config.cases = value;
    else if (key == "--others")
      config.others = value != "no";
    else
      Fail("unknown option " + key);
  }
  if (config.root.empty() || config.tarsil.empty()) Fail("--root and --tarsil are needed");
  config.tarsil = fs::absolute(config.tarsil);
  return config;
}

// The files of an earlier run of the same sizes are used again.
void PrepareFiles(const Config& config) {
  fs::create_directories(config.work);
  std::error_code error;
  if (fs::file_size(config.root / "big.bin", error) != uint64_t(config.mib) << 20) {
    WritePseudoRandomFile(config.root / "big.bin", config.mib << 20, 1);
  }
  fs::remove_all(config.root / "small");
  fs::create_directories(config.root / "small");
  for (int i = 0; i < config.files; ++i) {
    WritePseudoRandomFile(config.root / "small" / SmallName(i), 4096, 100 + i);
  }
  fs::permissions(config.root / "small", fs::perms::owner_all | fs::perms::group_read |
                                             fs::perms::group_exec | fs::perms::others_read |
                                             fs::perms::others_exec);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Config config = ParseArguments(argc, argv);
    PrepareFiles(config);
    fs::current_path(config.work);
    TarsilClient tarsil(config);
    std::printf("%lld MiB file, %d files of 4 KiB, median of %d runs, server %s\n",
                static_cast<long long>(config.mib), config.files, config.runs, config.host.c_str());
    for (bool passive : {true, false}) {
      if (Wanted(config, "download")) PrintRow(BigDownload(config, tarsil, passive));
      if (Wanted(config, "upload")) PrintRow(BigUpload(config, tarsil, passive));
      if (Wanted(config, "mget")) PrintRow(SmallFiles(config, tarsil, passive));
    }
    std::printf("peak resident size of tarsil /auto (get, put, mget): %.1f MiB\n",
                ProgramPeak(config) / 1024.0);
    return 0;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "bench_transfer: %s\n", failure.what());
    return 1;
  }
}

// Transfer speed over loopback against a real FTP server: a large file down (to a file and to
// /dev/null) and up, passive and active, and many small files by mask, with Tarsil and with curl
// and lftp in the same rounds. Tarsil's operations are timed through the session of a headless
// main-window controller (the listeners of the window are attached as in the program), from Open
// to Bye, so the pacing between script lines is not in the numbers; curl and lftp are timed as
// whole processes. The peak memory of the program itself comes from unattended runs of the tarsil
// binary (MemoryCases.cpp).
//
// bench_transfer --host ADDRESS --user U --password P --root SERVER_ROOT --tarsil BINARY
//                [--mib 1024] [--files 1000] [--many 10000,100000] [--cycles 100000]
//                [--runs 5] [--work DIR] [--cases download,devnull,upload,mget,many,memory,loop]
// The server root must be writable by the one running the benchmark (the files are made there)
// and hold a folder "upload" the FTP user may write to.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "MemoryCases.h"
#include "app/MainController.h"
#include "platform/PollEventLoop.h"
#include "platform/SettingsStore.h"

using tarsil::FtpSession;
using namespace tarsil::bench;

namespace {

// Tarsil through the controller's session, timed from Open to Bye.
class TarsilClient {
 public:
  explicit TarsilClient(const Config& config)
      : config_(config), store_((config.work / "settings.reg").string()), form_(loop_, store_) {}

  double Run(bool passive, const std::function<int(FtpSession&)>& operation) {
    const double cpu_before = CpuSeconds();
    FtpSession& ftp = form_.FTP();
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
  tarsil::MainController form_;
};

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

// To a file, or to /dev/null (written in place, never removed).
Row BigDownload(const Config& config, TarsilClient& tarsil, bool passive, bool to_file) {
  Row row{std::string(to_file ? "download " : "down /dev/null ") + (passive ? "passive" : "active"),
          {},
          double(config.mib)};
  const fs::path target = to_file ? config.work / "down.bin" : fs::path("/dev/null");
  const std::string url = "ftp://" + config.host + "/big.bin";
  const auto clear = [&] {
    if (to_file) fs::remove(target);
  };
  for (int run = 0; run < config.runs; ++run) {
    clear();
    row.seconds["tarsil"].push_back(tarsil.Run(
        passive, [&](FtpSession& ftp) { return ftp.Download("big.bin", target.string()); }));
    if (run == 0 && to_file) Check(SameFiles(target, config.root / "big.bin"), "Tarsil's download");
    if (!config.others) continue;
    clear();
    row.seconds["curl"].push_back(
        RunProcess(Curl(config, passive, {"-o", target.string(), url}), config.work).seconds);
    clear();
    row.seconds["lftp"].push_back(
        RunProcess(Lftp(config, passive, "get big.bin -o " + target.string()), config.work)
            .seconds);
  }
  clear();
  row.tarsil_cpu = tarsil.TakeCpuSeconds();
  return row;
}

Row BigUpload(const Config& config, TarsilClient& tarsil, bool passive) {
  Row row{std::string("upload ") + (passive ? "passive" : "active"), {}, double(config.mib)};
  const fs::path source = config.root / "big.bin";
  const fs::path stored = config.root / "upload" / "up.bin";
  const std::string url = "ftp://" + config.host + "/upload/up.bin";
  const std::function<void()> clients[] = {
      [&] {
        fs::remove(stored);
        row.seconds["tarsil"].push_back(tarsil.Run(passive, [&](FtpSession& ftp) {
          return ftp.Upload(source.string(), "upload/up.bin");
        }));
        if (row.seconds["tarsil"].size() == 1) Check(SameFiles(stored, source), "Tarsil's upload");
      },
      [&] {
        fs::remove(stored);
        row.seconds["curl"].push_back(
            RunProcess(Curl(config, passive, {"-T", source.string(), url}), config.work).seconds);
      },
      [&] {
        fs::remove(stored);
        row.seconds["lftp"].push_back(
            RunProcess(Lftp(config, passive, "put " + source.string() + " -o upload/up.bin"),
                       config.work)
                .seconds);
      }};
  // Each round starts with the next client, so none always runs right after the same one (the
  // server's file system still writes back the previous upload while the next one runs).
  for (int run = 0; run < config.runs; ++run) {
    const int count = config.others ? 3 : 1;
    for (int turn = 0; turn < count; ++turn) clients[(run + turn) % count]();
  }
  fs::remove(stored);
  row.tarsil_cpu = tarsil.TakeCpuSeconds();
  return row;
}

// `files` files of the remote folder `remote` by mask.
Row SmallFiles(const Config& config, TarsilClient& tarsil, bool passive, const std::string& remote,
               int files) {
  Row row{"mget " + std::to_string(files) + (passive ? " passive" : " active"),
          {},
          double(files),
          "files/s"};
  const fs::path folder = config.work / "mget";
  for (int run = 0; run < config.runs; ++run) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::current_path(folder);  // Mget writes into the current folder
    row.seconds["tarsil"].push_back(tarsil.Run(passive, [&](FtpSession& ftp) {
      const int code = ftp.Cwd(remote);
      return code > 400 ? code : ftp.Mget("*.dat");
    }));
    fs::current_path(config.work);
    if (run == 0) {
      for (int i = 0; i < files; ++i) {
        const std::string name = SmallName(i);
        Check(SameFiles(folder / name, config.root / remote / name), "Tarsil's mget");
      }
    }
    if (!config.others) continue;
    fs::remove_all(folder);
    fs::create_directories(folder);
    row.seconds["lftp"].push_back(
        RunProcess(Lftp(config, passive, "cd " + remote + "; mget *.dat"), folder).seconds);
    if (run == 0 && std::distance(fs::directory_iterator(folder), {}) != files) {
      Fail("lftp's mget did not fetch every file");
    }
  }
  fs::remove_all(folder);
  row.tarsil_cpu = tarsil.TakeCpuSeconds();
  return row;
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
    else if (key == "--cycles")
      config.cycles = std::stoi(value);
    else if (key == "--many") {
      config.many.clear();
      for (size_t at = 0; at < value.size();) {
        const size_t comma = std::min(value.find(',', at), value.size());
        config.many.push_back(std::stoi(value.substr(at, comma - at)));
        at = comma + 1;
      }
    } else
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
  if (Wanted(config, "many") || Wanted(config, "memory")) {
    for (const int count : config.many) PrepareManyFiles(config, count);
  }
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
      if (Wanted(config, "download")) PrintRow(BigDownload(config, tarsil, passive, true));
      if (Wanted(config, "devnull")) PrintRow(BigDownload(config, tarsil, passive, false));
      if (Wanted(config, "upload")) PrintRow(BigUpload(config, tarsil, passive));
      if (Wanted(config, "mget"))
        PrintRow(SmallFiles(config, tarsil, passive, "small", config.files));
    }
    if (Wanted(config, "many") && !config.many.empty()) {
      const int count = config.many.front();
      PrintRow(SmallFiles(config, tarsil, true, ManyFolder(count), count));
    }
    if (Wanted(config, "memory")) {
      std::printf("peak resident size of tarsil /auto (get, put, mget): %.1f MiB\n",
                  ProgramPeak(config) / 1024.0);
      for (const int count : config.many) {
        std::printf("peak resident size of tarsil /auto, mget of %d files: %.1f MiB\n", count,
                    ManyFilesPeak(config, count) / 1024.0);
      }
    }
    if (Wanted(config, "loop")) GotoLoopCurve(config);
    return 0;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "bench_transfer: %s\n", failure.what());
    return 1;
  }
}

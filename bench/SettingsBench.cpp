// The settings store at scale: a settings file with many stored values (100,000 by default), and
// what a run costs with it: start-up (the main-window controller is made and shown with a script,
// which loads the options and the recall list), expanding a line with a %name%, one `set`, a
// lookup after another process changed the file, and a whole unattended run of the binary.
//
// bench_settings [--values 100000] [--runs 5] [--tarsil BINARY] [--work DIR]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/MainController.h"
#include "platform/PollEventLoop.h"
#include "platform/SettingsStore.h"
#include "script/ExpandLine.h"
#include "script/StoredValues.h"

namespace fs = std::filesystem;

namespace {

struct Config {
  int values = 100000;
  int runs = 5;
  std::string tarsil;
  fs::path work;
};

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Processor time (user and system) of this process, or of its waited-for children, in ms.
double CpuMilliseconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

struct Timing {
  double wall = 0;
  double cpu = 0;
};

// The medians of `runs` timings of `body`; `prepare` runs untimed before each. The processor
// time is the steadier number on a busy machine.
Timing Median(int runs, const std::function<void()>& prepare, const std::function<void()>& body,
              int who = RUSAGE_SELF) {
  std::vector<double> walls;
  std::vector<double> cpus;
  for (int i = 0; i < runs; ++i) {
    prepare();
    const double cpu = CpuMilliseconds(who);
    const auto start = Clock::now();
    body();
    walls.push_back(Milliseconds(Clock::now() - start));
    cpus.push_back(CpuMilliseconds(who) - cpu);
  }
  std::sort(walls.begin(), walls.end());
  std::sort(cpus.begin(), cpus.end());
  return {walls[walls.size() / 2], cpus[cpus.size() / 2]};
}

void Print(const char* what, Timing timing) {
  std::printf("%-44s %9.2f ms wall %9.2f ms cpu\n", what, timing.wall, timing.cpu);
}

// A settings file as a program that has run before leaves it: `count` stored values, the options
// and the recall list, with the script already at its top.
void WriteSettings(const fs::path& file, int count, const fs::path& script) {
  std::string text = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsil]\r\n";
  for (int i = 0; i < count; ++i) {
    text += "\"value" + std::to_string(i) + "\"=\"some stored text number " + std::to_string(i) +
            "\"\r\n";
  }
  text +=
      "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsil\\Options]\r\n\"Timeout\"=dword:0000000a\r\n\r\n";
  text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarsil\\Recalls]\r\n";
  for (int i = 0; i < 10; ++i) {
    std::string entry = i == 0 ? script.string() : "";
    text += "\"History" + std::to_string(i) + "\"=\"" + entry + "\"\r\n";
  }
  text += "\r\n";
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
  // Written by an earlier run, not a moment ago.
  fs::last_write_time(file, fs::last_write_time(file) - std::chrono::minutes(5));
}

void RunBinary(const Config& config, const fs::path& home, const fs::path& script) {
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    setenv("TARSIL_HOME", home.c_str(), 1);
    setenv("TARSIL_HEADLESS", "1", 1);
    if (freopen("/dev/null", "w", stdout) == nullptr) _exit(126);
    const std::string argument = "/auto" + script.string();
    execl(config.tarsil.c_str(), config.tarsil.c_str(), argument.c_str(), nullptr);
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("tarsil failed");
}

void Run(const Config& config) {
  const fs::path home = config.work / "home";
  const fs::path file = home / "settings.reg";
  const fs::path script = config.work / "one.fcs";
  std::ofstream(script, std::ios::binary) << "set x=%value" << config.values / 2 << "%\r\n";
  const std::string middle = "value" + std::to_string(config.values / 2);

  auto fresh = [&] {
    fs::remove_all(home);
    WriteSettings(file, config.values, script);
  };
  fresh();
  std::printf("settings file: %d values, %.1f MiB\n", config.values,
              static_cast<double>(fs::file_size(file)) / (1 << 20));

  Print("start-up, first expanded line, close", Median(config.runs, fresh, [&] {
          tarsil::PollEventLoop loop;
          tarsil::SettingsStore store(file.string());
          tarsil::MainController form(loop, store);
          if (!form.FormShow(script.string())) throw std::runtime_error("no options");
          tarsil::StoredValues values(store);
          tarsil::ExpandLine("Open %" + middle + "%",
                             [&](std::string_view n) { return values.Lookup(n); });
        }));

  tarsil::SettingsStore store(file.string());
  tarsil::StoredValues values(store);
  values.Lookup(middle);
  const auto nothing = [] {};
  Print("one %name% lookup, file unchanged",
        Median(config.runs, nothing, [&] { values.Lookup(middle); }));
  int n = 0;
  Print("one set", Median(config.runs, nothing, [&] { values.Set("x", std::to_string(n++)); }));
  Print("one lookup right after it", Median(config.runs, nothing, [&] { values.Lookup(middle); }));
  tarsil::SettingsStore other(file.string());
  const auto other_sets = [&] {
    other.WriteString("\\SOFTWARE\\Tarsil", "y", std::to_string(n++));
  };
  Print("one lookup after another process's set",
        Median(config.runs, other_sets, [&] { values.Lookup("y"); }));

  if (!config.tarsil.empty()) {
    const fs::path empty_home = config.work / "empty";
    fs::create_directories(empty_home);
    Print(
        "tarsil /auto, one line, empty settings",
        Median(
            config.runs, nothing, [&] { RunBinary(config, empty_home, script); }, RUSAGE_CHILDREN));
    Print("tarsil /auto, one line, the big settings",
          Median(
              config.runs, fresh, [&] { RunBinary(config, home, script); }, RUSAGE_CHILDREN));
    std::printf("(the wall time of a run holds the fixed 500 ms pause after its line)\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  Config config;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const std::string value = argv[i + 1];
    if (name == "--values") {
      config.values = std::stoi(value);
    } else if (name == "--runs") {
      config.runs = std::stoi(value);
    } else if (name == "--tarsil") {
      config.tarsil = value;
    } else if (name == "--work") {
      config.work = value;
    } else {
      std::fprintf(stderr, "unknown option %s\n", name.c_str());
      return 2;
    }
  }
  bool made = false;
  if (config.work.empty()) {
    std::string pattern = (fs::temp_directory_path() / "tarsil-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return 1;
    config.work = pattern;
    made = true;
  }
  try {
    Run(config);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "bench_settings: %s\n", failure.what());
    return 1;
  }
  if (made) fs::remove_all(config.work);
  return 0;
}

#include "MemoryCases.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/PollEventLoop.h"
#include "platform/SettingsStore.h"
#include "script/ScriptHost.h"
#include "script/ScriptRunner.h"
#include "script/StoredValues.h"
#include "session/ExecutionLog.h"
#include "session/FtpSession.h"

namespace tarsil::bench {
namespace {

constexpr int64_t kManyFileBytes = 64;

// One unattended run of `lines` (after Open and Login); its peak resident size.
long UnattendedPeak(const Config& config, const std::string& name, const std::string& lines,
                    const fs::path& inbox) {
  const fs::path script = config.work / (name + ".fcs");
  fs::remove_all(inbox);
  fs::create_directories(inbox);
  std::ofstream(script, std::ios::binary)
      << "Open " << config.host << "\r\nLogin " << config.user << " " << config.password
      << "\r\nBinary\r\nlcd " << inbox.string() << "\r\n"
      << lines << "Bye\r\n";
  setenv("TARSIL_HOME", config.work.c_str(), 1);  // settings of its own, not the user's
  setenv("TARSIL_HEADLESS", "1", 1);
  return RunProcess({config.tarsil.string(), "/auto" + script.string()}, config.work).peak_kib;
}

// The executor's host for the loop: the log, no pause between lines, a count of the cycles.
class LoopHost : public ScriptHost {
 public:
  LoopHost(EventLoop& loop, ExecutionLog& log, int cycles)
      : loop_(loop), log_(log), cycles_(cycles) {}

  void Attach(ScriptRunner& runner) { runner_ = &runner; }

  void WriteLog(std::string_view line) override {
    log_.AppendLine(line);
    if (line != "Cd /") return;
    ++done_;
    if (done_ == 1000 || done_ % (cycles_ / 10) == 0) {
      std::printf("  goto loop: %7d cycles, resident %6.1f MiB, log %llu lines\n", done_,
                  ResidentKib() / 1024.0, static_cast<unsigned long long>(log_.LineCount()));
      std::fflush(stdout);
    }
    if (done_ >= cycles_) runner_->ClearRunning();
  }
  void BeginRun() override {}
  void EndRun() override {}
  void WaitWithMessages(uint32_t) override { loop_.ProcessMessages(); }
  void ProcessMessages() override { loop_.ProcessMessages(); }
  void ShowMessage(std::string_view, std::string_view, MessageIcon) override {}
  int TimeoutSeconds() override { return 60; }
  bool PassiveOption() override { return true; }
  void ServerOpened(std::string_view) override {}
  std::string ScriptFileName() override { return "loop.fcs"; }

 private:
  EventLoop& loop_;
  ExecutionLog& log_;
  ScriptRunner* runner_ = nullptr;
  int cycles_;
  int done_ = 0;
};

}  // namespace

std::string ManyFolder(int count) { return "many" + std::to_string(count); }

void PrepareManyFiles(const Config& config, int count) {
  const fs::path folder = config.root / ManyFolder(count);
  std::error_code error;
  if (fs::exists(folder / SmallName(count - 1), error) && !fs::exists(folder / SmallName(count))) {
    return;
  }
  fs::remove_all(folder);
  fs::create_directories(folder);
  for (int i = 0; i < count; ++i) {
    WritePseudoRandomFile(folder / SmallName(i), kManyFileBytes, 1000 + i);
  }
  fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
}

long ProgramPeak(const Config& config) {
  const fs::path inbox = config.work / "peak";
  const long peak = UnattendedPeak(
      config, "peak", "Get big.bin\r\nPut big.bin upload/up.bin\r\nCd small\r\nMget *.dat\r\n",
      inbox);
  Check(SameFiles(inbox / "big.bin", config.root / "big.bin"), "the program's download");
  fs::remove_all(inbox);
  fs::remove(config.root / "upload" / "up.bin");
  return peak;
}

long ManyFilesPeak(const Config& config, int count) {
  const fs::path inbox = config.work / "many";
  const long peak =
      UnattendedPeak(config, "many", "Cd " + ManyFolder(count) + "\r\nMget *.dat\r\n", inbox);
  const std::string last = SmallName(count - 1);
  Check(SameFiles(inbox / last, config.root / ManyFolder(count) / last), "the program's mget");
  fs::remove_all(inbox);
  return peak;
}

void GotoLoopCurve(const Config& config) {
  PollEventLoop loop;
  SettingsStore store((config.work / "settings.reg").string());
  StoredValues values(store);
  ExecutionLog log;
  FtpSession ftp(loop);
  ftp.Log = &log;
  ftp.Passive = true;
  ftp.WaitTimeOut = 60000;
  LoopHost host(loop, log, config.cycles);
  ScriptRunner runner(host, ftp, values);
  host.Attach(runner);
  std::printf("goto loop of %d cycles (Cd / each), resident size at the start %.1f MiB\n",
              config.cycles, ResidentKib() / 1024.0);
  runner.Run({"Open " + config.host, "Login " + config.user + " " + config.password, ":top", "Cd /",
              "goto top"});
  ftp.Disconnect();
  ftp.Log = nullptr;
  log.SetClient(nullptr);
}

}  // namespace tarsil::bench

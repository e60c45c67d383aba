// A script host for executor tests: records the log, the waits and the message boxes instead of
// showing them, so scripts run at once and every effect can be asserted.
#pragma once

#include <string>
#include <vector>

#include "script/ScriptHost.h"

namespace tarsil::testing {

class FakeHost : public ScriptHost {
 public:
  struct Message {
    std::string text;
    std::string caption;
    MessageIcon icon;
  };

  void WriteLog(std::string_view line) override { log.emplace_back(line); }
  void BeginRun() override { ++begin_runs; }
  void EndRun() override { ++end_runs; }
  void WaitWithMessages(uint32_t milliseconds) override {
    waits.push_back(milliseconds);
    if (on_wait) on_wait();
  }
  void ProcessMessages() override {}
  void ShowMessage(std::string_view text, std::string_view caption, MessageIcon icon) override {
    messages.push_back(Message{std::string(text), std::string(caption), icon});
  }
  int TimeoutSeconds() override { return timeout_seconds; }
  bool PassiveOption() override { return passive; }
  void ServerOpened(std::string_view server) override { opened_server = std::string(server); }
  std::string ScriptFileName() override { return file_name; }

  std::vector<std::string> log;
  std::vector<uint32_t> waits;
  std::vector<Message> messages;
  std::function<void()> on_wait;
  int begin_runs = 0;
  int end_runs = 0;
  int timeout_seconds = 10;
  bool passive = false;
  std::string opened_server;
  std::string file_name = "test.fcs";
};

}  // namespace tarsil::testing

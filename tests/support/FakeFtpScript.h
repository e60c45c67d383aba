// What the fake FTP server has been told to do, what it has recorded, and how it answers one
// command line. FakeFtpState holds both under one mutex shared by the test thread and the server
// thread; FakeFtpScript itself is plain data with no locking.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/FakeFtpReply.h"

namespace tarsil::testing {

// The server's answer to one command: a reply and, for some verbs, a built-in side effect.
struct FakeFtpDecision {
  enum class Action { kReply, kPassive, kPort, kRest, kTransfer, kAbort };
  Action action = Action::kReply;
  FakeReply reply;        // for kTransfer: the preliminary reply
  bool scripted = false;  // a rule gave the reply (built-in replies are then left out)
  bool split = false;     // every reply of the server goes out byte by byte
  bool upload = false;    // kTransfer: the server receives
  FakeTransfer transfer;  // kTransfer: what the data connection does
};

struct FakeFtpScript {
  struct Rule {
    std::string pattern;
    std::vector<FakeReply> replies;
    bool repeat = false;  // On: the one reply every time; OnSequence: each reply once
    size_t next = 0;
  };

  FakeFtpDecision Decide(const std::string& line, size_t number);
  FakeReply NextGreeting();

  std::optional<FakeReply> greeting;  // for every connection
  std::vector<FakeReply> greetings;   // for the next connections in turn (before `greeting`)
  size_t next_greeting = 0;
  std::vector<Rule> rules;
  std::vector<std::pair<std::string, std::chrono::milliseconds>> delays;
  std::vector<std::pair<std::string, FakeTransfer>> transfers;
  FakeReply default_reply = "502 Command not implemented.\r\n";
  size_t reset_at_command = 0;  // 0: none
  bool split = false;
  std::string pasv_host;          // empty: the server's own address
  std::string connect_back_from;  // empty: the server's own address
  std::string stray_from;         // empty: no stray connection before an active one
  std::chrono::milliseconds data_connect_limit{10000};
};

struct FakeFtpConnectionRecord {
  std::vector<std::string> commands;
  std::string input;
  std::string urgent;
  bool closed = false;
};

struct FakeFtpUpload {
  std::string command;
  std::string bytes;
};

struct FakeFtpState {
  // Wakes the waiters; the caller holds `mutex`.
  void Changed() {
    ++generation;
    changed.notify_all();
  }

  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  uint64_t generation = 0;
  FakeFtpScript script;
  std::vector<FakeFtpConnectionRecord> connections;
  std::vector<FakeFtpUpload> uploads;
  size_t commands_total = 0;
  size_t data_connections = 0;
};

}  // namespace tarsil::testing

#include "support/FakeFtpScript.h"

#include <cctype>

#include "support/FakeFtpServer.h"

namespace tarsil::testing {
namespace {

std::string VerbOf(const std::string& line) {
  std::string verb = line.substr(0, line.find(' '));
  for (char& c : verb) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return verb;
}

bool IsTransferVerb(const std::string& verb) {
  return verb == "LIST" || verb == "NLST" || verb == "MLSD" || verb == "RETR" || verb == "STOR" ||
         verb == "STOU" || verb == "APPE";
}

bool IsUploadVerb(const std::string& verb) {
  return verb == "STOR" || verb == "STOU" || verb == "APPE";
}

// What the server says to a command no rule answers, as the usual servers word it.
FakeReply BuiltInReply(const std::string& verb, const FakeReply& fallback) {
  if (verb == "USER") return "331 Please specify the password.\r\n";
  if (verb == "PASS") return "230 Login successful.\r\n";
  if (verb == "SYST") return "215 UNIX Type: L8\r\n";
  if (verb == "TYPE") return "200 Type set.\r\n";
  if (verb == "PWD") return "257 \"/\"\r\n";
  if (verb == "REST") return "350 Restart position accepted.\r\n";
  if (verb == "CWD") return "250 Directory successfully changed.\r\n";
  if (verb == "NOOP") return "200 NOOP ok.\r\n";
  if (verb == "QUIT") return FakeReply::Close("221 Goodbye.\r\n");
  if (verb == "PASV") return "227 Entering Passive Mode ({pasv}).\r\n";
  if (verb == "EPSV") return "229 Entering Extended Passive Mode (|||{port}|).\r\n";
  if (verb == "PORT" || verb == "EPRT") return "200 PORT command successful.\r\n";
  if (verb == "ABOR") return "225 No transfer to ABOR.\r\n";
  if (verb == "RETR") return "550 Failed to open file.\r\n";
  return fallback;
}

}  // namespace

bool FakeFtpPatternMatches(const std::string& pattern, const std::string& line) {
  bool prefix_only = !pattern.empty() && pattern.back() == '*';
  size_t length = prefix_only ? pattern.size() - 1 : pattern.size();
  if (line.size() < length) return false;
  if (!prefix_only && line.size() > length && line[length] != ' ') return false;
  size_t verb_end = line.find(' ');
  for (size_t i = 0; i < length; ++i) {
    char a = pattern[i];
    char b = line[i];
    if (i < verb_end) {
      a = static_cast<char>(std::toupper(static_cast<unsigned char>(a)));
      b = static_cast<char>(std::toupper(static_cast<unsigned char>(b)));
    }
    if (a != b) return false;
  }
  return true;
}

FakeFtpDecision FakeFtpScript::Decide(const std::string& line, size_t number) {
  FakeFtpDecision decision;
  decision.split = split;
  if (reset_at_command != 0 && number == reset_at_command) {
    reset_at_command = 0;
    decision.reply = FakeReply::Reset();
    decision.scripted = true;
    return decision;
  }
  const std::string verb = VerbOf(line);
  for (Rule& rule : rules) {
    if (!FakeFtpPatternMatches(rule.pattern, line)) continue;
    if (rule.repeat && !rule.replies.empty()) {
      decision.reply = rule.replies.front();
    } else if (rule.next < rule.replies.size()) {
      decision.reply = rule.replies[rule.next++];
    } else {
      continue;  // a used-up sequence lets the next rule answer
    }
    decision.scripted = true;
    break;
  }
  if (verb == "PASV" || verb == "EPSV") {
    decision.action = FakeFtpDecision::Action::kPassive;
  } else if (verb == "PORT" || verb == "EPRT") {
    decision.action = FakeFtpDecision::Action::kPort;
  } else if (verb == "REST") {
    decision.action = FakeFtpDecision::Action::kRest;
  } else if (verb == "ABOR") {
    decision.action = FakeFtpDecision::Action::kAbort;
  } else if (IsTransferVerb(verb) && !decision.scripted) {
    decision.upload = IsUploadVerb(verb);
    bool found = false;
    for (const auto& [pattern, transfer] : transfers) {
      if (FakeFtpPatternMatches(pattern, line)) {
        decision.transfer = transfer;
        found = true;
        break;
      }
    }
    if (found || verb != "RETR") {  // an unscripted RETR has no file to send
      decision.action = FakeFtpDecision::Action::kTransfer;
      decision.reply = decision.transfer.preliminary;
    }
  }
  if (!decision.scripted && decision.action != FakeFtpDecision::Action::kTransfer) {
    decision.reply = BuiltInReply(verb, default_reply);
  }
  for (const auto& [pattern, wait] : delays) {
    if (FakeFtpPatternMatches(pattern, line)) {
      decision.reply.delay += wait;
      break;
    }
  }
  return decision;
}

FakeReply FakeFtpScript::NextGreeting() {
  FakeReply reply = "220 Fake FTP server ready\r\n";
  if (next_greeting < greetings.size()) {
    reply = greetings[next_greeting++];
  } else if (greeting) {
    reply = *greeting;
  }
  if (split) reply.in_bytes = true;
  return reply;
}

}  // namespace tarsil::testing

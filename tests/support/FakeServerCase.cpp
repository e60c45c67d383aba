#include "support/FakeServerCase.h"

#include <chrono>
#include <stdexcept>

namespace tarsil::testing {

FakeReply ParseFakeReply(const std::string& value) {
  std::string rest = value;
  bool raw = false;
  bool in_bytes = false;
  bool close = false;
  std::chrono::milliseconds delay{0};
  while (rest.size() > 1 && rest[0] == '[') {
    const size_t end = rest.find(']');
    if (end == std::string::npos) throw std::invalid_argument("unclosed [ in " + value);
    const std::string flag = rest.substr(1, end - 1);
    rest = rest.substr(end + 1);
    rest.erase(0, rest.find_first_not_of(' ') == std::string::npos ? rest.size()
                                                                   : rest.find_first_not_of(' '));
    if (flag.rfind("after ", 0) == 0 && flag.size() > 8 && flag.substr(flag.size() - 2) == "ms") {
      delay = std::chrono::milliseconds(std::stoi(flag.substr(6)));
    } else if (flag == "raw" || flag == "silence") {
      raw = true;
    } else if (flag == "bytes") {
      in_bytes = true;
    } else if (flag == "close") {
      close = true;
    } else if (flag == "reset") {
      return FakeReply::Reset();
    } else {
      throw std::invalid_argument("unknown reply flag [" + flag + "]");
    }
  }
  std::string bytes = DecodeText(rest);
  if (!raw && !bytes.empty()) bytes += "\r\n";
  FakeReply reply = close ? FakeReply::Close(bytes) : FakeReply(bytes);
  if (delay.count() > 0) reply = reply.Delayed(delay);
  if (in_bytes) reply = reply.InBytes();
  return reply;
}

FakeTransfer ParseFakeTransfer(const std::vector<std::string>& lines) {
  FakeTransfer transfer;
  for (const std::string& line : lines) {
    const std::vector<std::string> words = SplitWords(line);
    const std::string key = words.empty() ? "" : words[0];
    const std::string value = line.size() > key.size() ? line.substr(key.size() + 1) : "";
    if (key == "data") {
      transfer.data = DecodeBytes(value);
    } else if (key == "preliminary") {
      transfer.preliminary = ParseFakeReply(value);
    } else if (key == "complete") {
      transfer.complete = ParseFakeReply(value);
    } else if (key == "failed") {
      transfer.failed = ParseFakeReply(value);
    } else if (key == "endless") {
      transfer.endless = true;
    } else if (key == "pace" && words.size() == 3 && words[2].size() > 2 &&
               words[2].substr(words[2].size() - 2) == "ms") {
      transfer =
          transfer.Paced(std::stoull(words[1]), std::chrono::milliseconds(std::stoi(words[2])));
    } else if (key == "stall") {
      transfer.stall = true;
    } else if (key == "cut" && (words.size() == 2 || (words.size() == 3 && words[2] == "reset"))) {
      transfer.cut_after = std::stoull(words[1]);
      transfer.cut_with_reset = words.size() == 3;
    } else {
      throw std::invalid_argument("unknown transfer line: " + line);
    }
  }
  return transfer;
}

bool ApplyServerDirective(FakeFtpServer& server, const CaseDirective& d,
                          const std::map<std::string, std::string>& values) {
  const auto text = [&](const std::string& value) { return Substitute(DecodeText(value), values); };
  std::string left;
  std::string right;
  if (d.keyword == "greeting") {
    server.SetGreeting(ParseFakeReply(d.rest));
  } else if (d.keyword == "no-greeting") {
    server.NoGreeting();
  } else if (d.keyword == "close-after-greeting") {
    server.CloseAfterGreeting();
  } else if (d.keyword == "split-replies") {
    server.SplitRepliesIntoBytes(true);
  } else if (d.keyword == "on" && SplitArrow(d.rest, left, right)) {
    server.On(text(left), ParseFakeReply(Substitute(right, values)));
  } else if (d.keyword == "sequence") {
    std::vector<FakeReply> replies;
    for (const std::string& line : d.block) replies.push_back(ParseFakeReply(line));
    server.OnSequence(text(d.rest), replies);
  } else if (d.keyword == "default-reply") {
    server.SetDefaultReply(ParseFakeReply(d.rest));
  } else if (d.keyword == "endless-line") {
    server.EndlessLineOn(text(d.rest));
  } else if (d.keyword == "endless-multiline") {
    server.EndlessMultiLineOn(text(d.rest));
  } else if (d.keyword == "serve" && SplitArrow(d.rest, left, right)) {
    server.ServeData(text(left), DecodeBytes(right));
  } else if (d.keyword == "delay" && SplitArrow(d.rest, left, right)) {
    // delay PATTERN => 600ms: on top of whatever reply the command gets
    if (right.size() < 3 || right.substr(right.size() - 2) != "ms") {
      throw std::invalid_argument("delay PATTERN => Nms");
    }
    server.DelayReply(text(left), std::chrono::milliseconds(std::stoi(right)));
  } else if (d.keyword == "endless-data") {
    // endless-data PATTERN, or endless-data PATTERN => BYTES (the unit sent over and over)
    if (SplitArrow(d.rest, left, right)) {
      server.EndlessData(text(left), DecodeBytes(right));
    } else {
      server.EndlessData(text(d.rest));
    }
  } else if (d.keyword == "announce-pasv-host") {
    server.AnnouncePasvHost(text(d.rest));
  } else if (d.keyword == "transfer") {
    server.OnTransfer(text(d.rest), ParseFakeTransfer(d.block));
  } else {
    return false;
  }
  return true;
}

}  // namespace tarsil::testing

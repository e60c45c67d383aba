// FtpEngine: the step after the login that settles which text the server's names are in. With AUTO
// it sends FEAT and, when the reply lists UTF8, OPTS UTF8 ON; from then every command is sent in
// UTF-8 and every reply and listing line is read back into CP932. With UTF-8 the conversion is on
// at once; with CP932 nothing is sent and nothing changes.
#include "ftp/FtpEngine.h"

namespace tarsil {

struct FtpCharsetSteps {
  static void FeatReply(FtpEngine& ftp, const std::string& reply);
  static void OptsReply(FtpEngine& ftp, const std::string& reply);
  static void GoOn(FtpEngine& ftp);
};

namespace {

constexpr ReplyHandler kFeatReply{"Feat", &FtpCharsetSteps::FeatReply};
constexpr ReplyHandler kOptsReply{"OptsUtf8", &FtpCharsetSteps::OptsReply};

}  // namespace

bool FtpEngine::CharsetStep(void (*next)(FtpEngine& ftp)) {
  switch (server_charset_) {
    case ServerCharset::kCp932:
      return false;
    case ServerCharset::kUtf8:
      utf8_names_ = true;
      return false;
    case ServerCharset::kAuto:
      break;
  }
  after_charset_ = next;
  reply_lines_.clear();
  collect_reply_lines_ = true;
  SendCommand("FEAT", kFeatReply);
  return true;
}

void FtpCharsetSteps::FeatReply(FtpEngine& ftp, const std::string& reply) {
  ftp.collect_reply_lines_ = false;
  const bool utf8 = !reply.empty() && reply[0] == '2' && FeatListsUtf8(ftp.reply_lines_);
  ftp.reply_lines_.clear();
  if (!utf8) {
    GoOn(ftp);
    return;
  }
  ftp.SendCommand("OPTS UTF8 ON", kOptsReply);
}

void FtpCharsetSteps::OptsReply(FtpEngine& ftp, const std::string&) {
  // A server that lists UTF8 keeps its names in UTF-8 whether or not it needed to be asked.
  ftp.utf8_names_ = true;
  GoOn(ftp);
}

void FtpCharsetSteps::GoOn(FtpEngine& ftp) {
  void (*next)(FtpEngine&) = ftp.after_charset_;
  ftp.after_charset_ = nullptr;
  if (next != nullptr) next(ftp);
}

}  // namespace tarsil

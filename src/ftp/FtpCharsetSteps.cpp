// The charset step of the login: FEAT, OPTS UTF8 ON and the choice of UTF-8 names.
#include "ftp/FtpCharsetSteps.h"

namespace tarsil {
namespace {

constexpr ReplyHandler kFeatReply{"Feat", &FtpCharsetSteps::FeatReply};
constexpr ReplyHandler kOptsReply{"OptsUtf8", &FtpCharsetSteps::OptsReply};

}  // namespace

bool FtpCharsetSteps::Start(EngineContext& ftp, void (*next)(EngineContext& ftp)) {
  switch (ftp.Settings().server_charset) {
    case ServerCharset::kCp932:
      return false;
    case ServerCharset::kUtf8:
      ftp.Control().SetUtf8Names(true);
      return false;
    case ServerCharset::kAuto:
      break;
  }
  ftp.State().after_charset = next;
  ftp.Control().CollectReplyLines();
  ftp.SendCommand("FEAT", kFeatReply);
  return true;
}

void FtpCharsetSteps::FeatReply(EngineContext& ftp, const std::string& reply) {
  const std::vector<std::string> lines = ftp.Control().TakeReplyLines();
  const bool utf8 = ReplyIs(reply, '2') && FeatListsUtf8(lines);
  if (!utf8) {
    GoOn(ftp);
    return;
  }
  ftp.SendCommand("OPTS UTF8 ON", kOptsReply);
}

void FtpCharsetSteps::OptsReply(EngineContext& ftp, const std::string&) {
  // A server that lists UTF8 keeps its names in UTF-8 whether or not it needed to be asked.
  ftp.Control().SetUtf8Names(true);
  GoOn(ftp);
}

void FtpCharsetSteps::GoOn(EngineContext& ftp) {
  void (*next)(EngineContext&) = ftp.State().after_charset;
  ftp.State().after_charset = nullptr;
  if (next != nullptr) next(ftp);
}

}  // namespace tarsil

// The login step that settles which text the server's names are in (FtpCharsetSteps.cpp). With
// AUTO it sends FEAT and, when the reply lists UTF8, OPTS UTF8 ON; from then every command is
// sent in UTF-8 and every reply and listing line is read back into CP932. With UTF-8 the
// conversion is on at once; with CP932 nothing is sent and nothing changes. Internal to src/ftp.
#pragma once

#include <string>

#include "ftp/EngineContext.h"

namespace tarsil {

struct FtpCharsetSteps {
  // Asks for UTF-8 names when the choice says so, then goes on with `next`. False when nothing
  // was sent and the caller goes on itself.
  static bool Start(EngineContext& ftp, void (*next)(EngineContext& ftp));
  static void FeatReply(EngineContext& ftp, const std::string& reply);
  static void OptsReply(EngineContext& ftp, const std::string& reply);
  static void GoOn(EngineContext& ftp);
};

}  // namespace tarsil

#include "session/LowFTP.h"

#include "platform/Clock.h"

namespace tarsil {
namespace {

// "Loginしていません" and the text of a login that has no engine to go to, in CP932.
constexpr std::string_view kNotLoggedIn = "Login\x82\xb5\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1";
constexpr std::string_view kNoEngine = "FTP is not available in this build of Tarsil";

}  // namespace

TLowFTP::TLowFTP(EventLoop& loop) : loop_(loop) {}

void TLowFTP::AddLog(std::string_view text, bool debug_only) {
  if (Log == nullptr) return;
  if (debug_only && !Debugmode) return;
  if (debug_only) {
    Log->AppendLine("[" + FormatShortDateLongTime(Now()) + "] " + std::string(text));
  } else {
    Log->AppendLine(text);
  }
}

int TLowFTP::Fail(std::string_view message) {
  AddLog("999 " + std::string(message), false);
  return 999;
}

int TLowFTP::RequireConnection(std::string_view start_marker, bool debug_marker_first) {
  if (debug_marker_first) AddLog(start_marker, true);
  // Without an engine no control connection is ever established.
  return Fail(kNotLoggedIn);
}

int TLowFTP::Connect(std::string_view, std::string_view, int32_t) {
  initialized_ = true;
  loop_.ProcessMessages();
  AddLog("-- Connect Initialization End --", true);
  if (Log != nullptr) Log->SetSuppressBlankLines(true);
  return 100;
}

int TLowFTP::Login(std::string_view, std::string_view) {
  if (!initialized_) return 999;
  AddLog("-- Login Start --", true);
  return Fail(kNoEngine);
}

int TLowFTP::Dir(std::string_view, std::string& listing) {
  listing.clear();
  return RequireConnection("", false);
}

int TLowFTP::Download(std::string_view, std::string_view) { return RequireConnection("", false); }
int TLowFTP::Upload(std::string_view, std::string_view) { return RequireConnection("", false); }
int TLowFTP::AppendFile(std::string_view, std::string_view) { return RequireConnection("", false); }
int TLowFTP::Disconnect() { return RequireConnection("", false); }
int TLowFTP::Delete(std::string_view) { return RequireConnection("", false); }
int TLowFTP::Cwd(std::string_view) { return RequireConnection("", false); }
int TLowFTP::DelDir(std::string_view) { return RequireConnection("", false); }
int TLowFTP::MakDir(std::string_view) { return RequireConnection("", false); }
int TLowFTP::Rename(std::string_view, std::string_view) { return RequireConnection("", false); }
int TLowFTP::FTPcmd(std::string_view) { return RequireConnection("", false); }

int TLowFTP::Mget(std::string_view mask) {
  return RequireConnection("-- Mget start -- [" + std::string(mask) + "] ", true);
}
int TLowFTP::Mput(std::string_view mask) {
  return RequireConnection("-- Mput start -- " + std::string(mask), true);
}
int TLowFTP::Mdel(std::string_view mask) {
  return RequireConnection("-- Mdel start -- [" + std::string(mask) + "] ", true);
}

void TLowFTP::AbortFTP() { RequireConnection("", false); }

int TLowFTP::SetAscii() {
  AddLog("-- set ascii mode --", true);
  binary_mode_ = false;
  return 100;
}

int TLowFTP::SetBinary() {
  AddLog("-- set Binary mode --", true);
  binary_mode_ = true;
  return 100;
}

bool TLowFTP::IsLoggedIn() const { return false; }

}  // namespace tarsil

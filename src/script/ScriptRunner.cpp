#include "script/ScriptRunner.h"

#include <cmath>
#include <map>
#include <stdexcept>

#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/TextEncoding.h"
#include "platform/TextHelpers.h"
#include "script/ExpandLine.h"
#include "script/Keywords.h"
#include "script/ScriptMessages.h"
#include "script/SecretMask.h"
#include "session/LocalFiles.h"
#include "session/SessionMessages.h"

namespace tarsil {
namespace {

// Calls a function when the scope ends, also by an exception.
template <typename F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) : f_(std::move(f)) {}
  ~ScopeExit() { f_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  F f_;
};

std::string Word(std::string& args) { return NextToken(args, " "); }

}  // namespace

ScriptRunner::ScriptRunner(ScriptHost& host, FtpSession& ftp, StoredValues& values)
    : host_(host), ftp_(ftp), values_(values) {}

void ScriptRunner::Run(const std::vector<std::string>& lines) {
  run_list_ = lines;
  ScopeExit free_list([this] { run_list_.clear(); });
  line_index_ = -1;
  stop_status_.reset();
  error_seen_ = false;
  RunScript();
}

int32_t ScriptRunner::Step(const std::vector<std::string>& lines, int32_t line_index) {
  run_list_ = lines;
  ScopeExit free_list([this] { run_list_.clear(); });
  line_index_ = line_index < 0 ? 0 : line_index;
  RunScript();
  return line_index_;
}

void ScriptRunner::RunPreparation() {
  ftp_.Params.Clear();
  host_.ProcessMessages();
  ftp_.WaitTimeOut = host_.TimeoutSeconds() * 1000;
  ftp_.ServerCharsetOption = host_.ServerCharsetOption();
}

void ScriptRunner::RunScript() {
  RunPreparation();
  host_.BeginRun();
  running_ = true;
  ScopeExit end_run([this] {
    running_ = false;
    host_.EndRun();
  });
  if (line_index_ == -1) {
    RunWhole();
    return;
  }
  if (line_index_ < static_cast<int32_t>(run_list_.size())) {
    std::string line = Expand(run_list_[line_index_]);
    host_.WriteLog(MaskSecretsForLog(line));
    ExecuteLine(line, line_index_);
    if (line_index_ < kEndOfScript + 1) ++line_index_;
  }
}

void ScriptRunner::RunWhole() {
  const std::string name = host_.ScriptFileName();
  host_.WriteLog("<<" + name + ">> start " + FormatShortDateLongTime(Now()));
  // The end line is written however the loop ends, a failure while expanding included.
  ScopeExit end_line([this, &name] {
    host_.WriteLog("<<" + name + ">> end   " + FormatShortDateLongTime(Now()));
  });
  line_index_ = 0;
  while (line_index_ < static_cast<int32_t>(run_list_.size())) {
    std::string line = Expand(run_list_[line_index_]);
    host_.WriteLog(MaskSecretsForLog(line));
    if (!line.empty() && line[0] == '#') {
      ++line_index_;
    } else {
      try {
        ExecuteLine(line, line_index_);
      } catch (const std::exception& failure) {
        // A failure inside one line of a whole run ends that line only, said and tested by "if".
        LineFailed(failure.what());
      } catch (...) {
        LineFailed("The line failed");
      }
      if (line_index_ < kEndOfScript + 1) ++line_index_;
      host_.WaitWithMessages(500);
    }
    if (!running_) break;
  }
}

std::string ScriptRunner::Expand(const std::string& line) {
  return ExpandLine(line, [this](std::string_view name) { return values_.Lookup(name); });
}

void ScriptRunner::ExecuteLine(const std::string& line, int32_t& line_index) {
  CommandLine command = SplitCommand(line);
  if (!command.keyword) return;
  std::string args = command.args;
  switch (*command.keyword) {
    case Keyword::kRem:
      return;
    case Keyword::kIf: {
      std::string condition = Word(args);
      if (SameTextAscii(condition, "NonError")) {
        if (result_state_) ExecuteLine(args, line_index);
      } else if (SameTextAscii(condition, "Error")) {
        if (!result_state_) ExecuteLine(args, line_index);
      } else {
        ExecuteLine(args, line_index);
      }
      return;
    }
    case Keyword::kGoto: {
      int found = FindLabel(run_list_, Word(args));
      line_index = found < 0 ? kEndOfScript : found;
      return;
    }
    case Keyword::kStop:
      line_index = kEndOfScript;
      stop_status_ = ParseStopStatus(args);
      return;
    case Keyword::kPause:
      host_.ShowMessage(args.empty() ? kPauseDefaultText : std::string_view(args), kPauseCaption,
                        MessageIcon::kInformation);
      return;
    case Keyword::kWaitTimer:
      ExecuteWaitTimer(args);
      return;
    case Keyword::kSet: {
      SetCommand set = ParseSet(Word(args));
      try {
        values_.Set(set.name, set.value);
      } catch (const std::exception& failure) {
        // A value the store refuses is never dropped silently.
        LineFailed("set " + set.name + ": " + failure.what());
      }
      return;
    }
    case Keyword::kSetParam:
      if (std::optional<SetCommand> param = ParseSetParam(args)) {
        // Values are upper-cased, except a log file path: on a case-sensitive file system the
        // upper-cased path would name another file.
        if (param->name == "LOGFILE") param->value = args.substr(args.find('=') + 1);
        ftp_.Params.Set(param->name, param->value);
      }
      return;
    case Keyword::kLcd:
      ExecuteLocalCd(args);
      return;
    case Keyword::kLdel:
      ExecuteLocalDelete(args);
      return;
    case Keyword::kLmdel: {
      std::vector<std::string> left_out;
      DeleteLocalFiles(args, &left_out);
      for (const std::string& name : left_out) {
        host_.WriteLogUtf8("999 " + Cp932ToUtf8(kLocalNameLeftOutText) + name);
      }
      if (!left_out.empty()) result_state_ = false;
      return;
    }
    default:
      ExecuteFtpCommand(static_cast<int>(*command.keyword), std::move(args));
      return;
  }
}

void ScriptRunner::ExecuteFtpCommand(int keyword_number, std::string args) {
  const Keyword keyword = static_cast<Keyword>(keyword_number);
  result_state_ = true;
  switch (keyword) {
    case Keyword::kOpen: {
      std::string server = Word(args);
      std::string proxy = Word(args);
      int32_t port = LooseStrToInt(Word(args));
      if (SameTextAscii(proxy, "NONE")) proxy.clear();
      ftp_.Passive = host_.PassiveOption();
      host_.ServerOpened(server);
      SetFromCode(ftp_.Connect(server, proxy, port));
      return;
    }
    case Keyword::kLogin: {
      std::string user = Word(args);
      std::string password = Word(args);
      SetFromCode(ftp_.Login(user, password));
      return;
    }
    case Keyword::kGet: {
      std::string remote = NextArgument(args);
      std::string local = NextArgument(args);
      SetFromCode(ftp_.Download(remote, local));
      return;
    }
    case Keyword::kPut:
    case Keyword::kAppend: {
      std::string local = NextArgument(args);
      std::string remote = NextArgument(args);
      SetFromCode(keyword == Keyword::kPut ? ftp_.Upload(local, remote)
                                           : ftp_.AppendFile(local, remote));
      return;
    }
    case Keyword::kBinary:
      SetFromCode(ftp_.SetBinary());
      return;
    case Keyword::kAscii:
      SetFromCode(ftp_.SetAscii());
      return;
    case Keyword::kCd:
      SetFromCode(ftp_.Cwd(NextArgument(args)));
      return;
    case Keyword::kDir:
      ExecuteDir(std::move(args));
      return;
    case Keyword::kDel:
      SetFromCode(ftp_.Delete(NextArgument(args)));
      return;
    case Keyword::kBye:
      SetFromCode(ftp_.Disconnect());
      return;
    case Keyword::kFtp:
      SetFromCode(ftp_.FTPcmd(args));
      return;
    case Keyword::kMd:
      SetFromCode(ftp_.MakeDir(NextArgument(args)));
      return;
    case Keyword::kRd:
      SetFromCode(ftp_.DelDir(NextArgument(args)));
      return;
    case Keyword::kRename: {
      std::string old_name = NextArgument(args);
      std::string new_name = NextArgument(args);
      SetFromCode(ftp_.Rename(old_name, new_name));
      return;
    }
    case Keyword::kMput:
      SetFromCode(ftp_.Mput(NextArgument(args)));
      return;
    case Keyword::kMget:
      SetFromCode(ftp_.Mget(NextArgument(args)));
      return;
    case Keyword::kMdel:
      SetFromCode(ftp_.Mdel(NextArgument(args)));
      return;
    case Keyword::kDialup:
    case Keyword::kDisconnect:
      host_.ShowMessage(kNotImplementedText, kApplicationTitle, MessageIcon::kNone);
      return;
    default:
      return;
  }
}

void ScriptRunner::ExecuteDir(std::string args) {
  DirArgs dir = ParseDirArgs(std::move(args));
  std::string listing;
  SetFromCode(ftp_.Dir(dir.path, listing));
  const TextEncoding encoding = host_.FileEncoding();
  // A UTF-8 file holds the lines with names CP932 lacks as the server sent them.
  std::map<std::string, std::string> exact_lines;
  if (encoding == TextEncoding::kUtf8 && ftp_.IsLoggedIn()) {
    const PackedStrings& raw = ftp_.Ftp().RawListing();
    for (const LostListingLine& lost : ftp_.Ftp().LostListingLines()) {
      if (lost.raw_index < raw.size())
        exact_lines.emplace(std::string(raw[lost.raw_index]), lost.utf8);
    }
  }
  std::string file_text;
  while (!listing.empty()) {
    std::string piece = NextToken(listing, "\r\n");
    host_.WriteLog(piece);
    auto exact = exact_lines.find(piece);
    file_text += exact != exact_lines.end() ? exact->second : ToFileText(piece, encoding);
    file_text += "\r\n";
  }
  if (dir.output_file && !WriteWholeFile(*dir.output_file, file_text)) {
    LineFailed("Cannot write the listing to " + *dir.output_file);
  }
}

void ScriptRunner::LineFailed(std::string_view text) {
  host_.WriteLog("999 " + TrimBlanks(text));
  SetError();
}

void ScriptRunner::ExecuteWaitTimer(const std::string& rest) {
  std::optional<double> duration = TryStrToDateTime(rest);
  if (!duration) {
    host_.ShowMessage(kWaitTimerBadText, kWaitTimerCaption, MessageIcon::kError);
    return;
  }
  // Whole seconds, one wait each, so that a cleared run ends the wait within a second.
  const double one_second = EncodeDateTime(1899, 12, 30, 0, 0, 1);
  for (double remaining = *duration; remaining > 1e-9; remaining -= one_second) {
    if (!running_) break;
    host_.WaitWithMessages(1000);
  }
}

void ScriptRunner::ExecuteLocalCd(std::string args) {
  bool ok = SetCurrentDir(NextArgument(args));
  host_.WriteLog(ok ? kLocalCdComplete : kLocalCdFail);
  result_state_ = ok;
  if (!ok) error_seen_ = true;
}

void ScriptRunner::ExecuteLocalDelete(std::string args) {
  bool ok = DeleteLocalFile(NextArgument(args));
  host_.WriteLog(ok ? kLocalDeleteComplete : kLocalDeleteFail);
  result_state_ = ok;
  if (!ok) error_seen_ = true;
}

}  // namespace tarsil

// FtpEngine: the single-command requests. CWD and CDUP (with PWD when the reply quotes no path),
// MKD, RMD (which also deletes the removed directory's listing-cache files), DELE, RNFR/RNTO and
// raw command lines. Each keeps CurrentDirectory up to date from the replies.
#include <string>

#include "ftp/FtpDataSteps.h"
#include "ftp/FtpDataText.h"
#include "ftp/FtpEngine.h"
#include "ftp/FtpText.h"
#include "platform/TextHelpers.h"

namespace tarsil {

struct FtpDirectorySteps {
  static void GenericReply(FtpEngine& ftp, const std::string& reply);
  static void CwdReply(FtpEngine& ftp, const std::string& reply);
  static void PwdReply(FtpEngine& ftp, const std::string& reply);
  static void RmdReply(FtpEngine& ftp, const std::string& reply);
  static void RnfrReply(FtpEngine& ftp, const std::string& reply);
  static bool Begin(FtpEngine& ftp, FtpOperation operation);
  static void SendAndWait(FtpEngine& ftp, const std::string& command, ReplyHandler handler);
  static void Denied(FtpEngine& ftp) { ftp.RaiseError(ftpErrorAccessDenied, kTextAccessDenied); }
};

namespace {

constexpr ReplyHandler kGenericReply{"Generic", &FtpDirectorySteps::GenericReply};
constexpr ReplyHandler kCwdReply{"Cwd", &FtpDirectorySteps::CwdReply};
constexpr ReplyHandler kCwdPwdReply{"CwdPwd", &FtpDirectorySteps::PwdReply};
constexpr ReplyHandler kRmdReply{"Rmd", &FtpDirectorySteps::RmdReply};
constexpr ReplyHandler kRnfrReply{"Rnfr", &FtpDirectorySteps::RnfrReply};

}  // namespace

bool FtpDirectorySteps::Begin(FtpEngine& ftp, FtpOperation operation) {
  if (!ftp.BeginRequest()) return false;
  ftp.current_operation_ = operation;
  return true;
}

void FtpDirectorySteps::SendAndWait(FtpEngine& ftp, const std::string& command,
                                    ReplyHandler handler) {
  ftp.SendCommand(command, handler);
  FtpDataSteps::WaitWhileBusy(ftp);
}

void FtpEngine::ChangeDir(std::string_view directory) {
  if (!FtpDirectorySteps::Begin(*this, FtpOperation::kChangeDir)) return;
  FtpDirectorySteps::SendAndWait(*this, "CWD " + std::string(directory), kCwdReply);
}

void FtpEngine::ParentDir() {
  if (!FtpDirectorySteps::Begin(*this, FtpOperation::kParentDir)) return;
  FtpDirectorySteps::SendAndWait(*this, "CDUP", kCwdReply);
}

void FtpEngine::CreateDir(std::string_view directory) {
  if (!FtpDirectorySteps::Begin(*this, FtpOperation::kMakeDir)) return;
  FtpDirectorySteps::SendAndWait(*this, "MKD " + std::string(directory), kGenericReply);
}

void FtpEngine::RemoveDir(std::string_view directory) {
  if (directory.empty() || !FtpDirectorySteps::Begin(*this, FtpOperation::kRemoveDir)) return;
  data_.removed_directory = TrimBlanks(directory);
  FtpDirectorySteps::SendAndWait(*this, "RMD " + std::string(directory), kRmdReply);
}

void FtpEngine::DeleteRemoteFile(std::string_view name) {
  if (name.empty() || !FtpDirectorySteps::Begin(*this, FtpOperation::kDeleteFile)) return;
  FtpDirectorySteps::SendAndWait(*this, "DELE " + std::string(name), kGenericReply);
}

void FtpEngine::RenameRemoteFile(std::string_view old_name, std::string_view new_name) {
  if (old_name.empty() || new_name == old_name) return;
  if (!FtpDirectorySteps::Begin(*this, FtpOperation::kRename)) return;
  data_.rename_new_name = new_name;
  FtpDirectorySteps::SendAndWait(*this, "RNFR " + std::string(old_name), kRnfrReply);
}

void FtpEngine::SendRawCommand(std::string_view command_line, ReplyHandler handler) {
  if (command_line.empty()) {
    // Nothing to send; a request in progress keeps its handler and its ready notice.
    if (busy_) {
      RaiseInfo(ftpInfoBusy);
      return;
    }
    FinishRequest();
    return;
  }
  if (!BeginRequest()) return;
  last_type_.clear();  // the command may have changed the server's type
  SendCommand(command_line, handler ? handler : kGenericReply);
}

// ---- Reply handlers ------------------------------------------------------------------------

void FtpDirectorySteps::GenericReply(FtpEngine& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2')) Denied(ftp);
  ftp.FinishRequest();
}

void FtpDirectorySteps::CwdReply(FtpEngine& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2')) {
    ftp.current_directory_.clear();
    Denied(ftp);
  } else if (reply.find('"') == std::string::npos) {
    ftp.SendCommand("PWD", kCwdPwdReply);
    return;
  } else {
    ftp.current_directory_ = QuotedPath(reply);
  }
  ftp.FinishRequest();
}

void FtpDirectorySteps::PwdReply(FtpEngine& ftp, const std::string& reply) {
  if (ReplyIs(reply, '2')) {
    ftp.current_directory_ = QuotedPath(reply);
    if (UsesDrivePaths(ftp.server_type_)) {
      ftp.current_directory_ = NormaliseDrivePath(ftp.current_directory_);
    }
  } else {
    ftp.RaiseError(ftpErrorCommandFailed);
  }
  ftp.FinishRequest();
}

void FtpDirectorySteps::RmdReply(FtpEngine& ftp, const std::string& reply) {
  if (ReplyIs(reply, '2')) {
    if (ftp.data_.cache != nullptr) {
      const std::string path =
          RemovedDirectoryPath(ftp.current_directory_, ftp.data_.removed_directory);
      ftp.data_.cache->DeleteCachedLists(ftp.Server(), ftp.username_, path, ftp.Port());
    }
  } else {
    Denied(ftp);
  }
  ftp.FinishRequest();
}

void FtpDirectorySteps::RnfrReply(FtpEngine& ftp, const std::string& reply) {
  if (ReplyIs(reply, '3')) {
    ftp.SendCommand("RNTO " + ftp.data_.rename_new_name, kGenericReply);
    return;
  }
  Denied(ftp);
  ftp.FinishRequest();
}

}  // namespace tarsil

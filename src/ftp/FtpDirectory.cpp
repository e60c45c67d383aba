// The FTP engine's single-command requests. CWD and CDUP (with PWD when the reply quotes no path),
// MKD, RMD (which also deletes the removed directory's listing-cache files), DELE, RNFR/RNTO and
// raw command lines. Each keeps CurrentDirectory up to date from the replies.
#include <string>

#include "ftp/FtpDataText.h"
#include "ftp/FtpDirectorySteps.h"
#include "ftp/FtpText.h"
#include "platform/TextHelpers.h"

namespace tarsil {

namespace {

constexpr ReplyHandler kGenericReply{"Generic", &FtpDirectorySteps::GenericReply};
constexpr ReplyHandler kCwdReply{"Cwd", &FtpDirectorySteps::CwdReply};
constexpr ReplyHandler kCwdPwdReply{"CwdPwd", &FtpDirectorySteps::PwdReply};
constexpr ReplyHandler kRmdReply{"Rmd", &FtpDirectorySteps::RmdReply};
constexpr ReplyHandler kRnfrReply{"Rnfr", &FtpDirectorySteps::RnfrReply};

}  // namespace

void FtpDirectorySteps::Denied(EngineContext& ftp) {
  ftp.RaiseError(ftpErrorAccessDenied, kTextAccessDenied);
}

bool FtpDirectorySteps::Begin(EngineContext& ftp, FtpOperation operation) {
  if (!ftp.BeginRequest()) return false;
  ftp.State().operation = operation;
  return true;
}

void FtpDirectorySteps::SendAndWait(EngineContext& ftp, const std::string& command,
                                    ReplyHandler handler) {
  ftp.SendCommand(command, handler);
  ftp.WaitWhileBusy();
}

void FtpDirectorySteps::ChangeDir(EngineContext& ftp, std::string_view directory) {
  if (!Begin(ftp, FtpOperation::kChangeDir)) return;
  SendAndWait(ftp, "CWD " + std::string(directory), kCwdReply);
}

void FtpDirectorySteps::ParentDir(EngineContext& ftp) {
  if (!Begin(ftp, FtpOperation::kParentDir)) return;
  SendAndWait(ftp, "CDUP", kCwdReply);
}

void FtpDirectorySteps::CreateDir(EngineContext& ftp, std::string_view directory) {
  if (!Begin(ftp, FtpOperation::kMakeDir)) return;
  SendAndWait(ftp, "MKD " + std::string(directory), kGenericReply);
}

void FtpDirectorySteps::RemoveDir(EngineContext& ftp, std::string_view directory) {
  if (directory.empty() || !Begin(ftp, FtpOperation::kRemoveDir)) return;
  ftp.State().removed_directory = TrimBlanks(directory);
  SendAndWait(ftp, "RMD " + std::string(directory), kRmdReply);
}

void FtpDirectorySteps::DeleteFile(EngineContext& ftp, std::string_view name) {
  if (name.empty() || !Begin(ftp, FtpOperation::kDeleteFile)) return;
  SendAndWait(ftp, "DELE " + std::string(name), kGenericReply);
}

void FtpDirectorySteps::Rename(EngineContext& ftp, std::string_view old_name,
                               std::string_view new_name) {
  if (old_name.empty() || new_name == old_name) return;
  if (!Begin(ftp, FtpOperation::kRename)) return;
  ftp.State().rename_new_name = new_name;
  SendAndWait(ftp, "RNFR " + std::string(old_name), kRnfrReply);
}

void FtpDirectorySteps::Raw(EngineContext& ftp, std::string_view command_line,
                            ReplyHandler handler) {
  if (command_line.empty()) {
    // Nothing to send; a request in progress keeps its handler and its ready notice.
    if (ftp.State().busy) {
      ftp.RaiseInfo(ftpInfoBusy);
      return;
    }
    ftp.FinishRequest();
    return;
  }
  if (!ftp.BeginRequest()) return;
  ftp.State().last_type.clear();  // the command may have changed the server's type
  ftp.SendCommand(command_line, handler ? handler : kGenericReply);
}

// ---- Reply handlers ------------------------------------------------------------------------

void FtpDirectorySteps::GenericReply(EngineContext& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2')) Denied(ftp);
  ftp.FinishRequest();
}

void FtpDirectorySteps::CwdReply(EngineContext& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2')) {
    ftp.State().current_directory.clear();
    Denied(ftp);
  } else if (reply.find('"') == std::string::npos) {
    ftp.SendCommand("PWD", kCwdPwdReply);
    return;
  } else {
    ftp.State().current_directory = QuotedPath(reply);
  }
  ftp.FinishRequest();
}

void FtpDirectorySteps::PwdReply(EngineContext& ftp, const std::string& reply) {
  if (ReplyIs(reply, '2')) {
    ftp.State().current_directory = QuotedPath(reply);
    if (UsesDrivePaths(ftp.Settings().server_type)) {
      ftp.State().current_directory = NormaliseDrivePath(ftp.State().current_directory);
    }
  } else {
    ftp.RaiseError(ftpErrorCommandFailed);
  }
  ftp.FinishRequest();
}

void FtpDirectorySteps::RmdReply(EngineContext& ftp, const std::string& reply) {
  ListingState& listing = ftp.Listing();
  if (ReplyIs(reply, '2')) {
    if (listing.cache != nullptr) {
      const std::string path =
          RemovedDirectoryPath(ftp.State().current_directory, ftp.State().removed_directory);
      listing.cache->DeleteCachedLists(ftp.Control().Server(), ftp.Settings().username, path,
                                       ftp.Control().Port());
    }
  } else {
    Denied(ftp);
  }
  ftp.FinishRequest();
}

void FtpDirectorySteps::RnfrReply(EngineContext& ftp, const std::string& reply) {
  if (ReplyIs(reply, '3')) {
    ftp.SendCommand("RNTO " + ftp.State().rename_new_name, kGenericReply);
    return;
  }
  Denied(ftp);
  ftp.FinishRequest();
}

}  // namespace tarsil

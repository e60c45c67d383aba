// The FTP engine's codes: information and error members with their texts, what the engine asks
// its owner, proxy and transfer kinds, the request codes, and the table that turns a socket error
// number (WinSock numbering) into an error member and its text. Plain values; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarsil {

// Information notices. Values are fixed (9 has no member).
enum FtpInfo : int {
  ftpInfoConnected = 0,
  ftpInfoDisconnected = 1,
  ftpInfoResolving = 2,
  ftpInfoReply = 3,
  ftpInfoCommand = 4,
  ftpInfoBusy = 5,
  ftpInfoResumeSupported = 6,
  ftpInfoDebug = 7,
  ftpInfoData = 8,
  ftpInfoTransferComplete = 10,
  ftpInfoListingComplete = 11,
  ftpInfoLoggedIn = 12,
  ftpInfoFileSize = 13,
  ftpInfoListing = 14,
  ftpInfoEntryFound = 15,
  ftpInfoResumeNotSupported = 16,
  ftpInfoRetrying = 17,
  ftpInfoResolved = 18,
  ftpInfoNothingToDo = 19,
  ftpInfoRetryFinished = 20,
  ftpInfoListAborted = 21,
};

// Error notices. Values are fixed (13, 14, 16, 19 and 24 have no member).
enum FtpError : int {
  ftpErrorNone = 0,
  ftpErrorNetworkDown = 1,
  ftpErrorInvalidAddress = 2,
  ftpErrorInternal = 3,
  ftpErrorWinsock = 4,
  ftpErrorConnectionAborted = 5,
  ftpErrorConnectionReset = 6,
  ftpErrorTimedOut = 7,
  ftpErrorOutOfSockets = 8,
  ftpErrorNetworkUnreachable = 9,
  ftpErrorAddressNotAvailable = 10,
  ftpErrorConnectionRefused = 11,
  ftpErrorCommandFailed = 12,
  ftpErrorResolve = 15,
  ftpErrorHostUnreachable = 17,
  ftpErrorNoServer = 18,
  ftpErrorLocalOpen = 20,
  ftpErrorLocalWrite = 21,
  ftpErrorLocalRead = 22,
  ftpErrorNoFile = 23,
  ftpErrorUserRejected = 25,
  ftpErrorPasswordRejected = 26,
  ftpErrorDataConnection = 27,
  ftpErrorResumeFailed = 28,
  ftpErrorAccessDenied = 29,
};

// What the engine asks its owner through OnFtpNeedInfo.
enum FtpInfoNeeded : int {
  needAccount,
  needServer,
  needLocalFile,
  needResumeChoice,
  needPassword,
  needUser,
};

enum FtpProxyType : int {
  proxyNone,
  proxyHost,
  proxyHostUser,
  proxyOpen,
  proxySite,
  proxyUserSite,
};

enum FtpTransferType : int {
  AsciiTransfer,
  BinaryTransfer,
};

// The request in progress (the engine's CurrentOperation).
enum class FtpOperation : uint8_t {
  kIdle = 0,
  kLogin = 1,
  kChangeDir = 2,
  kMakeDir = 3,
  kRemoveDir = 5,
  kDeleteFile = 7,
  kDownload = 10,
  kUpload = 12,
  kListing = 14,
  kRename = 15,
  kParentDir = 17,
  kKeepAlive = 19,
};

// Texts the engine passes with its notices.
inline constexpr const char* kTextDisconnected = "Disconnected";
inline constexpr const char* kTextRetrying = "Retrying...";
inline constexpr const char* kTextRetryFinished = "Retry Finished";
inline constexpr const char* kTextResumeSupported = "This site can resume broken downloads/uploads";
inline constexpr const char* kTextNothingToDo = "I am afraid I have nothing to do";
inline constexpr const char* kTextWillOverwrite =
    "I don't know how to resume this file, I will overwrite it";
inline constexpr const char* kTextTimedOut = "Connection timed out";
inline constexpr const char* kTextAccessDenied = "Access denied or file not found";
inline constexpr const char* kTextResumeDownloadFailed = "Failed to resume downloading file";
inline constexpr const char* kTextResumeUploadFailed = "Failed to resume uploading file";
// What a listener sees instead of a PASS or ACCT command line.
inline constexpr const char* kMaskedPass = "PASS (want to know) :-P\r\n";
inline constexpr const char* kMaskedAcct = "ACCT (want to know) :-P\r\n";

// The text an information member carries when it is raised without one ("" for most).
std::string FtpInfoDefaultText(FtpInfo info);

// Member names ("ftpInfoConnected", "ftpErrorResolve", ...) for traces; "" for no member.
const char* FtpInfoName(FtpInfo info);
const char* FtpErrorName(FtpError error);

struct FtpFailure {
  FtpError member = ftpErrorNone;
  std::string text;
};

// The error a socket error number stands for; nothing for 0, 10038 and 10057, which the engine
// does not count as errors. Unlisted numbers are internal errors that name the number.
std::optional<FtpFailure> FtpFailureForSocketError(uint16_t code);

}  // namespace tarsil

#include "ftp/FtpCodes.h"

#include <cstddef>

namespace tarsil {

std::string FtpInfoDefaultText(FtpInfo info) {
  switch (info) {
    case ftpInfoDisconnected:
      return "Not connected to the server";
    case ftpInfoBusy:
      return "The component is busy doing something";
    case ftpInfoLoggedIn:
      return "Logged in";
    case ftpInfoResumeNotSupported:
      return "This site cannot resume broken downloads/uploads";
    default:
      return std::string();
  }
}

namespace {

template <typename Member>
struct NameEntry {
  Member member;
  const char* name;
};

#define TARSIL_NAME(member) \
  { member, #member }

constexpr NameEntry<FtpInfo> kInfoNames[] = {
    TARSIL_NAME(ftpInfoConnected),
    TARSIL_NAME(ftpInfoDisconnected),
    TARSIL_NAME(ftpInfoResolving),
    TARSIL_NAME(ftpInfoReply),
    TARSIL_NAME(ftpInfoCommand),
    TARSIL_NAME(ftpInfoBusy),
    TARSIL_NAME(ftpInfoResumeSupported),
    TARSIL_NAME(ftpInfoDebug),
    TARSIL_NAME(ftpInfoData),
    TARSIL_NAME(ftpInfoTransferComplete),
    TARSIL_NAME(ftpInfoListingComplete),
    TARSIL_NAME(ftpInfoLoggedIn),
    TARSIL_NAME(ftpInfoFileSize),
    TARSIL_NAME(ftpInfoListing),
    TARSIL_NAME(ftpInfoEntryFound),
    TARSIL_NAME(ftpInfoResumeNotSupported),
    TARSIL_NAME(ftpInfoRetrying),
    TARSIL_NAME(ftpInfoResolved),
    TARSIL_NAME(ftpInfoNothingToDo),
    TARSIL_NAME(ftpInfoRetryFinished),
    TARSIL_NAME(ftpInfoListAborted),
};

constexpr NameEntry<FtpError> kErrorNames[] = {
    TARSIL_NAME(ftpErrorNone),
    TARSIL_NAME(ftpErrorNetworkDown),
    TARSIL_NAME(ftpErrorInvalidAddress),
    TARSIL_NAME(ftpErrorInternal),
    TARSIL_NAME(ftpErrorWinsock),
    TARSIL_NAME(ftpErrorConnectionAborted),
    TARSIL_NAME(ftpErrorConnectionReset),
    TARSIL_NAME(ftpErrorTimedOut),
    TARSIL_NAME(ftpErrorOutOfSockets),
    TARSIL_NAME(ftpErrorNetworkUnreachable),
    TARSIL_NAME(ftpErrorAddressNotAvailable),
    TARSIL_NAME(ftpErrorConnectionRefused),
    TARSIL_NAME(ftpErrorCommandFailed),
    TARSIL_NAME(ftpErrorResolve),
    TARSIL_NAME(ftpErrorHostUnreachable),
    TARSIL_NAME(ftpErrorNoServer),
    TARSIL_NAME(ftpErrorLocalOpen),
    TARSIL_NAME(ftpErrorLocalWrite),
    TARSIL_NAME(ftpErrorLocalRead),
    TARSIL_NAME(ftpErrorNoFile),
    TARSIL_NAME(ftpErrorUserRejected),
    TARSIL_NAME(ftpErrorPasswordRejected),
    TARSIL_NAME(ftpErrorDataConnection),
    TARSIL_NAME(ftpErrorResumeFailed),
    TARSIL_NAME(ftpErrorAccessDenied),
};

#undef TARSIL_NAME

template <typename Member, size_t N>
const char* FindName(const NameEntry<Member> (&table)[N], Member member) {
  for (const auto& entry : table) {
    if (entry.member == member) return entry.name;
  }
  return "";
}

}  // namespace

const char* FtpInfoName(FtpInfo info) { return FindName(kInfoNames, info); }

const char* FtpErrorName(FtpError error) { return FindName(kErrorNames, error); }

std::optional<FtpFailure> FtpFailureForSocketError(uint16_t code) {
  switch (code) {
    case 0:
    case 10038:  // an operation on a socket already closed
    case 10057:  // not connected
      return std::nullopt;
    case 10050:
      return FtpFailure{ftpErrorNetworkDown, "Network down"};
    case 10013:
      return FtpFailure{ftpErrorInvalidAddress, "Invalid address specified"};
    case 10022:
      return FtpFailure{ftpErrorInternal, ""};
    case 10052:
    case 10055:
      return FtpFailure{ftpErrorWinsock, "General Winsock Error"};
    case 10053:
      return FtpFailure{ftpErrorConnectionAborted,
                        "Connection aborted due to timeout or other failure"};
    case 10054:
      return FtpFailure{ftpErrorConnectionReset, "Connection reset by remote side"};
    case 10060:
      return FtpFailure{ftpErrorTimedOut, kTextTimedOut};
    case 10024:
      return FtpFailure{ftpErrorOutOfSockets, "Out of sockets"};
    case 10051:
      return FtpFailure{ftpErrorNetworkUnreachable, "Network unreachable"};
    case 10049:
      return FtpFailure{ftpErrorAddressNotAvailable, "Address not available"};
    case 10061:
      return FtpFailure{ftpErrorConnectionRefused, "Connection Refused"};
    case 11001:
    case 11002:
    case 11003:
    case 11004:
      return FtpFailure{ftpErrorResolve, "Address resolution error"};
    case 10065:
      return FtpFailure{ftpErrorHostUnreachable, "Host unreachable"};
    case 10300:  // our own number: the TLS layer failed (the socket's TlsFailure says how)
      return FtpFailure{ftpErrorConnectionAborted, "TLS connection failed"};
    default:
      return FtpFailure{ftpErrorInternal,
                        "Unexpected internal error in component (WinSock Error Code: " +
                            std::to_string(code) + ")"};
  }
}

}  // namespace tarsil

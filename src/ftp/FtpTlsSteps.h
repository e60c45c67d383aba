// The TLS steps of the FTP engine, one named function each (FtpTls.cpp): the settings made at
// every connection attempt, AUTH TLS and the handshake of the control connection, PBSZ and
// PROT after the login, and the handshake of each data connection. FtpEngine befriends this
// struct. Internal to src/ftp; loop thread only.
#pragma once

#include <string>

#include "ftp/FtpEngine.h"

namespace tarsil {

struct FtpTlsSteps {
  // Makes the TLS settings of a new attempt and arms the control socket for implicit TLS;
  // false (after the error and the end of the request) when TLS cannot be used.
  static bool PrepareAttempt(FtpEngine& ftp);
  // The greeting of an explicit-TLS connection: true when AUTH TLS went out instead of the login.
  static bool SendAuth(FtpEngine& ftp, const std::string& greeting);
  static void AuthReply(FtpEngine& ftp, const std::string& reply);
  static void ControlSecured(FtpEngine& ftp);
  // After USER/PASS: true when PBSZ went out first (PROT P follows, then `next` of the login).
  static bool SendProtection(FtpEngine& ftp);
  static void PbszReply(FtpEngine& ftp, const std::string& reply);
  static void ProtReply(FtpEngine& ftp, const std::string& reply);
  // The data socket's TLS for the next connection: the session's when PROT P holds, else none.
  static void ArmDataSocket(FtpEngine& ftp);
  static void DataSecured(FtpEngine& ftp);
  // The words of a data connection's failure: the TLS layer's when that is what failed.
  static std::string DataFailureText(FtpEngine& ftp, uint16_t error);
};

// The login steps the TLS steps hand back to (FtpLogin.cpp).
void FtpLoginGreeting(FtpEngine& ftp, const std::string& reply);
void FtpLoginCapabilities(FtpEngine& ftp);

inline constexpr const char* kTextTlsThroughProxy =
    "TLS cannot go through an FTP proxy: the connection is not made (nothing is sent in clear)";

}  // namespace tarsil

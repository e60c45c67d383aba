// The TLS steps of the FTP engine, one named function each (FtpTls.cpp): the settings made at
// every connection attempt, AUTH TLS and the handshake of the control connection, PBSZ and
// PROT after the login, and the handshake of each data connection; they hand back to the login
// steps. Internal to src/ftp; loop thread only.
#pragma once

#include <string>

#include "ftp/EngineContext.h"

namespace tarsil {

struct FtpTlsSteps {
  // Makes the TLS settings of a new attempt and arms the control socket for implicit TLS;
  // false (after the error and the end of the request) when TLS cannot be used.
  static bool PrepareAttempt(EngineContext& ftp);
  // The greeting of an explicit-TLS connection: true when AUTH TLS went out instead of the login.
  static bool SendAuth(EngineContext& ftp, const std::string& greeting);
  static void AuthReply(EngineContext& ftp, const std::string& reply);
  static void ControlSecured(EngineContext& ftp);
  // After USER/PASS: true when PBSZ went out first (PROT P follows, then `next` of the login).
  static bool SendProtection(EngineContext& ftp);
  static void PbszReply(EngineContext& ftp, const std::string& reply);
  static void ProtReply(EngineContext& ftp, const std::string& reply);
  // The data socket's TLS for the next connection: the session's when PROT P holds, else none.
  static void ArmDataSocket(EngineContext& ftp);
  static void DataSecured(EngineContext& ftp);
  // The words of a data connection's failure: the TLS layer's when that is what failed.
  static std::string DataFailureText(EngineContext& ftp, uint16_t error);
};

inline constexpr const char* kTextTlsThroughProxy =
    "TLS cannot go through an FTP proxy: the connection is not made (nothing is sent in clear)";

}  // namespace tarsil

// Socket error numbers as the FTP engine knows them (the WinSock numbering), and the translation
// of errno values and getaddrinfo results into them. Pure functions; any thread.
#pragma once

#include <cstdint>

namespace tarsil {

inline constexpr uint16_t kWsaEIntr = 10004;
inline constexpr uint16_t kWsaEAcces = 10013;
inline constexpr uint16_t kWsaEFault = 10014;
inline constexpr uint16_t kWsaEInval = 10022;
inline constexpr uint16_t kWsaEMFile = 10024;
inline constexpr uint16_t kWsaEWouldBlock = 10035;
inline constexpr uint16_t kWsaEAlready = 10037;
inline constexpr uint16_t kWsaENotSock = 10038;
inline constexpr uint16_t kWsaEMsgSize = 10040;
inline constexpr uint16_t kWsaEOpNotSupp = 10045;
inline constexpr uint16_t kWsaEAfNoSupport = 10047;
inline constexpr uint16_t kWsaEAddrInUse = 10048;
inline constexpr uint16_t kWsaEAddrNotAvail = 10049;
inline constexpr uint16_t kWsaENetDown = 10050;
inline constexpr uint16_t kWsaENetUnreach = 10051;
inline constexpr uint16_t kWsaENetReset = 10052;
inline constexpr uint16_t kWsaEConnAborted = 10053;
inline constexpr uint16_t kWsaEConnReset = 10054;
inline constexpr uint16_t kWsaENoBufs = 10055;
inline constexpr uint16_t kWsaEIsConn = 10056;
inline constexpr uint16_t kWsaENotConn = 10057;
inline constexpr uint16_t kWsaETimedOut = 10060;
inline constexpr uint16_t kWsaEConnRefused = 10061;
inline constexpr uint16_t kWsaEHostDown = 10064;
inline constexpr uint16_t kWsaEHostUnreach = 10065;
// Not a WinSock number: a TLS handshake, certificate check or TLS stream failed (the socket's
// TlsFailure says how).
inline constexpr uint16_t kTlsFailed = 10300;
inline constexpr uint16_t kWsaHostNotFound = 11001;
inline constexpr uint16_t kWsaTryAgain = 11002;
inline constexpr uint16_t kWsaNoRecovery = 11003;
inline constexpr uint16_t kWsaNoData = 11004;

// 0 for 0; the socket number for the errno values that have one; any other errno as itself.
uint16_t WinSockErrorFromErrno(int error_number);

// 0 for 0; 11001-11004 for the resolver's answers about the name; errno_at_failure is used for
// EAI_SYSTEM.
uint16_t WinSockErrorFromResolver(int gai_error, int errno_at_failure);

}  // namespace tarsil

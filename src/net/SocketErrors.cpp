#include "net/SocketErrors.h"

#include <netdb.h>

#include <cerrno>

namespace tarsil {

uint16_t WinSockErrorFromErrno(int error_number) {
  switch (error_number) {
    case 0:
      return 0;
    case EINTR:
      return kWsaEIntr;
    case EACCES:
    case EPERM:
      return kWsaEAcces;
    case EFAULT:
      return kWsaEFault;
    case EINVAL:
      return kWsaEInval;
    case EMFILE:
    case ENFILE:
      return kWsaEMFile;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINPROGRESS:
      return kWsaEWouldBlock;
    case EALREADY:
      return kWsaEAlready;
    case EBADF:
    case ENOTSOCK:
      return kWsaENotSock;
    case EMSGSIZE:
      return kWsaEMsgSize;
    case EOPNOTSUPP:
      return kWsaEOpNotSupp;
    case EAFNOSUPPORT:
      return kWsaEAfNoSupport;
    case EADDRINUSE:
      return kWsaEAddrInUse;
    case EADDRNOTAVAIL:
      return kWsaEAddrNotAvail;
    case ENETDOWN:
      return kWsaENetDown;
    case ENETUNREACH:
      return kWsaENetUnreach;
    case ENETRESET:
      return kWsaENetReset;
    case ECONNABORTED:
      return kWsaEConnAborted;
    case ECONNRESET:
    case EPIPE:
      return kWsaEConnReset;
    case ENOBUFS:
    case ENOMEM:
      return kWsaENoBufs;
    case EISCONN:
      return kWsaEIsConn;
    case ENOTCONN:
      return kWsaENotConn;
    case ETIMEDOUT:
      return kWsaETimedOut;
    case ECONNREFUSED:
      return kWsaEConnRefused;
    case EHOSTDOWN:
      return kWsaEHostDown;
    case EHOSTUNREACH:
      return kWsaEHostUnreach;
    default:
      return static_cast<uint16_t>(error_number);
  }
}

uint16_t WinSockErrorFromResolver(int gai_error, int errno_at_failure) {
  switch (gai_error) {
    case 0:
      return 0;
    case EAI_NONAME:
      return kWsaHostNotFound;
    case EAI_AGAIN:
      return kWsaTryAgain;
    case EAI_FAIL:
      return kWsaNoRecovery;
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:  // the name exists but has no IPv4 address
#endif
      return kWsaNoData;
    case EAI_MEMORY:
      return kWsaENoBufs;
    case EAI_SYSTEM: {
      const uint16_t mapped = WinSockErrorFromErrno(errno_at_failure);
      return mapped != 0 ? mapped : kWsaNoRecovery;
    }
    default:  // bad flags, family or service: a fault of the request itself
      return kWsaEInval;
  }
}

}  // namespace tarsil

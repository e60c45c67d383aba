// AsyncSocket: a file sent straight from the kernel's cache with sendfile(2), for uploads over
// plain connections. Would-block, the writable notification and connection errors behave as for
// SendBytes; what only the file's side can cause is left to the caller's own read.
#include <pthread.h>
#include <sys/sendfile.h>
#include <sys/socket.h>

#include <cerrno>
#include <csignal>
#include <ctime>

#include "net/AsyncSocket.h"
#include "net/SocketErrors.h"

namespace tarsil {
namespace {

// The errors of sendfile(2) that come from the connection rather than from the file.
bool IsConnectionErrno(int error_number) {
  switch (error_number) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EPIPE:
    case ECONNRESET:
    case ECONNABORTED:
    case ENOTCONN:
    case ENOBUFS:
    case ETIMEDOUT:
    case ENETDOWN:
    case ENETUNREACH:
    case ENETRESET:
    case EHOSTDOWN:
    case EHOSTUNREACH:
      return true;
    default:
      return false;
  }
}

// sendfile(2) has no MSG_NOSIGNAL: a connection the peer has closed fails with EPIPE here
// instead of ending the process. errno is that of the call.
ssize_t SendFileWithoutSigpipe(int socket, int file, size_t count) {
  sigset_t pipe_signal;
  sigset_t before;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, &before);
  sigset_t pending;
  sigpending(&pending);
  const bool was_pending = sigismember(&pending, SIGPIPE) == 1;
  ssize_t sent;
  do sent = sendfile(socket, file, nullptr, count);
  while (sent < 0 && errno == EINTR);
  const int saved = errno;
  if (sent < 0 && saved == EPIPE && !was_pending) {
    const timespec no_wait{};
    while (sigtimedwait(&pipe_signal, nullptr, &no_wait) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  errno = saved;
  return sent;
}

}  // namespace

size_t AsyncSocket::SendFile(int file, size_t count) {
  if (!handle_.valid()) {
    last_error_ = kWsaENotSock;
    return 0;
  }
  if (tls_) {
    last_error_ = kWsaEOpNotSupp;  // TLS needs the bytes in our hands
    return 0;
  }
  const ssize_t result = SendFileWithoutSigpipe(handle_.get(), file, count);
  const int error_number = errno;
  if (result == 0) {
    last_error_ = 0;  // the file has no more
    return 0;
  }
  if (result < 0 && !IsConnectionErrno(error_number)) {
    // The file's side failed, not the connection: a plain read says what it is.
    last_error_ = kWsaEOpNotSupp;
    return 0;
  }
  if (result < 0 && (error_number == EAGAIN || error_number == EWOULDBLOCK) &&
      mode_ == Mode::kStream && !write_armed_) {
    write_armed_ = true;
    UpdateWatch();
  }
  return Transferred(result, error_number);
}

}  // namespace tarsil

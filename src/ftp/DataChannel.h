// DataChannel: the engine's data side. It owns the data socket and the listening socket of
// active mode, the local file of the transfer in progress with its counters and the state of its
// data connection, final reply and abort, and the one transfer buffer, made by the first transfer
// and kept for the engine's life. Owned by the engine's context; loop thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ftp/ReplyHandler.h"
#include "ftp/TransferFile.h"
#include "net/AsyncSocket.h"

namespace tarsil {

// Where the transfer in progress stands. A plain record the transfer and listing steps share.
struct TransferState {
  ReplyHandler data_step;  // the step once PASV, EPSV or PORT has set up the data connection
  std::string remote_name;
  std::string local_name;
  TransferFile local_file;
  bool data_closed = true;  // the data connection of this request has finished
  bool final_reply_seen = false;
  bool data_started = false;     // its data connection opened
  bool transfer_sent = false;    // RETR, STOR, APPE or LIST has gone out
  int abort_replies = 0;         // replies still awaited after ABOR
  std::string aborted_reply;     // the aborted command's own final reply
  bool abort_completed = false;  // the positive final reply had come before the abort
  bool abort_failed = false;     // the abort's error has been raised
  bool abort_waiting = false;    // the grace is over (or the server answered)
  bool abort_answered = false;   // some reply came after ABOR
  bool abort_command = false;    // the aborted request is a command without data connection
  bool data_failed = false;      // the data connection failed before the final reply
  std::string failure_text;      // its words when they say more than the plain failure
  int64_t remote_size = 0;
  int64_t upload_size = 0;
  int64_t restart_offset = 0;
  int64_t bytes_transferred = 0;
  bool accept_pending = false;  // a connection reached the listening socket before Wire
  uint64_t data_serial = 0;     // changes with every data connection wired: stale notices drop
  size_t send_begin = 0;        // the part of the transfer buffer not yet sent
  size_t send_end = 0;
  bool upload_eof = false;      // the local file ended before the upload size
  std::vector<char> file_held;  // received bytes a full FIFO has not taken yet
  bool close_held = false;      // the data connection closed while bytes were held
  uint16_t held_close_error = 0;
};

class DataChannel {
 public:
  // A download receives, and an upload sends, at most this much per call: one block, reported
  // once. Block sizes are no behaviour; the number of calls per byte is what a transfer costs.
  static constexpr size_t kTransferBlock = size_t{256} << 10;
  // Upload blocks while the owner pauses after every block (a throttle the user asked for).
  static constexpr size_t kThrottledSendBlock = 1514;
  // What an upload's connection may hold unsent in the kernel. A sender that queues more than the
  // server takes leaves the server's side to push it out (window updates, a full receive buffer,
  // segments out of order), and the server slows down; curbed, our own sends carry the bytes.
  static constexpr size_t kUploadUnsentLimit = size_t{32} << 10;

  explicit DataChannel(EventLoop& loop);
  ~DataChannel();
  DataChannel(const DataChannel&) = delete;
  DataChannel& operator=(const DataChannel&) = delete;

  // The sockets themselves, for the steps that wire, connect and accept the data connection.
  AsyncSocket& Socket() { return socket_; }
  AsyncSocket& Listener() { return listener_; }
  void CloseSockets();  // the data connection and the listening socket, if any
  bool HasConnection() const { return socket_.Handle() >= 0; }  // a data socket is held
  void CloseConnection() { socket_.CloseSocket(); }
  // No further connection is taken: the listening socket's slot is cleared and it closes.
  void CloseListener();
  uint16_t LastError() const { return socket_.LastError(); }  // of the data connection
  const TlsChannel* Tls() const { return socket_.Tls(); }
  const std::string& TlsFailure() const { return socket_.TlsFailure(); }

  TransferState& State() { return state_; }
  const TransferState& State() const { return state_; }

  // The one buffer of the transfers, kTransferBlock bytes, made at the first call.
  char* TransferBuffer();
  int TransferBufferAllocations() const { return buffer_allocations_; }
  size_t SendBlock() const { return send_block_; }  // upload block size in force
  void SetSendBlock(size_t bytes) { send_block_ = bytes; }
  bool AppendUpload() const { return append_upload_; }  // APPE instead of STOR
  void SetAppendUpload(bool on) { append_upload_ = on; }

 private:
  AsyncSocket socket_;
  AsyncSocket listener_;
  TransferState state_;
  std::vector<char> buffer_;
  int buffer_allocations_ = 0;  // stays at 1 however many transfers run
  size_t send_block_ = kTransferBlock;
  bool append_upload_ = false;
};

}  // namespace tarsil

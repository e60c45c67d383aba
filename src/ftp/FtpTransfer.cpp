// FtpEngine: downloads (RETR) and uploads (STOR or APPE) with SIZE, REST and the resume question,
// the download reader, the upload sender and the transfer closer. A transfer ends when both its
// data connection has closed and its final reply has come, in either order. Sizes and counts are
// 64-bit.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "ftp/FtpDataSteps.h"
#include "ftp/FtpDataText.h"
#include "ftp/FtpTlsSteps.h"
#include "net/SocketErrors.h"

namespace tarsil {
namespace {

// A readable notification, or a turn of the upload, moves at most this much (and at most
// kBlocksPerWakeUp blocks) before the loop gets its turn again: about a millisecond of work on
// loopback, so replies, timers, an abort and the window stay live during a long transfer.
constexpr size_t kBytesPerWakeUp = size_t{1} << 20;
constexpr int kBlocksPerWakeUp = 256;
// ... and never longer than this: the progress handler may take its time (the option that
// pauses after every upload block does), and the window must still see a click between blocks.
constexpr auto kTurnBudget = std::chrono::milliseconds(50);

const char* TypeLetter(FtpTransferType mode) { return mode == AsciiTransfer ? "A" : "I"; }

}  // namespace

void FtpEngine::CloseLocalFile() {
  data_.local_file.Close();
  FtpDataSteps::DropHeld(*this);
}

void FtpDataSteps::FinalTransferReply(FtpEngine& ftp, const std::string& reply) {
  ftp.timers_.KillTimer(kDataReplyTimer);
  if (ReplyIs(reply, '2')) {
    // The server counts it done, but what reached us was cut short.
    if (ftp.data_.data_failed) return Fail(ftp, ftpErrorDataConnection, DataFailureText(ftp));
    ftp.data_.final_reply_seen = true;
    if (ftp.data_.data_closed) ftp.FinishRequest();
    return;
  }
  CloseDataSockets(ftp);
  Fail(ftp, ftpErrorAccessDenied, kTextAccessDenied);
}

bool FtpDataSteps::BeginTransfer(FtpEngine& ftp, FtpOperation operation,
                                 std::string_view remote_file, std::string_view local_file) {
  ftp.current_operation_ = operation;
  ftp.data_.transfer_sent = false;
  ftp.data_.bytes_transferred = 0;  // this transfer's count, also when it fails before any data
  ftp.data_.remote_name = remote_file;
  ftp.data_.local_name = local_file;
  ftp.data_.local_file.Close();
  ftp.data_.file_held.clear();
  ftp.data_.close_held = false;
  if (remote_file.empty()) {
    Fail(ftp, ftpErrorNoFile);
    return false;
  }
  if (local_file.empty()) {
    Fail(ftp, ftpErrorLocalOpen);
    return false;
  }
  return true;
}

void FtpDataSteps::Decline(FtpEngine& ftp) {
  ftp.data_.local_file.Close();
  ftp.current_operation_ = FtpOperation::kIdle;
  ftp.FinishRequest();
}

// ---- Download ------------------------------------------------------------------------------

void FtpEngine::RetrieveFile(std::string_view remote_file, std::string_view local_file) {
  if (!BeginRequest()) return;
  if (FtpDataSteps::BeginTransfer(*this, FtpOperation::kDownload, remote_file, local_file)) {
    ReplyHandler next = kResumeQuestion;
    switch (data_.local_file.OpenForWriting(local_file)) {
      case TransferFile::Opened::kFailed:
        next = {};
        FtpDataSteps::Fail(*this, ftpErrorLocalOpen, FtpDataSteps::StreamOpenText(*this, true));
        break;
      case TransferFile::Opened::kExisting:
        break;
      case TransferFile::Opened::kCreated:
        data_step_ = kRetrStep;
        next = kPasvPortStep;
        break;
    }
    if (next) {
      data_.data_closed = false;
      data_.final_reply_seen = false;
      FtpDataSteps::SetType(*this, TypeLetter(transfer_mode_), next);
    }
  }
  FtpDataSteps::WaitWhileBusy(*this);
}

// The local file exists: the owner says whether to resume it. The TYPE reply is not looked at.
void FtpDataSteps::ResumeQuestion(FtpEngine& ftp, const std::string&) {
  ftp.data_.remote_size = 0;
  std::string answer;
  ftp.AskInfo(needResumeChoice, answer);
  if (answer == "Resume") {
    if (!ftp.resume_supported_) {
      ftp.RaiseInfo(ftpInfoResumeNotSupported);
      return Decline(ftp);
    }
    if (ftp.size_supported_) {
      ftp.SendCommand("SIZE " + ftp.data_.remote_name, kDownloadSizeReply);
    } else {
      DownloadSizeReply(ftp, "500");
    }
  } else if (answer == "Overwrite" || answer.empty()) {
    ftp.data_step_ = kRetrStep;
    PasvPortStep(ftp, kSyntheticDone);
  } else {
    Decline(ftp);
  }
}

void FtpDataSteps::DownloadSizeReply(FtpEngine& ftp, const std::string& reply) {
  FtpDataState& d = ftp.data_;
  const int64_t local_size = d.local_file.Size();
  if (ReplyIs(reply, '2')) {
    d.remote_size = ParseSizeReply(reply).value_or(0);
    if (d.remote_size >= local_size && local_size != 0) {
      if (d.remote_size == local_size) {
        ftp.RaiseInfo(ftpInfoNothingToDo, kTextNothingToDo);
        return Decline(ftp);
      }
      d.restart_offset = local_size;
      d.local_file.SeekTo(local_size);
      ftp.data_step_ = kRestartStep;
      return PasvPortStep(ftp, kSyntheticDone);
    }
    ftp.RaiseInfo(ftpInfoResumeNotSupported, kTextWillOverwrite);
  } else if (reply.compare(0, 2, "50") == 0) {
    // Without SIZE a non-empty local file is taken as complete.
    ftp.size_supported_ = false;
    return DownloadSizeReply(ftp, "213 " + std::to_string(local_size));
  }
  ftp.data_step_ = kRetrStep;
  PasvPortStep(ftp, kSyntheticDone);
}

void FtpDataSteps::RetrStep(FtpEngine& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2')) return Fail(ftp, ftpErrorCommandFailed);
  Wire(ftp, DataWiring::kDownload);
  SendTransferCommand(ftp, "RETR " + ftp.data_.remote_name, kRetrReply);
}

void FtpDataSteps::RestartStep(FtpEngine& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2')) return Fail(ftp, ftpErrorCommandFailed);
  Wire(ftp, DataWiring::kDownload);
  ftp.SendCommand("REST " + std::to_string(ftp.data_.restart_offset), kRestReply);
}

void FtpDataSteps::RestReply(FtpEngine& ftp, const std::string& reply) {
  if (ReplyIs(reply, '3') && ftp.data_.data_failed) {
    return Fail(ftp, ftpErrorDataConnection, DataFailureText(ftp));
  }
  if (ReplyIs(reply, '3')) {
    SendTransferCommand(ftp, "RETR " + ftp.data_.remote_name, kRetrReply);
    return;
  }
  CloseDataSockets(ftp);
  Fail(ftp, ftpErrorResumeFailed, kTextResumeDownloadFailed);
}

void FtpDataSteps::RetrReply(FtpEngine& ftp, const std::string& reply) {
  if (ReplyIs(reply, '1')) {
    const std::string size = PreliminarySize(reply);
    if (!size.empty()) ftp.RaiseInfo(ftpInfoFileSize, size);
    return;
  }
  FinalTransferReply(ftp, reply);
}

// The one buffer of the engine's transfers, made by the first and kept.
char* FtpDataSteps::TransferBuffer(FtpEngine& ftp) {
  FtpDataState& d = ftp.data_;
  if (d.transfer_buffer.empty()) {
    d.transfer_buffer.resize(FtpDataState::kTransferBlock);
    ++d.transfer_buffer_allocations;
  }
  return d.transfer_buffer.data();
}

// Each receive takes what the socket holds, up to one block; the block is counted, reported and
// written before the next is received.
void FtpDataSteps::DownloadReader(FtpEngine& ftp) {
  FtpDataState& d = ftp.data_;
  AsyncSocket& data = ftp.data_socket_;
  if (!d.file_held.empty()) return;  // a full FIFO: nothing more is read until it takes the rest
  char* buffer = TransferBuffer(ftp);
  size_t taken = 0;
  for (int block = 0; block < kBlocksPerWakeUp && taken < kBytesPerWakeUp && data.Handle() >= 0;
       ++block) {
    const size_t count = data.ReceiveBytes(buffer, FtpDataState::kTransferBlock);
    if (count == 0) {
      ReceiveFailed(ftp);
      return;
    }
    taken += count;
    if (!d.local_file.IsOpen()) continue;  // after a write failure the rest is only drained
    d.bytes_transferred += static_cast<int64_t>(count);
    ftp.Raise(ftp.OnDataProgress);
    ftp.RaiseInfo(ftpInfoData);
    if (!WriteReceived(ftp, buffer, count)) return;
  }
}

bool FtpDataSteps::WriteReceived(FtpEngine& ftp, const char* bytes, size_t count) {
  FtpDataState& d = ftp.data_;
  if (count == 0 || !d.local_file.IsOpen()) return true;
  const size_t written = d.local_file.Write(bytes, count);
  if (written < count) {
    if (HoldUnwritten(ftp, bytes + written, count - written)) return false;
    ftp.RaiseError(ftpErrorLocalWrite);
    d.local_file.Close();
  }
  return true;
}

// Our sockets offer every byte before the close, so nothing is left to read here.
void FtpDataSteps::TransferCloser(FtpEngine& ftp) {
  FtpDataState& d = ftp.data_;
  if (d.data_closed) return;
  const uint16_t error = ftp.data_socket_.LastError();
  if (!d.file_held.empty() && !ftp.aborting_) {
    // The end of the data waits for the FIFO to take what is held.
    d.close_held = true;
    d.held_close_error = error;
    return;
  }
  CloseTransfer(ftp, error);
}

void FtpDataSteps::CloseTransfer(FtpEngine& ftp, uint16_t error) {
  FtpDataState& d = ftp.data_;
  if (d.data_closed) return;
  d.file_held.clear();
  d.close_held = false;
  d.data_closed = true;
  CloseDataSockets(ftp);
  d.local_file.Close();
  ftp.RaiseInfo(ftpInfoTransferComplete);
  if (ClosedByFailure(ftp, error)) NoteDataFailure(ftp, error);
  if (d.data_failed) {
    DataFailedEnd(ftp);
  } else if (d.final_reply_seen && d.abort_replies == 0) {
    ftp.FinishRequest();
  }
  ftp.Raise(ftp.OnRetrieveComplete);
}

// ---- Upload --------------------------------------------------------------------------------

void FtpEngine::StoreFile(std::string_view local_file, std::string_view remote_file) {
  if (!BeginRequest()) return;
  if (FtpDataSteps::BeginTransfer(*this, FtpOperation::kUpload, remote_file, local_file)) {
    if (!data_.local_file.OpenForReading(local_file)) {
      const int error = data_.local_file.Error();
      FtpDataSteps::Fail(*this, ftpErrorLocalOpen);
      throw FtpLocalFileError(
          "Cannot open file \"" + std::string(local_file) + "\": " +
          (error == ENXIO ? data_.local_file.ErrorText(false) : std::string(std::strerror(error))));
    }
    FtpDataSteps::SetType(*this, TypeLetter(transfer_mode_), kUploadCheck);
  }
  FtpDataSteps::WaitWhileBusy(*this);
}

// The TYPE reply is not looked at.
void FtpDataSteps::UploadCheck(FtpEngine& ftp, const std::string&) {
  ftp.data_.remote_size = 0;
  if (ftp.resume_supported_ && ftp.size_supported_) {
    ftp.SendCommand("SIZE " + ftp.data_.remote_name, kUploadSizeReply);
    return;
  }
  ftp.data_step_ = kStorStep;
  UploadPasvPortStep(ftp, kSyntheticDone);
}

void FtpDataSteps::UploadSizeReply(FtpEngine& ftp, const std::string& reply) {
  FtpDataState& d = ftp.data_;
  ReplyHandler step = kStorStep;
  if (ReplyIs(reply, '2')) {
    d.remote_size = ParseSizeReply(reply).value_or(0);
    if (d.remote_size != 0) {
      std::string answer;
      ftp.AskInfo(needResumeChoice, answer);
      if (answer == "Resume") {
        if (d.remote_size > d.local_file.Size()) {
          // The remote file is already longer than ours: it cannot be a part of it.
          ftp.RaiseInfo(ftpInfoResumeNotSupported, kTextWillOverwrite);
        } else {
          d.local_file.SeekTo(d.remote_size);
          step = kRestartStoreStep;
        }
      } else if (!answer.empty() && answer != "Overwrite") {
        return Decline(ftp);
      }
    }
  } else if (reply.compare(0, 2, "50") == 0) {
    ftp.size_supported_ = false;
  }
  ftp.data_step_ = step;
  UploadPasvPortStep(ftp, kSyntheticDone);
}

void FtpDataSteps::StorStep(FtpEngine& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2')) return Fail(ftp, ftpErrorCommandFailed);
  Wire(ftp, DataWiring::kUpload);
  const char* verb = ftp.data_.append_upload ? "APPE " : "STOR ";
  SendTransferCommand(ftp, verb + ftp.data_.remote_name, kStorReply);
}

void FtpDataSteps::RestartStoreStep(FtpEngine& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2')) return Fail(ftp, ftpErrorCommandFailed);
  Wire(ftp, DataWiring::kUpload);
  ftp.SendCommand("REST " + std::to_string(ftp.data_.remote_size), kRestStoreReply);
}

void FtpDataSteps::RestStoreReply(FtpEngine& ftp, const std::string& reply) {
  if (ReplyIs(reply, '3') && ftp.data_.data_failed) {
    return Fail(ftp, ftpErrorDataConnection, DataFailureText(ftp));
  }
  if (ReplyIs(reply, '3')) {
    const char* verb = ftp.data_.append_upload ? "APPE " : "STOR ";
    SendTransferCommand(ftp, verb + ftp.data_.remote_name, kStorReply);
    return;
  }
  CloseDataSockets(ftp);
  Fail(ftp, ftpErrorResumeFailed, kTextResumeUploadFailed);
}

// A preliminary reply keeps the handler for the final one, which ends the transfer together
// with the close of its data connection (as for downloads).
void FtpDataSteps::StorReply(FtpEngine& ftp, const std::string& reply) {
  if (ReplyIs(reply, '1')) return;
  FinalTransferReply(ftp, reply);
}

bool FtpDataSteps::UploadAtEnd(FtpEngine& ftp) {
  const FtpDataState& d = ftp.data_;
  if (d.send_begin < d.send_end) return false;
  return d.upload_eof || !d.local_file.IsOpen() || d.local_file.Position() >= d.upload_size;
}

// Reads the next part of the file, one large block or several small ones; false after a read
// failure (already handled).
bool FtpDataSteps::FillSendBuffer(FtpEngine& ftp) {
  FtpDataState& d = ftp.data_;
  char* buffer = TransferBuffer(ftp);
  const int64_t left = d.upload_size - d.local_file.Position();
  const size_t want =
      static_cast<size_t>(std::min<int64_t>(left, int64_t{FtpDataState::kTransferBlock}));
  const ssize_t got = d.local_file.Read(buffer, want);
  if (got < 0 && d.local_file.IsStream() && d.local_file.WouldBlock()) {
    // A FIFO with nothing in it yet: the sender goes on when its writer has written more.
    d.local_file.WhenReady(ftp.loop(), false, [&ftp] { UploadSender(ftp); });
    return false;
  }
  if (got < 0) {
    ftp.RaiseError(ftpErrorLocalRead);
    d.local_file.Close();
    CloseDataSockets(ftp);
    ftp.request_ok_ = false;
    return false;
  }
  d.send_begin = 0;
  d.send_end = static_cast<size_t>(got);
  if (got == 0) d.upload_eof = true;  // the file became shorter: what there was has gone
  return true;
}

void FtpDataSteps::UploadSender(FtpEngine& ftp) {
  FtpDataState& d = ftp.data_;
  AsyncSocket& data = ftp.data_socket_;
  if (d.data_closed || !d.data_started || data.Handle() < 0) return;
  if (ftp.aborting_) {
    ftp.request_ok_ = false;
    return EndUpload(ftp);
  }
  const uint64_t serial = d.data_serial;
  const auto turn_start = std::chrono::steady_clock::now();
  size_t moved = 0;
  for (int block = 0; !UploadAtEnd(ftp); ++block) {
    if (block == kBlocksPerWakeUp || moved >= kBytesPerWakeUp ||
        (block > 0 && std::chrono::steady_clock::now() - turn_start >= kTurnBudget)) {
      // Our share for this turn: replies, timers and an abort get theirs before the rest.
      ftp.RaiseInfo(ftpInfoData);
      ftp.PostNotice(kUploadContinueMessage, serial);
      return;
    }
    if (d.send_begin == d.send_end) {
      if (!FillSendBuffer(ftp)) return;
      if (UploadAtEnd(ftp)) break;
    }
    const size_t length = std::min(d.send_block, d.send_end - d.send_begin);
    const bool last_block = d.send_begin + length == d.send_end &&
                            (d.upload_eof || d.local_file.Position() >= d.upload_size);
    data.SetReportWouldBlock(true);
    data.SetMoreToCome(!last_block);
    const size_t sent = data.SendBytes(d.transfer_buffer.data() + d.send_begin, length);
    data.SetMoreToCome(false);
    data.SetReportWouldBlock(false);
    const uint16_t error = sent < length ? data.LastError() : 0;
    d.send_begin += sent;
    moved += sent;
    d.bytes_transferred += static_cast<int64_t>(sent);
    if (error != 0 && error != kWsaEWouldBlock) {
      ftp.Raise(ftp.OnDataProgress);
      DataFailed(ftp);
      return;
    }
    if (sent > 0) ftp.Raise(ftp.OnDataProgress);
    // A full socket ends the round: its writable notification brings the next one.
    if (error == kWsaEWouldBlock || !ftp.request_ok_) break;
    if (d.data_serial != serial || data.Handle() < 0) return;  // ended from a handler
  }
  ftp.RaiseInfo(ftpInfoData);
  if (ftp.request_ok_ && !UploadAtEnd(ftp)) return;
  EndUpload(ftp);
}

// Closing the data connection tells the server the file has ended; the closer does the rest.
void FtpDataSteps::EndUpload(FtpEngine& ftp) {
  if (ftp.data_socket_.Handle() >= 0) {
    ftp.data_socket_.CloseSocket();
  } else {
    TransferCloser(ftp);
  }
}

}  // namespace tarsil

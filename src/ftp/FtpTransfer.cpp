// The FTP engine's downloads (RETR) and uploads (STOR or APPE) with SIZE, REST and the resume
// question, the download reader, the upload sender and the transfer closer. A transfer ends when
// both its data connection has closed and its final reply has come, in either order. Sizes and
// counts are 64-bit.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "ftp/FtpDataSteps.h"
#include "ftp/FtpDataText.h"
#include "ftp/FtpEngine.h"
#include "ftp/FtpTlsSteps.h"
#include "ftp/FtpTransferSteps.h"
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

constexpr ReplyHandler kResumeQuestion{"ResumeQuestion", &FtpTransferSteps::ResumeQuestion};
constexpr ReplyHandler kDownloadSizeReply{"DownloadSize", &FtpTransferSteps::DownloadSizeReply};
constexpr ReplyHandler kRetrStep{"RetrStep", &FtpTransferSteps::RetrStep};
constexpr ReplyHandler kRestartStep{"RestartStep", &FtpTransferSteps::RestartStep};
constexpr ReplyHandler kRestReply{"Rest", &FtpTransferSteps::RestReply};
constexpr ReplyHandler kRetrReply{"Retr", &FtpTransferSteps::RetrReply};
constexpr ReplyHandler kUploadCheck{"UploadCheck", &FtpTransferSteps::UploadCheck};
constexpr ReplyHandler kUploadSizeReply{"UploadSize", &FtpTransferSteps::UploadSizeReply};
constexpr ReplyHandler kStorStep{"StorStep", &FtpTransferSteps::StorStep};
constexpr ReplyHandler kRestartStoreStep{"RestartStoreStep", &FtpTransferSteps::RestartStoreStep};
constexpr ReplyHandler kRestStoreReply{"RestStore", &FtpTransferSteps::RestStoreReply};
constexpr ReplyHandler kStorReply{"Stor", &FtpTransferSteps::StorReply};

const char* TypeLetter(FtpTransferType mode) { return mode == AsciiTransfer ? "A" : "I"; }

}  // namespace

void FtpTransferSteps::CloseLocalFile(EngineContext& ftp) {
  ftp.Transfer().local_file.Close();
  DropHeld(ftp);
}

bool FtpTransferSteps::BeginTransfer(EngineContext& ftp, FtpOperation operation,
                                     std::string_view remote_file, std::string_view local_file) {
  TransferState& transfer = ftp.Transfer();
  ftp.State().operation = operation;
  transfer.transfer_sent = false;
  transfer.bytes_transferred = 0;  // this transfer's count, also when it fails before any data
  transfer.remote_name = remote_file;
  transfer.local_name = local_file;
  transfer.local_file.Close();
  transfer.file_held.clear();
  transfer.close_held = false;
  if (remote_file.empty()) {
    ftp.Fail(ftpErrorNoFile);
    return false;
  }
  if (local_file.empty()) {
    ftp.Fail(ftpErrorLocalOpen);
    return false;
  }
  return true;
}

void FtpTransferSteps::Decline(EngineContext& ftp) {
  ftp.Transfer().local_file.Close();
  ftp.State().operation = FtpOperation::kIdle;
  ftp.FinishRequest();
}

// ---- Download ------------------------------------------------------------------------------

void FtpTransferSteps::Retrieve(EngineContext& ftp, std::string_view remote_file,
                                std::string_view local_file) {
  TransferState& transfer = ftp.Transfer();
  if (!ftp.BeginRequest()) return;
  if (BeginTransfer(ftp, FtpOperation::kDownload, remote_file, local_file)) {
    ReplyHandler next = kResumeQuestion;
    switch (transfer.local_file.OpenForWriting(local_file)) {
      case TransferFile::Opened::kFailed:
        next = {};
        ftp.Fail(ftpErrorLocalOpen, StreamOpenText(ftp, true));
        break;
      case TransferFile::Opened::kExisting:
        break;
      case TransferFile::Opened::kCreated:
        transfer.data_step = kRetrStep;
        next = kPasvPortStep;
        break;
    }
    if (next) {
      transfer.data_closed = false;
      transfer.final_reply_seen = false;
      FtpDataSteps::SetType(ftp, TypeLetter(ftp.Settings().transfer_mode), next);
    }
  }
  ftp.WaitWhileBusy();
}

// The local file exists: the owner says whether to resume it. The TYPE reply is not looked at.
void FtpTransferSteps::ResumeQuestion(EngineContext& ftp, const std::string&) {
  TransferState& transfer = ftp.Transfer();
  transfer.remote_size = 0;
  std::string answer;
  ftp.AskInfo(needResumeChoice, answer);
  if (answer == "Resume") {
    if (!ftp.State().resume_supported) {
      ftp.RaiseInfo(ftpInfoResumeNotSupported);
      return Decline(ftp);
    }
    if (ftp.State().size_supported) {
      ftp.SendCommand("SIZE " + transfer.remote_name, kDownloadSizeReply);
    } else {
      DownloadSizeReply(ftp, "500");
    }
  } else if (answer == "Overwrite" || answer.empty()) {
    transfer.data_step = kRetrStep;
    FtpDataSteps::PasvPortStep(ftp, kSyntheticDone);
  } else {
    Decline(ftp);
  }
}

void FtpTransferSteps::DownloadSizeReply(EngineContext& ftp, const std::string& reply) {
  TransferState& transfer = ftp.Transfer();
  TransferState& d = ftp.Transfer();
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
      transfer.data_step = kRestartStep;
      return FtpDataSteps::PasvPortStep(ftp, kSyntheticDone);
    }
    ftp.RaiseInfo(ftpInfoResumeNotSupported, kTextWillOverwrite);
  } else if (reply.compare(0, 2, "50") == 0) {
    // Without SIZE a non-empty local file is taken as complete.
    ftp.State().size_supported = false;
    return DownloadSizeReply(ftp, "213 " + std::to_string(local_size));
  }
  transfer.data_step = kRetrStep;
  FtpDataSteps::PasvPortStep(ftp, kSyntheticDone);
}

void FtpTransferSteps::RetrStep(EngineContext& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2')) return ftp.Fail(ftpErrorCommandFailed);
  FtpDataSteps::Wire(ftp, DataWiring::kDownload);
  FtpDataSteps::SendTransferCommand(ftp, "RETR " + ftp.Transfer().remote_name, kRetrReply);
}

void FtpTransferSteps::RestartStep(EngineContext& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2')) return ftp.Fail(ftpErrorCommandFailed);
  FtpDataSteps::Wire(ftp, DataWiring::kDownload);
  ftp.SendCommand("REST " + std::to_string(ftp.Transfer().restart_offset), kRestReply);
}

void FtpTransferSteps::RestReply(EngineContext& ftp, const std::string& reply) {
  TransferState& transfer = ftp.Transfer();
  if (ReplyIs(reply, '3') && transfer.data_failed) {
    return ftp.Fail(ftpErrorDataConnection, FtpDataSteps::DataFailureText(ftp));
  }
  if (ReplyIs(reply, '3')) {
    FtpDataSteps::SendTransferCommand(ftp, "RETR " + transfer.remote_name, kRetrReply);
    return;
  }
  ftp.Data().CloseSockets();
  ftp.Fail(ftpErrorResumeFailed, kTextResumeDownloadFailed);
}

void FtpTransferSteps::RetrReply(EngineContext& ftp, const std::string& reply) {
  if (ReplyIs(reply, '1')) {
    const std::string size = PreliminarySize(reply);
    if (!size.empty()) ftp.RaiseInfo(ftpInfoFileSize, size);
    return;
  }
  FtpDataSteps::FinalTransferReply(ftp, reply);
}

// Each receive takes what the socket holds, up to one block; the block is counted, reported and
// written before the next is received.
void FtpTransferSteps::DownloadReader(EngineContext& ftp) {
  TransferState& d = ftp.Transfer();
  AsyncSocket& data = ftp.Data().Socket();
  if (!d.file_held.empty()) return;  // a full FIFO: nothing more is read until it takes the rest
  char* buffer = ftp.Data().TransferBuffer();
  size_t taken = 0;
  for (int block = 0; block < kBlocksPerWakeUp && taken < kBytesPerWakeUp && data.Handle() >= 0;
       ++block) {
    const size_t count = data.ReceiveBytes(buffer, DataChannel::kTransferBlock);
    if (count == 0) {
      FtpDataSteps::ReceiveFailed(ftp);
      return;
    }
    taken += count;
    if (!d.local_file.IsOpen()) continue;  // after a write failure the rest is only drained
    d.bytes_transferred += static_cast<int64_t>(count);
    ftp.Raise(&FtpEvents::OnDataProgress);
    ftp.RaiseInfo(ftpInfoData);
    if (!WriteReceived(ftp, buffer, count)) return;
  }
}

bool FtpTransferSteps::WriteReceived(EngineContext& ftp, const char* bytes, size_t count) {
  TransferState& d = ftp.Transfer();
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
void FtpTransferSteps::TransferCloser(EngineContext& ftp) {
  TransferState& d = ftp.Transfer();
  if (d.data_closed) return;
  const uint16_t error = ftp.Data().Socket().LastError();
  if (!d.file_held.empty() && !ftp.State().aborting) {
    // The end of the data waits for the FIFO to take what is held.
    d.close_held = true;
    d.held_close_error = error;
    return;
  }
  CloseTransfer(ftp, error);
}

void FtpTransferSteps::CloseTransfer(EngineContext& ftp, uint16_t error) {
  TransferState& d = ftp.Transfer();
  if (d.data_closed) return;
  d.file_held.clear();
  d.close_held = false;
  d.data_closed = true;
  ftp.Data().CloseSockets();
  d.local_file.Close();
  ftp.RaiseInfo(ftpInfoTransferComplete);
  if (FtpDataSteps::ClosedByFailure(ftp, error)) FtpDataSteps::NoteDataFailure(ftp, error);
  if (d.data_failed) {
    FtpDataSteps::DataFailedEnd(ftp);
  } else if (d.final_reply_seen && d.abort_replies == 0) {
    ftp.FinishRequest();
  }
  ftp.Raise(&FtpEvents::OnRetrieveComplete);
}

// ---- Upload --------------------------------------------------------------------------------

void FtpTransferSteps::Store(EngineContext& ftp, std::string_view local_file,
                             std::string_view remote_file) {
  TransferState& transfer = ftp.Transfer();
  if (!ftp.BeginRequest()) return;
  if (BeginTransfer(ftp, FtpOperation::kUpload, remote_file, local_file)) {
    if (!transfer.local_file.OpenForReading(local_file)) {
      const int error = transfer.local_file.Error();
      ftp.Fail(ftpErrorLocalOpen);
      throw FtpLocalFileError("Cannot open file \"" + std::string(local_file) + "\": " +
                              (error == ENXIO ? transfer.local_file.ErrorText(false)
                                              : std::string(std::strerror(error))));
    }
    FtpDataSteps::SetType(ftp, TypeLetter(ftp.Settings().transfer_mode), kUploadCheck);
  }
  ftp.WaitWhileBusy();
}

// The TYPE reply is not looked at.
void FtpTransferSteps::UploadCheck(EngineContext& ftp, const std::string&) {
  TransferState& transfer = ftp.Transfer();
  transfer.remote_size = 0;
  if (ftp.State().resume_supported && ftp.State().size_supported) {
    ftp.SendCommand("SIZE " + transfer.remote_name, kUploadSizeReply);
    return;
  }
  transfer.data_step = kStorStep;
  FtpDataSteps::UploadPasvPortStep(ftp, kSyntheticDone);
}

void FtpTransferSteps::UploadSizeReply(EngineContext& ftp, const std::string& reply) {
  TransferState& d = ftp.Transfer();
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
    ftp.State().size_supported = false;
  }
  ftp.Transfer().data_step = step;
  FtpDataSteps::UploadPasvPortStep(ftp, kSyntheticDone);
}

void FtpTransferSteps::StorStep(EngineContext& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2')) return ftp.Fail(ftpErrorCommandFailed);
  FtpDataSteps::Wire(ftp, DataWiring::kUpload);
  const char* verb = ftp.Data().AppendUpload() ? "APPE " : "STOR ";
  FtpDataSteps::SendTransferCommand(ftp, verb + ftp.Transfer().remote_name, kStorReply);
}

void FtpTransferSteps::RestartStoreStep(EngineContext& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2')) return ftp.Fail(ftpErrorCommandFailed);
  FtpDataSteps::Wire(ftp, DataWiring::kUpload);
  ftp.SendCommand("REST " + std::to_string(ftp.Transfer().remote_size), kRestStoreReply);
}

void FtpTransferSteps::RestStoreReply(EngineContext& ftp, const std::string& reply) {
  TransferState& transfer = ftp.Transfer();
  if (ReplyIs(reply, '3') && transfer.data_failed) {
    return ftp.Fail(ftpErrorDataConnection, FtpDataSteps::DataFailureText(ftp));
  }
  if (ReplyIs(reply, '3')) {
    const char* verb = ftp.Data().AppendUpload() ? "APPE " : "STOR ";
    FtpDataSteps::SendTransferCommand(ftp, verb + transfer.remote_name, kStorReply);
    return;
  }
  ftp.Data().CloseSockets();
  ftp.Fail(ftpErrorResumeFailed, kTextResumeUploadFailed);
}

// A preliminary reply keeps the handler for the final one, which ends the transfer together
// with the close of its data connection (as for downloads).
void FtpTransferSteps::StorReply(EngineContext& ftp, const std::string& reply) {
  if (ReplyIs(reply, '1')) return;
  FtpDataSteps::FinalTransferReply(ftp, reply);
}

bool FtpTransferSteps::UploadAtEnd(EngineContext& ftp) {
  const TransferState& d = ftp.Transfer();
  if (d.send_begin < d.send_end) return false;
  return d.upload_eof || !d.local_file.IsOpen() || d.local_file.Position() >= d.upload_size;
}

// Reads the next part of the file, one large block or several small ones; false after a read
// failure (already handled).
bool FtpTransferSteps::FillSendBuffer(EngineContext& ftp) {
  TransferState& d = ftp.Transfer();
  char* buffer = ftp.Data().TransferBuffer();
  const int64_t left = d.upload_size - d.local_file.Position();
  const size_t want =
      static_cast<size_t>(std::min<int64_t>(left, int64_t{DataChannel::kTransferBlock}));
  const ssize_t got = d.local_file.Read(buffer, want);
  if (got < 0 && d.local_file.IsStream() && d.local_file.WouldBlock()) {
    // A FIFO with nothing in it yet: the sender goes on when its writer has written more.
    d.local_file.WhenReady(ftp.Loop(), false, [&ftp] { UploadSender(ftp); });
    return false;
  }
  if (got < 0) {
    ftp.RaiseError(ftpErrorLocalRead);
    d.local_file.Close();
    ftp.Data().CloseSockets();
    ftp.State().request_ok = false;
    return false;
  }
  d.send_begin = 0;
  d.send_end = static_cast<size_t>(got);
  if (got == 0) d.upload_eof = true;  // the file became shorter: what there was has gone
  return true;
}

void FtpTransferSteps::UploadSender(EngineContext& ftp) {
  TransferState& d = ftp.Transfer();
  AsyncSocket& data = ftp.Data().Socket();
  if (d.data_closed || !d.data_started || data.Handle() < 0) return;
  if (ftp.State().aborting) {
    ftp.State().request_ok = false;
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
    const size_t length = std::min(ftp.Data().SendBlock(), d.send_end - d.send_begin);
    const bool last_block = d.send_begin + length == d.send_end &&
                            (d.upload_eof || d.local_file.Position() >= d.upload_size);
    data.SetReportWouldBlock(true);
    data.SetMoreToCome(!last_block);
    const size_t sent = data.SendBytes(ftp.Data().TransferBuffer() + d.send_begin, length);
    data.SetMoreToCome(false);
    data.SetReportWouldBlock(false);
    const uint16_t error = sent < length ? data.LastError() : 0;
    d.send_begin += sent;
    moved += sent;
    d.bytes_transferred += static_cast<int64_t>(sent);
    if (error != 0 && error != kWsaEWouldBlock) {
      ftp.Raise(&FtpEvents::OnDataProgress);
      FtpDataSteps::DataFailed(ftp);
      return;
    }
    if (sent > 0) ftp.Raise(&FtpEvents::OnDataProgress);
    // A full socket ends the round: its writable notification brings the next one.
    if (error == kWsaEWouldBlock || !ftp.State().request_ok) break;
    if (d.data_serial != serial || data.Handle() < 0) return;  // ended from a handler
  }
  ftp.RaiseInfo(ftpInfoData);
  if (ftp.State().request_ok && !UploadAtEnd(ftp)) return;
  EndUpload(ftp);
}

// Closing the data connection tells the server the file has ended; the closer does the rest.
void FtpTransferSteps::EndUpload(EngineContext& ftp) {
  if (ftp.Data().Socket().Handle() >= 0) {
    ftp.Data().Socket().CloseSocket();
  } else {
    TransferCloser(ftp);
  }
}

}  // namespace tarsil

// The FTP engine's transfers: a FIFO as the local file of a transfer. It is opened only when its
// other end is there and never waited on: a download holds what a full FIFO cannot take and reads
// nothing more from the data connection until the FIFO has taken it (so the server is slowed down,
// not the loop); an upload waits for its writer through the loop.
#include <cerrno>
#include <string>

#include "ftp/FtpTransferSteps.h"

namespace tarsil {

std::string FtpTransferSteps::StreamOpenText(EngineContext& ftp, bool writing) {
  TransferState& transfer = ftp.Transfer();
  const TransferFile& file = transfer.local_file;
  if (file.Error() != ENXIO) return {};
  return "Cannot open file \"" + transfer.local_name + "\": " + file.ErrorText(writing);
}

bool FtpTransferSteps::HoldUnwritten(EngineContext& ftp, const char* bytes, size_t count) {
  TransferState& d = ftp.Transfer();
  if (!d.local_file.IsStream() || !d.local_file.WouldBlock()) return false;
  d.file_held.assign(bytes, bytes + count);
  d.local_file.WhenReady(ftp.Loop(), true, [&ftp] { WriteHeld(ftp); });
  return true;
}

void FtpTransferSteps::WriteHeld(EngineContext& ftp) {
  TransferState& d = ftp.Transfer();
  const size_t written = d.local_file.Write(d.file_held.data(), d.file_held.size());
  d.file_held.erase(d.file_held.begin(), d.file_held.begin() + static_cast<ptrdiff_t>(written));
  if (!d.file_held.empty()) {
    if (d.local_file.WouldBlock()) {
      d.local_file.WhenReady(ftp.Loop(), true, [&ftp] { WriteHeld(ftp); });
      return;
    }
    // The reader went away: the rest of the transfer is drained without writing.
    ftp.RaiseError(ftpErrorLocalWrite);
    d.local_file.Close();
    d.file_held.clear();
  }
  if (d.close_held) {
    CloseTransfer(ftp, d.held_close_error);
  } else if (ftp.Data().HasConnection()) {
    DownloadReader(ftp);
  }
}

void FtpTransferSteps::DropHeld(EngineContext& ftp) {
  TransferState& d = ftp.Transfer();
  if (d.file_held.empty()) return;
  // The file was closed under a held write (a time-out): the data left is drained unwritten.
  d.file_held.clear();
  if (d.close_held) {
    CloseTransfer(ftp, d.held_close_error);
  } else if (ftp.Data().HasConnection()) {
    DownloadReader(ftp);
  }
}

}  // namespace tarsil

// The FTP engine's listing of the current directory. From the cache when Cache is on and both lists
// are fresh there; otherwise LIST over a data connection, cut into lines, parsed for ServerType
// into the file and folder lists, and written to the cache when it ended without an error. Lines
// end in CR LF or LF alone; NUL bytes are dropped; the last line may lack its line end. A listing
// keeps at most the set number of bytes and lines, so a server cannot fill the memory.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "ftp/FtpDataSteps.h"
#include "ftp/FtpListingSteps.h"
#include "ftp/FtpTlsSteps.h"
#include "platform/CodePage.h"

namespace tarsil {
namespace {

// Receive blocks taken in one readable notification before the loop gets its turn again.
constexpr int kBlocksPerWakeUp = 32;
constexpr ReplyHandler kListingTypeReply{"ListingType", &FtpListingSteps::ListingTypeReply};
constexpr ReplyHandler kListStep{"ListStep", &FtpListingSteps::ListStep};
constexpr ReplyHandler kListReply{"List", &FtpListingSteps::ListReply};
constexpr const char* kFile = "File";
constexpr const char* kFolder = "Folder";

}  // namespace

void FtpListingSteps::List(EngineContext& ftp) {
  ListingState& listing = ftp.Listing();
  TransferState& transfer = ftp.Transfer();
  if (ftp.State().busy) {
    ftp.RaiseInfo(ftpInfoBusy);
    return;
  }
  if (ftp.Settings().cache && listing.cache != nullptr) {
    const auto name = [&](CachedListKind kind) {
      return listing.cache->CacheFileName(ftp.Control().Server(), ftp.Settings().username,
                                          ftp.State().current_directory, kind,
                                          ftp.Control().Port());
    };
    if (listing.cache->LoadCachedList(name(CachedListKind::kFolders), listing.current_folders,
                                      ftp.Settings().cache_expire) &&
        listing.cache->LoadCachedList(name(CachedListKind::kFiles), listing.current_files,
                                      ftp.Settings().cache_expire)) {
      ftp.State().operation = FtpOperation::kListing;
      listing.from_cache = true;
      // No lines came: none of an earlier listing may stand for these.
      listing.raw_listing.Clear();
      listing.lost_lines.clear();
      ftp.FinishRequest();
      return;
    }
  }
  if (!ftp.BeginRequest()) return;
  ftp.State().operation = FtpOperation::kListing;
  transfer.bytes_transferred = 0;  // this listing's count, also when it fails before any data
  listing.from_cache = false;
  transfer.transfer_sent = false;
  listing.raw_listing.Clear();
  listing.lost_lines.clear();
  listing.new_files.ClearEntries();
  listing.new_folders.ClearEntries();
  FtpDataSteps::SetType(ftp, "A", kListingTypeReply);
  ftp.WaitWhileBusy();
}

void FtpListingSteps::ListingTypeReply(EngineContext& ftp, const std::string& reply) {
  TransferState& transfer = ftp.Transfer();
  transfer.data_closed = false;
  transfer.final_reply_seen = false;
  if (!ReplyIs(reply, '2')) return ftp.Fail(ftpErrorCommandFailed);
  if (ftp.Settings().passive) {
    transfer.data_step = kListStep;
    FtpDataSteps::SendPassive(ftp);
  } else {
    FtpDataSteps::SendPort(ftp, kListStep);
  }
}

void FtpListingSteps::ListStep(EngineContext& ftp, const std::string& reply) {
  ListingState& listing = ftp.Listing();
  if (!ReplyIs(reply, '2')) return ftp.Fail(ftpErrorCommandFailed);
  FtpDataSteps::Wire(ftp, DataWiring::kListing);
  listing.raw_listing.Clear();
  listing.lost_lines.clear();
  listing.new_files.ClearEntries();
  listing.new_folders.ClearEntries();
  listing.parser.ClearPendingVmsText();
  listing.leftover.clear();
  listing.bytes = 0;
  listing.overflow = false;
  const std::string command =
      ftp.Settings().file_mask.empty() ? "LIST" : "LIST " + ftp.Settings().file_mask;
  if (FtpDataSteps::SendTransferCommand(ftp, command, kListReply)) ftp.RaiseInfo(ftpInfoListing);
}

void FtpListingSteps::Release(EngineContext& ftp) {
  ListingState& listing = ftp.Listing();
  listing.raw_listing.Release();
  // Emptied and shrunk: assigning an empty list would keep the old buffer's room.
  for (RemoteEntryList* list : {&listing.current_files, &listing.current_folders}) {
    list->ClearEntries();
    list->ShrinkToFit();
  }
}

void FtpListingSteps::ListReply(EngineContext& ftp, const std::string& reply) {
  TransferState& transfer = ftp.Transfer();
  if (ReplyIs(reply, '1')) return;
  if (ReplyIs(reply, '2') && transfer.data_closed && !transfer.data_failed)
    TakeLastListingLine(ftp);
  FtpDataSteps::FinalTransferReply(ftp, reply);
}

void FtpListingSteps::ListingReader(EngineContext& ftp) {
  ListingState& listing = ftp.Listing();
  TransferState& transfer = ftp.Transfer();
  AsyncSocket& data = ftp.Data().Socket();
  const uint64_t serial = transfer.data_serial;
  for (int block = 0; block < kBlocksPerWakeUp && data.Handle() >= 0; ++block) {
    const size_t count =
        data.ReceiveBytes(listing.receive_buffer.data(), listing.receive_buffer.size());
    if (count == 0) {
      FtpDataSteps::ReceiveFailed(ftp);
      return;
    }
    // NUL bytes are dropped one by one; the text after them is kept.
    const std::string chunk =
        WithoutNulBytes(std::string_view(listing.receive_buffer.data(), count));
    if (chunk.empty() || listing.overflow) continue;
    if (listing.bytes + chunk.size() > listing.max_bytes) return ListingTooLong(ftp);
    listing.bytes += chunk.size();
    transfer.bytes_transferred += static_cast<int64_t>(chunk.size());
    ftp.Raise(&FtpEvents::OnDataProgress);
    if (transfer.data_serial != serial) return;

    // Only the new bytes are searched for the LF that ends a line (a CR before it goes too).
    std::string& text = listing.leftover;
    const size_t search_from = text.size();
    text.append(chunk);
    size_t line_start = 0;
    for (;;) {
      const size_t end = text.find('\n', std::max(search_from, line_start));
      if (end == std::string::npos) break;
      const size_t length = end - line_start - (end > line_start && text[end - 1] == '\r');
      const std::string line = text.substr(line_start, length);
      line_start = end + 1;
      if (listing.raw_listing.size() >= listing.max_lines) return ListingTooLong(ftp);
      TakeListingLine(ftp, line);
      if (transfer.data_serial != serial || listing.overflow) return;
    }
    text.erase(0, line_start);
  }
}

void FtpListingSteps::TakeListingLine(EngineContext& ftp, const std::string& line) {
  ListingState& listing = ftp.Listing();
  std::optional<std::string> text = line;
  if (ftp.Control().Utf8Names()) text = Utf8ToCp932Exact(line);
  if (!text) {
    // Shown and kept with "?" for what CP932 lacks, but no entry: a name that cannot be written
    // back would designate another file or none.
    LostListingLine lost{listing.raw_listing.size(), line, {}, false};
    listing.raw_listing.Add(Utf8ToCp932(line));
    ftp.RaiseInfo(ftpInfoData, listing.raw_listing.back());
    try {
      if (std::optional<ListingEntry> entry = listing.parser.ParseListingLine(
              ftp.Settings().server_type, listing.raw_listing.back())) {
        lost.shown_name = entry->info.FileName;
        lost.folder = entry->is_folder;
      }
    } catch (const std::exception&) {
      // Named by its whole line.
    }
    listing.lost_lines.push_back(std::move(lost));
    return;
  }
  ftp.RaiseInfo(ftpInfoData, *text);
  listing.raw_listing.Add(*text);
  try {
    const std::optional<ListingEntry> entry =
        listing.parser.ParseListingLine(ftp.Settings().server_type, listing.raw_listing.back());
    if (!entry) return;
    const RemoteEntry& info = entry->info;
    if (entry->is_folder && (info.FileName == "." || info.FileName == "..")) return;
    RemoteEntryList& list = entry->is_folder ? listing.new_folders : listing.new_files;
    list.AddEntry(info.FileName, info.Attributes, info.Date, info.Size, info.Link, info.Owner,
                  info.Group, info.Description);
    ftp.RaiseInfo(ftpInfoEntryFound, entry->is_folder ? kFolder : kFile);
  } catch (const std::exception&) {
    // A line that cannot be taken stays in RawListing only.
  }
}

void FtpListingSteps::ListingTooLong(EngineContext& ftp) {
  ListingState& listing = ftp.Listing();
  listing.overflow = true;
  listing.leftover.clear();
  ftp.RaiseError(ftpErrorDataConnection,
                 "Listing longer than " + std::to_string(listing.max_bytes) + " bytes or " +
                     std::to_string(listing.max_lines) + " lines: the rest is not read");
  // The server learns it from the closed data connection; its reply ends the request.
  ftp.Data().CloseSockets();
}

// Our sockets offer every byte before the close, so nothing is left to read here.
void FtpListingSteps::ListingCloser(EngineContext& ftp) {
  TransferState& transfer = ftp.Transfer();
  if (transfer.data_closed) return;
  const uint16_t error = ftp.Data().LastError();
  transfer.data_closed = true;
  ftp.Data().Socket().OnConnected = nullptr;
  ftp.Data().Listener().OnAcceptReady = nullptr;
  ftp.Data().CloseSockets();
  if (FtpDataSteps::ClosedByFailure(ftp, error)) FtpDataSteps::NoteDataFailure(ftp, error);
  if (!transfer.data_failed && transfer.final_reply_seen && transfer.abort_replies == 0)
    TakeLastListingLine(ftp);
  ftp.RaiseInfo(ftpInfoListingComplete);
  ftp.RaiseInfo(ftpInfoTransferComplete);
  if (transfer.data_failed) {
    FtpDataSteps::DataFailedEnd(ftp);
  } else if (transfer.final_reply_seen && transfer.abort_replies == 0) {
    ftp.FinishRequest();
  }
}

// A last line without its line end is still a line once the listing is known to be whole: its
// data connection closed cleanly and the server's final reply was positive.
void FtpListingSteps::TakeLastListingLine(EngineContext& ftp) {
  ListingState& listing = ftp.Listing();
  if (ftp.State().aborting || listing.overflow || listing.leftover.empty()) return;
  std::string line = std::exchange(listing.leftover, std::string());
  if (line.back() == '\r') line.pop_back();
  if (line.empty()) return;
  if (listing.raw_listing.size() >= listing.max_lines) return ListingTooLong(ftp);
  TakeListingLine(ftp, line);
}

// The ready notice of a listing, before OnListingDone.
void FtpListingSteps::Completion(EngineContext& ftp) {
  ListingState& listing = ftp.Listing();
  if (listing.from_cache) return;
  listing.current_files = std::move(listing.new_files);
  listing.current_folders = std::move(listing.new_folders);
  listing.new_files.ClearEntries();
  listing.new_folders.ClearEntries();
  if (!ftp.State().request_ok || listing.cache == nullptr) return;
  // Written also with Cache off, so that a later run with it on finds the listing.
  const auto name = [&](CachedListKind kind) {
    return listing.cache->CacheFileName(ftp.Control().Server(), ftp.Settings().username,
                                        ftp.State().current_directory, kind, ftp.Control().Port());
  };
  listing.cache->SaveCachedList(name(CachedListKind::kFolders), listing.current_folders);
  listing.cache->SaveCachedList(name(CachedListKind::kFiles), listing.current_files);
}

}  // namespace tarsil

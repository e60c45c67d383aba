// FtpEngine: the listing of the current directory. From the cache when Cache is on and both lists
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
#include "ftp/FtpTlsSteps.h"
#include "platform/CodePage.h"

namespace tarsil {
namespace {

// Receive blocks taken in one readable notification before the loop gets its turn again.
constexpr int kBlocksPerWakeUp = 32;
constexpr const char* kFile = "File";
constexpr const char* kFolder = "Folder";

}  // namespace

void FtpEngine::ListDirectory() {
  if (busy_) {
    RaiseInfo(ftpInfoBusy);
    return;
  }
  FtpDataState& d = data_;
  if (cache_ && d.cache != nullptr) {
    const auto name = [&](CachedListKind kind) {
      return d.cache->CacheFileName(Server(), username_, current_directory_, kind, Port());
    };
    if (d.cache->LoadCachedList(name(CachedListKind::kFolders), d.current_folders, cache_expire_) &&
        d.cache->LoadCachedList(name(CachedListKind::kFiles), d.current_files, cache_expire_)) {
      current_operation_ = FtpOperation::kListing;
      d.listing_from_cache = true;
      d.raw_listing.clear();  // no lines came: none of an earlier listing may stand for these
      d.lost_lines.clear();
      FinishRequest();
      return;
    }
  }
  if (!BeginRequest()) return;
  current_operation_ = FtpOperation::kListing;
  d.bytes_transferred = 0;  // this listing's count, also when it fails before any data
  d.listing_from_cache = false;
  d.transfer_sent = false;
  d.raw_listing.clear();
  d.lost_lines.clear();
  d.new_files.ClearEntries();
  d.new_folders.ClearEntries();
  FtpDataSteps::SetType(*this, "A", kListingTypeReply);
  FtpDataSteps::WaitWhileBusy(*this);
}

void FtpDataSteps::ListingTypeReply(FtpEngine& ftp, const std::string& reply) {
  ftp.data_.data_closed = false;
  ftp.data_.final_reply_seen = false;
  if (!ReplyIs(reply, '2')) return Fail(ftp, ftpErrorCommandFailed);
  if (ftp.passive_) {
    ftp.data_step_ = kListStep;
    SendPassive(ftp);
  } else {
    SendPort(ftp, kListStep);
  }
}

void FtpDataSteps::ListStep(FtpEngine& ftp, const std::string& reply) {
  if (!ReplyIs(reply, '2')) return Fail(ftp, ftpErrorCommandFailed);
  FtpDataState& d = ftp.data_;
  Wire(ftp, DataWiring::kListing);
  d.raw_listing.clear();
  d.lost_lines.clear();
  d.new_files.ClearEntries();
  d.new_folders.ClearEntries();
  d.parser.ClearPendingVmsText();
  d.listing_leftover.clear();
  d.listing_bytes = 0;
  d.listing_overflow = false;
  const std::string command = ftp.file_mask_.empty() ? "LIST" : "LIST " + ftp.file_mask_;
  if (SendTransferCommand(ftp, command, kListReply)) ftp.RaiseInfo(ftpInfoListing);
}

void FtpEngine::ReleaseListing() {
  std::vector<std::string>().swap(data_.raw_listing);
  data_.current_files = RemoteEntryList();
  data_.current_folders = RemoteEntryList();
}

void FtpDataSteps::ListReply(FtpEngine& ftp, const std::string& reply) {
  if (ReplyIs(reply, '1')) return;
  const FtpDataState& d = ftp.data_;
  if (ReplyIs(reply, '2') && d.data_closed && !d.data_failed) TakeLastListingLine(ftp);
  FinalTransferReply(ftp, reply);
}

void FtpDataSteps::ListingReader(FtpEngine& ftp) {
  FtpDataState& d = ftp.data_;
  AsyncSocket& data = ftp.data_socket_;
  const uint64_t serial = d.data_serial;
  for (int block = 0; block < kBlocksPerWakeUp && data.Handle() >= 0; ++block) {
    const size_t count = data.ReceiveBytes(d.receive_buffer.data(), d.receive_buffer.size());
    if (count == 0) {
      ReceiveFailed(ftp);
      return;
    }
    // NUL bytes are dropped one by one; the text after them is kept.
    const std::string chunk = WithoutNulBytes(std::string_view(d.receive_buffer.data(), count));
    if (chunk.empty() || d.listing_overflow) continue;
    if (d.listing_bytes + chunk.size() > d.max_listing_bytes) return ListingTooLong(ftp);
    d.listing_bytes += chunk.size();
    d.bytes_transferred += static_cast<int64_t>(chunk.size());
    ftp.Raise(ftp.OnDataProgress);
    if (d.data_serial != serial) return;

    // Only the new bytes are searched for the LF that ends a line (a CR before it goes too).
    std::string& text = d.listing_leftover;
    const size_t search_from = text.size();
    text.append(chunk);
    size_t line_start = 0;
    for (;;) {
      const size_t end = text.find('\n', std::max(search_from, line_start));
      if (end == std::string::npos) break;
      const size_t length = end - line_start - (end > line_start && text[end - 1] == '\r');
      const std::string line = text.substr(line_start, length);
      line_start = end + 1;
      if (d.raw_listing.size() >= d.max_listing_lines) return ListingTooLong(ftp);
      TakeListingLine(ftp, line);
      if (d.data_serial != serial || d.listing_overflow) return;
    }
    text.erase(0, line_start);
  }
}

void FtpDataSteps::TakeListingLine(FtpEngine& ftp, const std::string& line) {
  FtpDataState& d = ftp.data_;
  std::optional<std::string> text = line;
  if (ftp.utf8_names_) text = Utf8ToCp932Exact(line);
  if (!text) {
    // Shown and kept with "?" for what CP932 lacks, but no entry: a name that cannot be written
    // back would designate another file or none.
    LostListingLine lost{d.raw_listing.size(), line, {}, false};
    d.raw_listing.push_back(Utf8ToCp932(line));
    ftp.RaiseInfo(ftpInfoData, d.raw_listing.back());
    try {
      if (std::optional<ListingEntry> entry =
              d.parser.ParseListingLine(ftp.server_type_, d.raw_listing.back())) {
        lost.shown_name = entry->info.FileName;
        lost.folder = entry->is_folder;
      }
    } catch (const std::exception&) {
      // Named by its whole line.
    }
    d.lost_lines.push_back(std::move(lost));
    return;
  }
  ftp.RaiseInfo(ftpInfoData, *text);
  d.raw_listing.push_back(std::move(*text));
  try {
    const std::optional<ListingEntry> entry =
        d.parser.ParseListingLine(ftp.server_type_, d.raw_listing.back());
    if (!entry) return;
    const RemoteEntry& info = entry->info;
    if (entry->is_folder && (info.FileName == "." || info.FileName == "..")) return;
    RemoteEntryList& list = entry->is_folder ? d.new_folders : d.new_files;
    list.AddEntry(info.FileName, info.Attributes, info.Date, info.Size, info.Link, info.Owner,
                  info.Group, info.Description);
    ftp.RaiseInfo(ftpInfoEntryFound, entry->is_folder ? kFolder : kFile);
  } catch (const std::exception&) {
    // A line that cannot be taken stays in RawListing only.
  }
}

void FtpDataSteps::ListingTooLong(FtpEngine& ftp) {
  FtpDataState& d = ftp.data_;
  d.listing_overflow = true;
  d.listing_leftover.clear();
  ftp.RaiseError(ftpErrorDataConnection,
                 "Listing longer than " + std::to_string(d.max_listing_bytes) + " bytes or " +
                     std::to_string(d.max_listing_lines) + " lines: the rest is not read");
  // The server learns it from the closed data connection; its reply ends the request.
  CloseDataSockets(ftp);
}

// Our sockets offer every byte before the close, so nothing is left to read here.
void FtpDataSteps::ListingCloser(FtpEngine& ftp) {
  FtpDataState& d = ftp.data_;
  if (d.data_closed) return;
  const uint16_t error = ftp.data_socket_.LastError();
  d.data_closed = true;
  ftp.data_socket_.OnConnected = nullptr;
  ftp.listen_socket_.OnAcceptReady = nullptr;
  CloseDataSockets(ftp);
  if (ClosedByFailure(ftp, error)) NoteDataFailure(ftp, error);
  if (!d.data_failed && d.final_reply_seen && d.abort_replies == 0) TakeLastListingLine(ftp);
  ftp.RaiseInfo(ftpInfoListingComplete);
  ftp.RaiseInfo(ftpInfoTransferComplete);
  if (d.data_failed) {
    DataFailedEnd(ftp);
  } else if (d.final_reply_seen && d.abort_replies == 0) {
    ftp.FinishRequest();
  }
}

// A last line without its line end is still a line once the listing is known to be whole: its
// data connection closed cleanly and the server's final reply was positive.
void FtpDataSteps::TakeLastListingLine(FtpEngine& ftp) {
  FtpDataState& d = ftp.data_;
  if (ftp.aborting_ || d.listing_overflow || d.listing_leftover.empty()) return;
  std::string line = std::exchange(d.listing_leftover, std::string());
  if (line.back() == '\r') line.pop_back();
  if (line.empty()) return;
  if (d.raw_listing.size() >= d.max_listing_lines) return ListingTooLong(ftp);
  TakeListingLine(ftp, line);
}

// The ready notice of a listing, before OnListingDone.
void FtpDataSteps::ListingCompletion(FtpEngine& ftp) {
  FtpDataState& d = ftp.data_;
  if (d.listing_from_cache) return;
  d.current_files = std::move(d.new_files);
  d.current_folders = std::move(d.new_folders);
  d.new_files.ClearEntries();
  d.new_folders.ClearEntries();
  if (!ftp.request_ok_ || d.cache == nullptr) return;
  // Written also with Cache off, so that a later run with it on finds the listing.
  const auto name = [&](CachedListKind kind) {
    return d.cache->CacheFileName(ftp.Server(), ftp.username_, ftp.current_directory_, kind,
                                  ftp.Port());
  };
  d.cache->SaveCachedList(name(CachedListKind::kFolders), d.current_folders);
  d.cache->SaveCachedList(name(CachedListKind::kFiles), d.current_files);
}

}  // namespace tarsil

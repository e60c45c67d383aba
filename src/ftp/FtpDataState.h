// The FTP engine's data-side state: the local file and counters of the transfer in progress, the
// lists and raw lines of the listing, and what the directory commands keep between two replies.
// FtpEngine owns one; only its own steps touch it. The listing cache is the program's (not owned).
// Loop thread only.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ftp/TransferFile.h"
#include "listing/ListingCache.h"
#include "listing/ListingParser.h"
#include "listing/RemoteEntryList.h"

namespace tarsil {

// A listing line whose name has no CP932 form: where it stands in the raw lines, as it came, and
// what the parser made of it with "?" for the missing characters (empty name: nothing).
struct LostListingLine {
  size_t raw_index = 0;
  std::string utf8;
  std::string shown_name;
  bool folder = false;
};

struct FtpDataState {
  static constexpr size_t kReceiveBlock = 4096;  // at most this much per listing read
  // A download receives, and an upload sends, at most this much per call: one block, reported
  // once. Block sizes are no behaviour; the number of calls per byte is what a transfer costs.
  static constexpr size_t kTransferBlock = size_t{256} << 10;
  // Upload blocks while the owner pauses after every block (a throttle the user asked for).
  static constexpr size_t kThrottledSendBlock = 1514;
  // What a listing may hold before it fails: a server could otherwise send lines forever.
  static constexpr uint64_t kDefaultListingBytes = uint64_t{256} << 20;
  static constexpr uint64_t kDefaultListingLines = 2'000'000;

  // The transfer in progress.
  std::string remote_name;
  std::string local_name;
  TransferFile local_file;
  bool append_upload = false;
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
  std::array<char, kReceiveBlock> receive_buffer{};  // a listing's
  // One block of a download as received, or of an upload as read from the file; allocated by the
  // first transfer and kept for the engine's life.
  std::vector<char> transfer_buffer;
  int transfer_buffer_allocations = 0;  // stays at 1 however many transfers run
  size_t send_block = kTransferBlock;   // upload block size in force
  size_t send_begin = 0;
  size_t send_end = 0;
  bool upload_eof = false;      // the local file ended before the upload size
  std::vector<char> file_held;  // received bytes a full FIFO has not taken yet
  bool close_held = false;      // the data connection closed while bytes were held
  uint16_t held_close_error = 0;

  // The listing.
  RemoteEntryList current_files, current_folders;
  RemoteEntryList new_files, new_folders;
  std::vector<std::string> raw_listing;
  std::vector<LostListingLine> lost_lines;
  std::string listing_leftover;  // after the last CR LF received
  uint64_t listing_bytes = 0;
  uint64_t max_listing_bytes = kDefaultListingBytes;
  uint64_t max_listing_lines = kDefaultListingLines;
  bool listing_overflow = false;
  bool listing_from_cache = false;
  ListingParser parser;
  ListingCache* cache = nullptr;

  // Directory commands.
  std::string rename_new_name;
  std::string removed_directory;
};

}  // namespace tarsil

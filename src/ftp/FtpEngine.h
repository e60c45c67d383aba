// FtpEngine: the event-driven FTP client engine as the session and the program see it: the
// settings (FtpProperties), the event slots (FtpEvents), and an owned EngineContext whose control
// connection, data channel and request chains do the work. Each request ends in one posted ready
// notice; everything is told through the On... events and four info and four error listener
// slots. Loop thread only; the owner never destroys it inside one of its own events.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/FtpCodes.h"
#include "ftp/FtpEvents.h"
#include "ftp/FtpProperties.h"
#include "ftp/FtpResult.h"
#include "ftp/ListingState.h"
#include "ftp/ReplyHandler.h"
#include "platform/EventLoop.h"

namespace tarsil {

class EngineContext;

// What StoreFile throws when its local file cannot be opened; what() names the file.
class FtpLocalFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class FtpEngine : public FtpProperties, public FtpEvents {
 public:
  explicit FtpEngine(EventLoop& loop);
  ~FtpEngine();
  FtpEngine(const FtpEngine&) = delete;
  FtpEngine& operator=(const FtpEngine&) = delete;

  // Connects (directly or through the proxy) and logs in, retrying failed attempts.
  void LoginServer();
  // Sends QUIT; the request ends when the server closes the connection.
  void QuitServer();
  // Ends a connection attempt or login in progress (nothing once logged in); a download,
  // upload or listing in progress gets the ABOR sequence.
  void AbortRequest();
  // Ends whatever request is in progress, for an owner that has stopped waiting for it: a
  // connection attempt or login is given up as AbortRequest does; a transfer, a listing or any
  // other command gets the ABOR sequence with its bounded wait for the replies, and a server
  // that answers nothing loses the control connection (told as ftpErrorTimedOut). Nothing
  // happens when no request is in progress.
  void CancelRequest();

  // Transfers. Names are CP932; the local file is opened by the engine and closed when the data
  // connection ends, on abort, or by CloseLocalFile. StoreFile throws FtpLocalFileError (after
  // ftpErrorLocalOpen and the ready notice) when the local file cannot be opened.
  void RetrieveFile(std::string_view remote_file, std::string_view local_file);
  void StoreFile(std::string_view local_file, std::string_view remote_file);
  bool AppendUpload() const;
  void SetAppendUpload(bool on);  // APPE instead of STOR
  void CloseLocalFile();
  // Upload blocks of 1514 bytes instead of large ones, for an owner that pauses after each block.
  bool SmallUploadBlocks() const;
  void SetSmallUploadBlocks(bool on);
  // How many times the one transfer buffer was allocated: 1 once a transfer has run.
  int TransferBufferAllocations() const;
  // Bytes moved over the current or last data connection (listing text included).
  int64_t BytesTransferred() const;

  // The listing of CurrentDirectory, from the cache when Cache is on and both lists are fresh
  // there; read the results after OnListingDone.
  void ListDirectory();
  const PackedStrings& RawListing() const;
  const RemoteEntryList& CurrentFiles() const;
  const RemoteEntryList& CurrentFolders() const;
  bool ListingFromCache() const;
  // Lines of the last listing whose names have no CP932 form: they stand in RawListing with "?"
  // in place of such characters and in neither list.
  const std::vector<LostListingLine>& LostListingLines() const;
  // Lets go of the last listing's lines and lists (and their memory) once they have been used.
  void ReleaseListing();
  // The program's listing cache (not owned; nullptr: listings are neither read nor written).
  void SetListingCache(ListingCache* cache);
  // What one listing may hold before it fails (defaults 256 MiB of text, 2 million lines).
  void SetListingLimits(uint64_t max_bytes, uint64_t max_lines);

  // Directory and file commands; names are sent exactly as given.
  void ChangeDir(std::string_view directory);
  void ParentDir();
  void CreateDir(std::string_view directory);
  void RemoveDir(std::string_view directory);  // also deletes its two listing-cache files
  void DeleteRemoteFile(std::string_view name);
  void RenameRemoteFile(std::string_view old_name, std::string_view new_name);
  // Sends the line as it is and forgets the transfer type; only OnFtpReady follows. `handler`
  // (optional) receives the final reply instead of the generic handler.
  void SendRawCommand(std::string_view command_line, ReplyHandler handler = {});

  // Slots 1 to 4 beside OnFtpInfo/OnFtpError, called after them in slot order; -1 when the
  // listener is empty or all four slots are used.
  int AddInfoListener(FtpInfoEvent listener);
  int AddErrorListener(FtpErrorEvent listener);
  void RemoveInfoListener(int slot);
  void RemoveErrorListener(int slot);

  // The server to connect to, its port, and the seconds a look-up or connect may take.
  const std::string& Server() const;
  void SetServer(std::string_view server);
  uint16_t Port() const;
  void SetPort(uint16_t port);
  int TimeOut() const;
  void SetTimeOut(int seconds);
  // The length of one second of that time-out (tests shorten it), and whether a look-up runs.
  void SetCountdownInterval(uint32_t milliseconds);
  bool LookupPending() const;

  uint16_t NoopInterval() const;
  void SetNoopInterval(uint16_t seconds);  // 0: no keep-alive
  bool Asynchronous() const;
  void SetAsynchronous(bool value);  // ignored while busy
  const std::string& Version() const;
  void SetVersion(std::string_view) {}  // read-only

  bool Connected() const;
  bool LoggedIn() const;
  bool Busy() const;
  const std::string& LastReply() const;
  // How the request ended: read in OnFtpReady or once it has come (LastReply, its code and
  // LastFtpError as they stand then).
  FtpResult Result() const;
  const std::string& CurrentDirectory() const;
  bool ResumeSupported() const;
  bool SizeSupported() const;
  bool NoopSupported() const;
  // Names cross the control and data connections in UTF-8 since this login (converted both ways).
  bool Utf8Names() const;
  FtpOperation CurrentOperation() const;
  FtpError LastFtpError() const;  // of this request; ftpErrorNone: none
  bool RequestOk() const;
  bool ProcessingReply() const;
  int RetriesLeft() const;
  bool RetryWaiting() const;
  const char* WaitingHandler() const;  // name of the reply handler registered, "" when none

 private:
  std::unique_ptr<EngineContext> context_;
};

}  // namespace tarsil

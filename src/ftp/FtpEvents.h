// The FTP engine's event slots: what it raises, with the engine as first argument. FtpEngine
// inherits them; its owner fills the slots it wants (an empty slot is skipped). The engine copies
// a handler before calling it, so a handler may replace its own slot. Loop thread only.
#pragma once

#include <functional>
#include <string>

#include "ftp/FtpCodes.h"
#include "listing/RemoteEntryList.h"

namespace tarsil {

class FtpEngine;

using NotifyEvent = std::function<void(FtpEngine& sender)>;
using FtpInfoEvent = std::function<void(FtpEngine& sender, FtpInfo info, const std::string& text)>;
using FtpErrorEvent =
    std::function<void(FtpEngine& sender, FtpError error, const std::string& text)>;
// The handler may fill `value` (the property's own storage, or the engine's copy for the server).
using FtpInfoNeededEvent =
    std::function<void(FtpEngine& sender, FtpInfoNeeded need, std::string& value)>;
using FtpFileFoundEvent = std::function<void(FtpEngine& sender, const RemoteEntry& entry)>;

struct FtpEvents {
  FtpInfoEvent OnFtpInfo;
  FtpErrorEvent OnFtpError;
  FtpInfoNeededEvent OnFtpNeedInfo;
  NotifyEvent OnFtpBusy;   // a request was accepted
  NotifyEvent OnFtpReady;  // every ready notice, before the completion event
  NotifyEvent OnLoggedIn;  // the completion events, after OnFtpReady
  NotifyEvent OnDirectoryChanged, OnDirectoryCreated, OnDirectoryDeleted;
  NotifyEvent OnFileDeleted, OnFileRenamed, OnFileReceived, OnFileStored, OnListingDone;
  NotifyEvent OnFtpQuit;          // the control connection is gone
  NotifyEvent OnAborted;          // a connection attempt or login was aborted
  FtpFileFoundEvent OnFileFound;  // never raised
  NotifyEvent OnIndexFileReceived, OnResolvedLinks, OnFileTransferred;  // never raised
  NotifyEvent OnDataProgress;                                           // after every data block
  NotifyEvent OnRetrieveComplete;  // the data connection of a transfer has closed
};

}  // namespace tarsil

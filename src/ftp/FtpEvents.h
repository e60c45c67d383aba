// The FTP engine's event slots: what it raises, with the engine as first argument. TMFtp
// inherits them; its owner fills the slots it wants (an empty slot is skipped). The engine copies
// a handler before calling it, so a handler may replace its own slot. Loop thread only.
#pragma once

#include <functional>
#include <string>

#include "ftp/FtpCodes.h"
#include "listing/FileInfoList.h"

namespace tarsil {

class TMFtp;

using TNotifyEvent = std::function<void(TMFtp& sender)>;
using TMFtpInfoEvent = std::function<void(TMFtp& sender, FtpInfo info, const std::string& text)>;
using TMFtpErrorEvent = std::function<void(TMFtp& sender, FtpError error, const std::string& text)>;
// The handler may fill `value` (the property's own storage, or the engine's copy for the server).
using TMFtpInfoNeededEvent =
    std::function<void(TMFtp& sender, TMFtpInfoNeeded need, std::string& value)>;
using TMFtpFileFoundEvent = std::function<void(TMFtp& sender, const MFtpFileInfo& entry)>;

struct TMFtpEvents {
  TMFtpInfoEvent OnFtpInfo;
  TMFtpErrorEvent OnFtpError;
  TMFtpInfoNeededEvent OnFtpNeedInfo;
  TNotifyEvent OnFtpBusy;   // a request was accepted
  TNotifyEvent OnFtpReady;  // every ready notice, before the completion event
  TNotifyEvent OnLoggedIn;  // the completion events, after OnFtpReady
  TNotifyEvent OnDirectoryChanged, OnDirectoryCreated, OnDirectoryDeleted;
  TNotifyEvent OnFileDeleted, OnFileRenamed, OnFileReceived, OnFileStored, OnListingDone;
  TNotifyEvent OnFtpQuit;           // the control connection is gone
  TNotifyEvent OnAborted;           // a connection attempt or login was aborted
  TMFtpFileFoundEvent OnFileFound;  // never raised
  TNotifyEvent OnIndexFileReceived, OnResolvedLinks, OnFileTransferred;  // never raised
  TNotifyEvent OnDataProgress;                                           // after every data block
  TNotifyEvent OnRetrieveComplete;  // the data connection of a transfer has closed
};

}  // namespace tarsil

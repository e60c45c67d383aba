// FtpEngine: the public face of the engine. Every request goes to the chain that runs it; every
// published value is read from the context's parts.
#include "ftp/FtpEngine.h"

#include "ftp/EngineContext.h"
#include "ftp/FtpConnectionSteps.h"
#include "ftp/FtpDirectorySteps.h"
#include "ftp/FtpListingSteps.h"
#include "ftp/FtpTransferSteps.h"

namespace tarsil {
namespace {

constexpr const char* kVersionBanner = "Tarsil FTP engine 2.6";

}  // namespace

FtpEngine::FtpEngine(EventLoop& loop)
    : context_(std::make_unique<EngineContext>(loop, *this, *this, settings_)) {}

FtpEngine::~FtpEngine() = default;

// ---- Requests ------------------------------------------------------------------------------

void FtpEngine::LoginServer() { FtpConnectionSteps::Login(*context_); }
void FtpEngine::QuitServer() { FtpConnectionSteps::Quit(*context_); }
void FtpEngine::AbortRequest() { FtpConnectionSteps::Abort(*context_); }
void FtpEngine::CancelRequest() { FtpConnectionSteps::Cancel(*context_); }

void FtpEngine::RetrieveFile(std::string_view remote_file, std::string_view local_file) {
  FtpTransferSteps::Retrieve(*context_, remote_file, local_file);
}

void FtpEngine::StoreFile(std::string_view local_file, std::string_view remote_file) {
  FtpTransferSteps::Store(*context_, local_file, remote_file);
}

void FtpEngine::CloseLocalFile() { FtpTransferSteps::CloseLocalFile(*context_); }
void FtpEngine::ListDirectory() { FtpListingSteps::List(*context_); }
void FtpEngine::ReleaseListing() { FtpListingSteps::Release(*context_); }

void FtpEngine::ChangeDir(std::string_view directory) {
  FtpDirectorySteps::ChangeDir(*context_, directory);
}

void FtpEngine::ParentDir() { FtpDirectorySteps::ParentDir(*context_); }

void FtpEngine::CreateDir(std::string_view directory) {
  FtpDirectorySteps::CreateDir(*context_, directory);
}

void FtpEngine::RemoveDir(std::string_view directory) {
  FtpDirectorySteps::RemoveDir(*context_, directory);
}

void FtpEngine::DeleteRemoteFile(std::string_view name) {
  FtpDirectorySteps::DeleteFile(*context_, name);
}

void FtpEngine::RenameRemoteFile(std::string_view old_name, std::string_view new_name) {
  FtpDirectorySteps::Rename(*context_, old_name, new_name);
}

void FtpEngine::SendRawCommand(std::string_view command_line, ReplyHandler handler) {
  FtpDirectorySteps::Raw(*context_, command_line, handler);
}

// ---- Listeners -----------------------------------------------------------------------------

int FtpEngine::AddInfoListener(FtpInfoEvent listener) {
  return context_->AddInfoListener(std::move(listener));
}

int FtpEngine::AddErrorListener(FtpErrorEvent listener) {
  return context_->AddErrorListener(std::move(listener));
}

void FtpEngine::RemoveInfoListener(int slot) { context_->RemoveInfoListener(slot); }
void FtpEngine::RemoveErrorListener(int slot) { context_->RemoveErrorListener(slot); }

// ---- Transfer and listing values -----------------------------------------------------------

bool FtpEngine::AppendUpload() const { return context_->Data().AppendUpload(); }
void FtpEngine::SetAppendUpload(bool on) { context_->Data().SetAppendUpload(on); }

bool FtpEngine::SmallUploadBlocks() const {
  return context_->Data().SendBlock() == DataChannel::kThrottledSendBlock;
}

void FtpEngine::SetSmallUploadBlocks(bool on) {
  context_->Data().SetSendBlock(on ? DataChannel::kThrottledSendBlock
                                   : DataChannel::kTransferBlock);
}

int FtpEngine::TransferBufferAllocations() const {
  return context_->Data().TransferBufferAllocations();
}

int64_t FtpEngine::BytesTransferred() const { return context_->Transfer().bytes_transferred; }

const PackedStrings& FtpEngine::RawListing() const { return context_->Listing().raw_listing; }

const RemoteEntryList& FtpEngine::CurrentFiles() const { return context_->Listing().current_files; }

const RemoteEntryList& FtpEngine::CurrentFolders() const {
  return context_->Listing().current_folders;
}

bool FtpEngine::ListingFromCache() const { return context_->Listing().from_cache; }

const std::vector<LostListingLine>& FtpEngine::LostListingLines() const {
  return context_->Listing().lost_lines;
}

void FtpEngine::SetListingCache(ListingCache* cache) { context_->Listing().cache = cache; }

void FtpEngine::SetListingLimits(uint64_t max_bytes, uint64_t max_lines) {
  context_->Listing().max_bytes = max_bytes;
  context_->Listing().max_lines = max_lines;
}

// ---- The connection ------------------------------------------------------------------------

const std::string& FtpEngine::Server() const { return context_->Control().Server(); }
void FtpEngine::SetServer(std::string_view server) {
  context_->Control().Socket().SetServer(server);
}
uint16_t FtpEngine::Port() const { return context_->Control().Port(); }
void FtpEngine::SetPort(uint16_t port) { context_->Control().Socket().SetPort(port); }
int FtpEngine::TimeOut() const { return context_->Control().Socket().TimeOut(); }
void FtpEngine::SetTimeOut(int seconds) { context_->Control().Socket().SetTimeOut(seconds); }

void FtpEngine::SetCountdownInterval(uint32_t milliseconds) {
  context_->Control().Socket().SetCountdownInterval(milliseconds);
}

bool FtpEngine::LookupPending() const { return context_->Control().Socket().LookupPending(); }

uint16_t FtpEngine::NoopInterval() const {
  return static_cast<uint16_t>(context_->State().noop_interval_ms / 1000);
}

void FtpEngine::SetNoopInterval(uint16_t seconds) {
  context_->State().noop_interval_ms = uint32_t{seconds} * 1000;
  context_->SetKeepAlive(context_->State().keep_alive_on);
}

bool FtpEngine::Asynchronous() const { return context_->State().asynchronous; }

void FtpEngine::SetAsynchronous(bool value) {
  if (!context_->State().busy) context_->State().asynchronous = value;
}

const std::string& FtpEngine::Version() const {
  static const std::string banner = kVersionBanner;
  return banner;
}

bool FtpEngine::Connected() const { return context_->State().connected; }
bool FtpEngine::LoggedIn() const { return context_->State().logged_in; }
bool FtpEngine::Busy() const { return context_->State().busy; }
const std::string& FtpEngine::LastReply() const { return context_->Control().LastReply(); }

FtpResult FtpEngine::Result() const {
  const std::string& reply = context_->Control().LastReply();
  return FtpResult{ReplyCodeOf(reply), context_->State().request_error, reply};
}

const std::string& FtpEngine::CurrentDirectory() const {
  return context_->State().current_directory;
}

bool FtpEngine::ResumeSupported() const { return context_->State().resume_supported; }
bool FtpEngine::SizeSupported() const { return context_->State().size_supported; }
bool FtpEngine::NoopSupported() const { return context_->State().noop_supported; }
bool FtpEngine::Utf8Names() const { return context_->Control().Utf8Names(); }
FtpOperation FtpEngine::CurrentOperation() const { return context_->State().operation; }
FtpError FtpEngine::LastFtpError() const { return context_->State().request_error; }
bool FtpEngine::RequestOk() const { return context_->State().request_ok; }
bool FtpEngine::ProcessingReply() const { return context_->Control().Processing(); }
int FtpEngine::RetriesLeft() const { return context_->State().retries_left; }
bool FtpEngine::RetryWaiting() const { return context_->State().retry_waiting; }

const char* FtpEngine::WaitingHandler() const {
  const ReplyHandler& handler = context_->Control().Handler();
  return handler ? handler.name : "";
}

}  // namespace tarsil

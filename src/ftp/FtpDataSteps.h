// The steps of the FTP engine's data side, one named function each: FtpEngine befriends this
// struct; FtpData.cpp defines the shared steps (TYPE, PASV/PORT, data start, ABOR), FtpTransfer.cpp
// the downloads and uploads, FtpListing.cpp the listing. Internal to src/ftp; loop thread only.
#pragma once

#include <cstdint>
#include <string>

#include "ftp/FtpEngine.h"

namespace tarsil {

// Posted by an upload that has sent its share for this turn: the next share follows.
inline constexpr uint32_t kUploadContinueMessage = 1029;
// The reply a step hands on itself when it needed no server round trip.
inline constexpr const char* kSyntheticDone = "299";
// LastReply of an aborted transfer whose own reply did not say so.
inline constexpr const char* kTextAbortedReply = "426 Transfer aborted";
// The timer (of the engine's timers) of an abort: first the grace a server gets to stop the
// transfer itself, then the bound on the wait for each reply.
inline constexpr uint32_t kAbortTimer = 3;
inline constexpr uint32_t kAbortGraceMs = 250;
inline constexpr uint32_t kAbortReplyWaitMs = 3000;
// The timer of a transfer whose data connection failed: how long the server's final reply is
// awaited before the transfer is aborted.
inline constexpr uint32_t kDataReplyTimer = 4;
inline constexpr uint32_t kDataReplyWaitMs = 5000;
inline constexpr const char* kTextDataFailed =
    "The data connection failed before the transfer was complete";
inline constexpr const char* kTextAbortUnanswered =
    "No reply to ABOR: the control connection is closed";

enum class DataWiring { kDownload, kUpload, kListing };

struct FtpDataSteps {
  // FtpData.cpp: shared by transfers and listings.
  static void SetType(FtpEngine& ftp, const char* letter, ReplyHandler next);
  static void PasvPortStep(FtpEngine& ftp, const std::string& reply);
  static void UploadPasvPortStep(FtpEngine& ftp, const std::string& reply);
  static void SendPassive(FtpEngine& ftp);  // EPSV over IPv6 or with EPSV=Y, else PASV
  static void PasvReply(FtpEngine& ftp, const std::string& reply);
  static void EpsvReply(FtpEngine& ftp, const std::string& reply);
  static void ConnectData(FtpEngine& ftp, uint16_t port);
  static void SendPort(FtpEngine& ftp, ReplyHandler next);
  static void Wire(FtpEngine& ftp, DataWiring wiring);
  static void ConnectedStart(FtpEngine& ftp, DataWiring wiring);
  static void AcceptStart(FtpEngine& ftp, DataWiring wiring);
  static void DataStart(FtpEngine& ftp, DataWiring wiring);
  static bool SendTransferCommand(FtpEngine& ftp, const std::string& command, ReplyHandler handler);
  static void CloseDataSockets(FtpEngine& ftp);
  static bool ReceiveFailed(FtpEngine& ftp);
  static bool ClosedByFailure(FtpEngine& ftp, uint16_t error);
  // The data connection failed (refused, reset, cut short): it is closed and the transfer fails,
  // the control connection stays. Its closer then runs DataFailedEnd: after a positive final
  // reply the error ends the request at once; before one, the server's final reply is awaited
  // (a negative one decides the outcome as usual), for a bounded time.
  static void DataFailed(FtpEngine& ftp);
  static void DataFailedEnd(FtpEngine& ftp);
  // Marks the data connection failed, keeping the TLS layer's words when that is what failed.
  static void NoteDataFailure(FtpEngine& ftp, uint16_t error);
  static std::string DataFailureText(const FtpEngine& ftp);
  static void DataReplyWaitOver(FtpEngine& ftp);
  static void Fail(FtpEngine& ftp, FtpError member, std::string text = {});
  // The final reply of a transfer or a listing: a positive one ends the request together with
  // the close of its data connection (in either order); any other fails it.
  static void FinalTransferReply(FtpEngine& ftp, const std::string& reply);
  // The start both directions share: the operation and the names recorded, an empty name failed.
  static bool BeginTransfer(FtpEngine& ftp, FtpOperation operation, std::string_view remote_file,
                            std::string_view local_file);
  static void Abort(FtpEngine& ftp);
  // ABOR for a request without data connection (a command the server leaves unanswered).
  static void AbortCommand(FtpEngine& ftp);
  static void StartAbort(FtpEngine& ftp, bool command);
  static void AbortReply(FtpEngine& ftp, const std::string& reply);
  static void EndAbort(FtpEngine& ftp);
  static void FailAbort(FtpEngine& ftp);
  static void AbortWaitOver(FtpEngine& ftp);
  static void HandleNotice(FtpEngine& ftp, const Notice& notice);
  static void WaitWhileBusy(FtpEngine& ftp);

  // FtpTransfer.cpp: RETR, STOR and APPE.
  static void ResumeQuestion(FtpEngine& ftp, const std::string& reply);
  static void DownloadSizeReply(FtpEngine& ftp, const std::string& reply);
  static void RetrStep(FtpEngine& ftp, const std::string& reply);
  static void RestartStep(FtpEngine& ftp, const std::string& reply);
  static void RestReply(FtpEngine& ftp, const std::string& reply);
  static void RetrReply(FtpEngine& ftp, const std::string& reply);
  static char* TransferBuffer(FtpEngine& ftp);
  static void DownloadReader(FtpEngine& ftp);
  // Writes one received block; false when a full FIFO holds the rest (reading then pauses).
  static bool WriteReceived(FtpEngine& ftp, const char* bytes, size_t count);
  static void TransferCloser(FtpEngine& ftp);
  static void CloseTransfer(FtpEngine& ftp, uint16_t error);
  static void UploadCheck(FtpEngine& ftp, const std::string& reply);
  static void UploadSizeReply(FtpEngine& ftp, const std::string& reply);
  static void StorStep(FtpEngine& ftp, const std::string& reply);
  static void RestartStoreStep(FtpEngine& ftp, const std::string& reply);
  static void RestStoreReply(FtpEngine& ftp, const std::string& reply);
  static void StorReply(FtpEngine& ftp, const std::string& reply);
  static void UploadSender(FtpEngine& ftp);
  static bool FillSendBuffer(FtpEngine& ftp);
  static bool UploadAtEnd(FtpEngine& ftp);
  static void EndUpload(FtpEngine& ftp);
  static void Decline(FtpEngine& ftp);

  // FtpLocalStream.cpp: a FIFO as the local file, which is never waited on.
  static std::string StreamOpenText(FtpEngine& ftp, bool writing);
  static bool HoldUnwritten(FtpEngine& ftp, const char* bytes, size_t count);
  static void WriteHeld(FtpEngine& ftp);
  static void DropHeld(FtpEngine& ftp);

  // FtpListing.cpp: LIST.
  static void ListingTypeReply(FtpEngine& ftp, const std::string& reply);
  static void ListStep(FtpEngine& ftp, const std::string& reply);
  static void ListReply(FtpEngine& ftp, const std::string& reply);
  static void ListingReader(FtpEngine& ftp);
  static void TakeListingLine(FtpEngine& ftp, const std::string& line);
  static void TakeLastListingLine(FtpEngine& ftp);
  static void ListingTooLong(FtpEngine& ftp);
  static void ListingCloser(FtpEngine& ftp);
  static void ListingCompletion(FtpEngine& ftp);
};

inline constexpr ReplyHandler kPasvPortStep{"PasvPort", &FtpDataSteps::PasvPortStep};
inline constexpr ReplyHandler kUploadPasvPortStep{"UploadPasvPort",
                                                  &FtpDataSteps::UploadPasvPortStep};
inline constexpr ReplyHandler kPasvReply{"Pasv", &FtpDataSteps::PasvReply};
inline constexpr ReplyHandler kEpsvReply{"Epsv", &FtpDataSteps::EpsvReply};
inline constexpr ReplyHandler kResumeQuestion{"ResumeQuestion", &FtpDataSteps::ResumeQuestion};
inline constexpr ReplyHandler kDownloadSizeReply{"DownloadSize", &FtpDataSteps::DownloadSizeReply};
inline constexpr ReplyHandler kRetrStep{"RetrStep", &FtpDataSteps::RetrStep};
inline constexpr ReplyHandler kRestartStep{"RestartStep", &FtpDataSteps::RestartStep};
inline constexpr ReplyHandler kRestReply{"Rest", &FtpDataSteps::RestReply};
inline constexpr ReplyHandler kRetrReply{"Retr", &FtpDataSteps::RetrReply};
inline constexpr ReplyHandler kUploadCheck{"UploadCheck", &FtpDataSteps::UploadCheck};
inline constexpr ReplyHandler kUploadSizeReply{"UploadSize", &FtpDataSteps::UploadSizeReply};
inline constexpr ReplyHandler kStorStep{"StorStep", &FtpDataSteps::StorStep};
inline constexpr ReplyHandler kRestartStoreStep{"RestartStoreStep",
                                                &FtpDataSteps::RestartStoreStep};
inline constexpr ReplyHandler kRestStoreReply{"RestStore", &FtpDataSteps::RestStoreReply};
inline constexpr ReplyHandler kStorReply{"Stor", &FtpDataSteps::StorReply};
inline constexpr ReplyHandler kListingTypeReply{"ListingType", &FtpDataSteps::ListingTypeReply};
inline constexpr ReplyHandler kListStep{"ListStep", &FtpDataSteps::ListStep};
inline constexpr ReplyHandler kListReply{"List", &FtpDataSteps::ListReply};
inline constexpr ReplyHandler kAbortReply{"Abort", &FtpDataSteps::AbortReply};

inline bool ReplyIs(const std::string& reply, char digit) {
  return !reply.empty() && reply[0] == digit;
}

}  // namespace tarsil

// The steps of the FTP engine's data side, one named function each: TMFtp befriends this struct;
// FtpData.cpp defines the shared steps (TYPE, PASV/PORT, data start, ABOR), FtpTransfer.cpp the
// downloads and uploads, FtpListing.cpp the listing. Internal to src/ftp; loop thread only.
#pragma once

#include <cstdint>
#include <string>

#include "ftp/Ftp.h"

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
  static void SetType(TMFtp& ftp, const char* letter, ReplyHandler next);
  static void PasvPortStep(TMFtp& ftp, const std::string& reply);
  static void UploadPasvPortStep(TMFtp& ftp, const std::string& reply);
  static void SendPassive(TMFtp& ftp);  // EPSV over IPv6 or with EPSV=Y, else PASV
  static void PasvReply(TMFtp& ftp, const std::string& reply);
  static void EpsvReply(TMFtp& ftp, const std::string& reply);
  static void ConnectData(TMFtp& ftp, uint16_t port);
  static void SendPort(TMFtp& ftp, ReplyHandler next);
  static void Wire(TMFtp& ftp, DataWiring wiring);
  static void ConnectedStart(TMFtp& ftp, DataWiring wiring);
  static void AcceptStart(TMFtp& ftp, DataWiring wiring);
  static void DataStart(TMFtp& ftp, DataWiring wiring);
  static bool SendTransferCommand(TMFtp& ftp, const std::string& command, ReplyHandler handler);
  static void CloseDataSockets(TMFtp& ftp);
  static bool ReceiveFailed(TMFtp& ftp);
  static bool ClosedByFailure(TMFtp& ftp, uint16_t error);
  // The data connection failed (refused, reset, cut short): it is closed and the transfer fails,
  // the control connection stays. Its closer then runs DataFailedEnd: after a positive final
  // reply the error ends the request at once; before one, the server's final reply is awaited
  // (a negative one decides the outcome as usual), for a bounded time.
  static void DataFailed(TMFtp& ftp);
  static void DataFailedEnd(TMFtp& ftp);
  // Marks the data connection failed, keeping the TLS layer's words when that is what failed.
  static void NoteDataFailure(TMFtp& ftp, uint16_t error);
  static std::string DataFailureText(const TMFtp& ftp);
  static void DataReplyWaitOver(TMFtp& ftp);
  static void Fail(TMFtp& ftp, FtpError member, std::string text = {});
  // The final reply of a transfer or a listing: a positive one ends the request together with
  // the close of its data connection (in either order); any other fails it.
  static void FinalTransferReply(TMFtp& ftp, const std::string& reply);
  // The start both directions share: the operation and the names recorded, an empty name failed.
  static bool BeginTransfer(TMFtp& ftp, FtpOperation operation, std::string_view remote_file,
                            std::string_view local_file);
  static void Abort(TMFtp& ftp);
  // ABOR for a request without data connection (a command the server leaves unanswered).
  static void AbortCommand(TMFtp& ftp);
  static void StartAbort(TMFtp& ftp, bool command);
  static void AbortReply(TMFtp& ftp, const std::string& reply);
  static void EndAbort(TMFtp& ftp);
  static void FailAbort(TMFtp& ftp);
  static void AbortWaitOver(TMFtp& ftp);
  static void HandleNotice(TMFtp& ftp, const Notice& notice);
  static void WaitWhileBusy(TMFtp& ftp);

  // FtpTransfer.cpp: RETR, STOR and APPE.
  static void ResumeQuestion(TMFtp& ftp, const std::string& reply);
  static void DownloadSizeReply(TMFtp& ftp, const std::string& reply);
  static void RetrStep(TMFtp& ftp, const std::string& reply);
  static void RestartStep(TMFtp& ftp, const std::string& reply);
  static void RestReply(TMFtp& ftp, const std::string& reply);
  static void RetrReply(TMFtp& ftp, const std::string& reply);
  static char* TransferBuffer(TMFtp& ftp);
  static void DownloadReader(TMFtp& ftp);
  // Writes one received block; false when a full FIFO holds the rest (reading then pauses).
  static bool WriteReceived(TMFtp& ftp, const char* bytes, size_t count);
  static void TransferCloser(TMFtp& ftp);
  static void CloseTransfer(TMFtp& ftp, uint16_t error);
  static void UploadCheck(TMFtp& ftp, const std::string& reply);
  static void UploadSizeReply(TMFtp& ftp, const std::string& reply);
  static void StorStep(TMFtp& ftp, const std::string& reply);
  static void RestartStoreStep(TMFtp& ftp, const std::string& reply);
  static void RestStoreReply(TMFtp& ftp, const std::string& reply);
  static void StorReply(TMFtp& ftp, const std::string& reply);
  static void UploadSender(TMFtp& ftp);
  static bool FillSendBuffer(TMFtp& ftp);
  static bool UploadAtEnd(TMFtp& ftp);
  static void EndUpload(TMFtp& ftp);
  static void Decline(TMFtp& ftp);

  // FtpLocalStream.cpp: a FIFO as the local file, which is never waited on.
  static std::string StreamOpenText(TMFtp& ftp, bool writing);
  static bool HoldUnwritten(TMFtp& ftp, const char* bytes, size_t count);
  static void WriteHeld(TMFtp& ftp);
  static void DropHeld(TMFtp& ftp);

  // FtpListing.cpp: LIST.
  static void ListingTypeReply(TMFtp& ftp, const std::string& reply);
  static void ListStep(TMFtp& ftp, const std::string& reply);
  static void ListReply(TMFtp& ftp, const std::string& reply);
  static void ListingReader(TMFtp& ftp);
  static void TakeListingLine(TMFtp& ftp, const std::string& line);
  static void TakeLastListingLine(TMFtp& ftp);
  static void ListingTooLong(TMFtp& ftp);
  static void ListingCloser(TMFtp& ftp);
  static void ListingCompletion(TMFtp& ftp);
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

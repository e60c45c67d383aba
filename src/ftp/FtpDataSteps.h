// The steps every data connection shares, one named function each (FtpData.cpp): TYPE, PASV,
// EPSV and PORT, the wiring of the data socket to a transfer or a listing, the data start, a
// failed data connection, the final reply of a transfer, and the ABOR sequence. The transfer
// and listing chains build on them. Internal to src/ftp; loop thread only.
#pragma once

#include <cstdint>
#include <string>

#include "ftp/EngineContext.h"

namespace tarsil {

// LastReply of an aborted transfer whose own reply did not say so.
inline constexpr const char* kTextAbortedReply = "426 Transfer aborted";
// The abort's timer: first the grace a server gets to stop the transfer itself, then the bound
// on the wait for each reply.
inline constexpr uint32_t kAbortGraceMs = 250;
inline constexpr uint32_t kAbortReplyWaitMs = 3000;
// How long the final reply of a transfer whose data connection failed is awaited before the
// transfer is aborted.
inline constexpr uint32_t kDataReplyWaitMs = 5000;
inline constexpr const char* kTextDataFailed =
    "The data connection failed before the transfer was complete";
inline constexpr const char* kTextAbortUnanswered =
    "No reply to ABOR: the control connection is closed";

enum class DataWiring { kDownload, kUpload, kListing };

struct FtpDataSteps {
  static void SetType(EngineContext& ftp, const char* letter, ReplyHandler next);
  // PASV/EPSV or PORT, then the transfer's data_step.
  static void PasvPortStep(EngineContext& ftp, const std::string& reply);
  static void UploadPasvPortStep(EngineContext& ftp, const std::string& reply);
  static void SendPassive(EngineContext& ftp);  // EPSV over IPv6 or with EPSV=Y, else PASV
  static void PasvReply(EngineContext& ftp, const std::string& reply);
  static void EpsvReply(EngineContext& ftp, const std::string& reply);
  static void ConnectData(EngineContext& ftp, uint16_t port);
  static void SendPort(EngineContext& ftp, ReplyHandler next);
  // The data socket's slots for this direction; a connection that came early is taken now.
  static void Wire(EngineContext& ftp, DataWiring wiring);
  static void AcceptStart(EngineContext& ftp, DataWiring wiring);
  static void DataStart(EngineContext& ftp, DataWiring wiring);
  static bool SendTransferCommand(EngineContext& ftp, const std::string& command,
                                  ReplyHandler handler);
  static bool ReceiveFailed(EngineContext& ftp);
  static bool ClosedByFailure(EngineContext& ftp, uint16_t error);
  // The data connection failed (refused, reset, cut short): it is closed and the transfer fails,
  // the control connection stays. Its closer then runs DataFailedEnd: after a positive final
  // reply the error ends the request at once; before one, the server's final reply is awaited
  // (a negative one decides the outcome as usual), for a bounded time.
  static void DataFailed(EngineContext& ftp);
  static void DataFailedEnd(EngineContext& ftp);
  // Marks the data connection failed, keeping the TLS layer's words when that is what failed.
  static void NoteDataFailure(EngineContext& ftp, uint16_t error);
  static std::string DataFailureText(EngineContext& ftp);
  static void DataReplyWaitOver(EngineContext& ftp);
  // The final reply of a transfer or a listing: a positive one ends the request together with
  // the close of its data connection (in either order); any other fails it.
  static void FinalTransferReply(EngineContext& ftp, const std::string& reply);

  static void Abort(EngineContext& ftp);
  // ABOR for a request without data connection (a command the server leaves unanswered).
  static void AbortCommand(EngineContext& ftp);
  static void StartAbort(EngineContext& ftp, bool command);
  static void AbortReply(EngineContext& ftp, const std::string& reply);
  static void EndAbort(EngineContext& ftp);
  static void FailAbort(EngineContext& ftp);
  static void AbortWaitOver(EngineContext& ftp);
  static void HandleNotice(EngineContext& ftp, const Notice& notice);  // an upload's next share
};

inline constexpr ReplyHandler kPasvPortStep{"PasvPort", &FtpDataSteps::PasvPortStep};
inline constexpr ReplyHandler kUploadPasvPortStep{"UploadPasvPort",
                                                  &FtpDataSteps::UploadPasvPortStep};
inline constexpr ReplyHandler kPasvReply{"Pasv", &FtpDataSteps::PasvReply};
inline constexpr ReplyHandler kEpsvReply{"Epsv", &FtpDataSteps::EpsvReply};
inline constexpr ReplyHandler kAbortReply{"Abort", &FtpDataSteps::AbortReply};

}  // namespace tarsil

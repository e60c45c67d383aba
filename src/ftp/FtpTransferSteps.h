// The transfer chain of the FTP engine, one named function each: downloads (RETR) and uploads
// (STOR or APPE) with SIZE, REST and the resume question, the download reader, the upload
// sender and the transfer closer (FtpTransfer.cpp), and a FIFO as the local file
// (FtpLocalStream.cpp). Internal to src/ftp; loop thread only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "ftp/EngineContext.h"

namespace tarsil {

struct FtpTransferSteps {
  // RetrieveFile and StoreFile; StoreFile throws FtpLocalFileError when the file cannot be read.
  static void Retrieve(EngineContext& ftp, std::string_view remote_file,
                       std::string_view local_file);
  static void Store(EngineContext& ftp, std::string_view local_file, std::string_view remote_file);
  static void CloseLocalFile(EngineContext& ftp);

  // The start both directions share: the operation and the names recorded, an empty name failed.
  static bool BeginTransfer(EngineContext& ftp, FtpOperation operation,
                            std::string_view remote_file, std::string_view local_file);
  static void Decline(EngineContext& ftp);
  static void ResumeQuestion(EngineContext& ftp, const std::string& reply);
  static void DownloadSizeReply(EngineContext& ftp, const std::string& reply);
  static void RetrStep(EngineContext& ftp, const std::string& reply);
  static void RestartStep(EngineContext& ftp, const std::string& reply);
  static void RestReply(EngineContext& ftp, const std::string& reply);
  static void RetrReply(EngineContext& ftp, const std::string& reply);
  static void DownloadReader(EngineContext& ftp);
  // Writes one received block; false when a full FIFO holds the rest (reading then pauses).
  static bool WriteReceived(EngineContext& ftp, const char* bytes, size_t count);
  static void TransferCloser(EngineContext& ftp);
  static void CloseTransfer(EngineContext& ftp, uint16_t error);
  static void UploadCheck(EngineContext& ftp, const std::string& reply);
  static void UploadSizeReply(EngineContext& ftp, const std::string& reply);
  static void StorStep(EngineContext& ftp, const std::string& reply);
  static void RestartStoreStep(EngineContext& ftp, const std::string& reply);
  static void RestStoreReply(EngineContext& ftp, const std::string& reply);
  static void StorReply(EngineContext& ftp, const std::string& reply);
  static void UploadSender(EngineContext& ftp);
  static bool FillSendBuffer(EngineContext& ftp);
  static bool UploadAtEnd(EngineContext& ftp);
  static void EndUpload(EngineContext& ftp);

  // FtpLocalStream.cpp: a FIFO as the local file, which is never waited on.
  static std::string StreamOpenText(EngineContext& ftp, bool writing);
  static bool HoldUnwritten(EngineContext& ftp, const char* bytes, size_t count);
  static void WriteHeld(EngineContext& ftp);
  static void DropHeld(EngineContext& ftp);
};

}  // namespace tarsil

// The listing chain of the FTP engine, one named function each (FtpListing.cpp): the listing of
// the current directory from the cache, or LIST over a data connection cut into lines and parsed
// into the file and folder lists, which are written to the cache when the listing ended without
// an error. Internal to src/ftp; loop thread only.
#pragma once

#include <cstdint>
#include <string>

#include "ftp/EngineContext.h"

namespace tarsil {

struct FtpListingSteps {
  static void List(EngineContext& ftp);  // ListDirectory
  static void Release(EngineContext& ftp);
  static void ListingTypeReply(EngineContext& ftp, const std::string& reply);
  static void ListStep(EngineContext& ftp, const std::string& reply);
  static void ListReply(EngineContext& ftp, const std::string& reply);
  static void ListingReader(EngineContext& ftp);
  static void TakeListingLine(EngineContext& ftp, const std::string& line);
  static void TakeLastListingLine(EngineContext& ftp);
  static void ListingTooLong(EngineContext& ftp);
  static void ListingCloser(EngineContext& ftp);
  // The ready notice of a listing, before OnListingDone: the new lists become the current ones.
  static void Completion(EngineContext& ftp);
};

}  // namespace tarsil

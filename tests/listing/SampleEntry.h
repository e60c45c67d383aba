// A listing entry with every field filled, for the list and cache tests.
#pragma once

#include <string>
#include <utility>

#include "listing/RemoteEntryList.h"

namespace tarsil::testing {

inline RemoteEntry SampleEntry(std::string name, std::string description = "") {
  RemoteEntry info;
  info.FileName = std::move(name);
  info.Attributes = "-rw-r--r--";
  info.Date = "1/15/26 12:34 PM";
  info.Size = "1234";
  info.Link = "-> target";
  info.Owner = "joe";
  info.Group = "staff";
  info.Description = std::move(description);
  return info;
}

}  // namespace tarsil::testing

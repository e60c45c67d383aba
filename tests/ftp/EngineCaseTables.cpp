#include "EngineCaseTables.h"

#include <array>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include "support/CaseFile.h"

namespace tarsil::testing {
namespace {

template <typename Enum, size_t N>
using NameTable = std::array<std::pair<Enum, std::string_view>, N>;

constexpr NameTable<FtpServerType, 22> kServerTypes = {{
    {ftpstAutoDetect, "ftpstAutoDetect"},
    {ftpstDefault, "ftpstDefault"},
    {ftpstUNIX, "ftpstUNIX"},
    {ftpstULTRIX, "ftpstULTRIX"},
    {ftpstClix, "ftpstClix"},
    {ftpstChameleon, "ftpstChameleon"},
    {ftpstNCSA, "ftpstNCSA"},
    {ftpstQVT, "ftpstQVT"},
    {ftpstBSD, "ftpstBSD"},
    {ftpstSunOS, "ftpstSunOS"},
    {ftpstVmsMultinet, "ftpstVmsMultinet"},
    {ftpstVmsUcx, "ftpstVmsUcx"},
    {ftpstMVS, "ftpstMVS"},
    {ftpstVM, "ftpstVM"},
    {ftpstVMVPS, "ftpstVMVPS"},
    {ftpstMSFTP, "ftpstMSFTP"},
    {ftpstNetTerm, "ftpstNetTerm"},
    {ftpstServU, "ftpstServU"},
    {ftpstWFTPD, "ftpstWFTPD"},
    {ftpWarFTPD, "ftpWarFTPD"},
    {ftpstNetware, "ftpstNetware"},
    {ftpstNetPresenz, "ftpstNetPresenz"},
}};

constexpr NameTable<FtpProxyType, 6> kProxyTypes = {{
    {proxyNone, "proxyNone"},
    {proxyHost, "proxyHost"},
    {proxyHostUser, "proxyHostUser"},
    {proxyOpen, "proxyOpen"},
    {proxySite, "proxySite"},
    {proxyUserSite, "proxyUserSite"},
}};

constexpr NameTable<FtpTransferType, 2> kTransferTypes = {{
    {AsciiTransfer, "AsciiTransfer"},
    {BinaryTransfer, "BinaryTransfer"},
}};

constexpr NameTable<FtpOperation, 12> kOperations = {{
    {FtpOperation::kIdle, "kIdle"},
    {FtpOperation::kLogin, "kLogin"},
    {FtpOperation::kChangeDir, "kChangeDir"},
    {FtpOperation::kMakeDir, "kMakeDir"},
    {FtpOperation::kRemoveDir, "kRemoveDir"},
    {FtpOperation::kDeleteFile, "kDeleteFile"},
    {FtpOperation::kDownload, "kDownload"},
    {FtpOperation::kUpload, "kUpload"},
    {FtpOperation::kListing, "kListing"},
    {FtpOperation::kRename, "kRename"},
    {FtpOperation::kParentDir, "kParentDir"},
    {FtpOperation::kKeepAlive, "kKeepAlive"},
}};

constexpr NameTable<FtpInfoNeeded, 6> kNeeds = {{
    {needAccount, "needAccount"},
    {needServer, "needServer"},
    {needLocalFile, "needLocalFile"},
    {needResumeChoice, "needResumeChoice"},
    {needPassword, "needPassword"},
    {needUser, "needUser"},
}};

template <typename Enum, size_t N>
Enum Parse(const NameTable<Enum, N>& table, const std::string& name) {
  for (const auto& [value, text] : table) {
    if (text == name) return value;
  }
  throw std::invalid_argument("unknown name " + name);
}

template <typename Enum, size_t N>
std::string Print(const NameTable<Enum, N>& table, Enum value) {
  for (const auto& [known, text] : table) {
    if (known == value) return std::string(text);
  }
  return "?" + std::to_string(static_cast<int>(value));
}

std::string Flag(bool on) { return on ? "true" : "false"; }
int Integer(const std::string& value) { return std::stoi(value); }

// Settings a case may give with "set NAME VALUE" (text values are decoded, so " x " keeps blanks).
const EngineSetting kSettings[] = {
    {.name = "Username", .apply = [](FtpEngine& f, const std::string& v) { f.SetUsername(v); }},
    {.name = "Password", .apply = [](FtpEngine& f, const std::string& v) { f.SetPassword(v); }},
    {.name = "Account", .apply = [](FtpEngine& f, const std::string& v) { f.SetAccount(v); }},
    {.name = "Server", .apply = [](FtpEngine& f, const std::string& v) { f.SetServer(v); }},
    {.name = "Port",
     .apply = [](FtpEngine& f,
                 const std::string& v) { f.SetPort(static_cast<uint16_t>(Integer(v))); }},
    {.name = "Retries",
     .apply = [](FtpEngine& f, const std::string& v) { f.SetRetries(Integer(v)); }},
    {.name = "ServerType",
     .apply = [](FtpEngine& f, const std::string& v) { f.SetServerType(Parse(kServerTypes, v)); }},
    {.name = "InitialDirectory",
     .apply = [](FtpEngine& f, const std::string& v) { f.SetInitialDirectory(v); }},
    {.name = "ProxyType",
     .apply = [](FtpEngine& f, const std::string& v) { f.SetProxyType(Parse(kProxyTypes, v)); }},
    {.name = "ProxyServer",
     .apply = [](FtpEngine& f, const std::string& v) { f.SetProxyServer(v); }},
    {.name = "ProxyPort",
     .apply = [](FtpEngine& f, const std::string& v) { f.SetProxyPort(Integer(v)); }},
    {.name = "ProxyUsername",
     .apply = [](FtpEngine& f, const std::string& v) { f.SetProxyUsername(v); }},
    {.name = "ProxyPassword",
     .apply = [](FtpEngine& f, const std::string& v) { f.SetProxyPassword(v); }},
    {.name = "Passive",
     .apply = [](FtpEngine& f, const std::string& v) { f.SetPassive(DecodeFlag(v)); }},
    {.name = "TransferMode",
     .apply = [](FtpEngine& f,
                 const std::string& v) { f.SetTransferMode(Parse(kTransferTypes, v)); }},
    {.name = "AppendUpload",
     .apply = [](FtpEngine& f, const std::string& v) { f.SetAppendUpload(DecodeFlag(v)); }},
    {.name = "Asynchronous",
     .apply = [](FtpEngine& f, const std::string& v) { f.SetAsynchronous(DecodeFlag(v)); }},
    {.name = "TimeOut",
     .apply = [](FtpEngine& f, const std::string& v) { f.SetTimeOut(Integer(v)); }},
    {.name = "UseEpsv",
     .apply = [](FtpEngine& f, const std::string& v) { f.SetUseEpsv(DecodeFlag(v)); }},
    {.name = "FileMask", .apply = [](FtpEngine& f, const std::string& v) { f.SetFileMask(v); }},
    {.name = "ListingLimits",
     .apply =
         [](FtpEngine& f, const std::string& v) {
           const std::vector<std::string> words = SplitWords(v);
           if (words.size() != 2) throw std::invalid_argument("ListingLimits BYTES LINES");
           f.SetListingLimits(std::stoull(words[0]), std::stoull(words[1]));
         }},
    {.name = "Cache",
     .apply = [](FtpEngine& f, const std::string& v) { f.SetCache(DecodeFlag(v)); }},
    {.name = "NoopInterval",
     .apply = [](FtpEngine& f,
                 const std::string& v) { f.SetNoopInterval(static_cast<uint16_t>(Integer(v))); }},
    {.name = "RetryInterval",
     .apply = [](FtpEngine& f,
                 const std::string& v) { f.SetRetryInterval(static_cast<uint16_t>(Integer(v))); }},
};

// Properties a case may check with "check NAME VALUE", as text.
const EngineProperty kProperties[] = {
    {.name = "ServerType",
     .read = [](const FtpEngine& f) { return Print(kServerTypes, f.ServerType()); }},
    {.name = "ProxyType",
     .read = [](const FtpEngine& f) { return Print(kProxyTypes, f.ProxyType()); }},
    {.name = "CurrentOperation",
     .read = [](const FtpEngine& f) { return Print(kOperations, f.CurrentOperation()); }},
    {.name = "ResumeSupported",
     .read = [](const FtpEngine& f) { return Flag(f.ResumeSupported()); }},
    {.name = "SizeSupported", .read = [](const FtpEngine& f) { return Flag(f.SizeSupported()); }},
    {.name = "Busy", .read = [](const FtpEngine& f) { return Flag(f.Busy()); }},
    {.name = "LoggedIn", .read = [](const FtpEngine& f) { return Flag(f.LoggedIn()); }},
    {.name = "Connected", .read = [](const FtpEngine& f) { return Flag(f.Connected()); }},
    {.name = "CurrentDirectory", .read = [](const FtpEngine& f) { return f.CurrentDirectory(); }},
    {.name = "LastReply", .read = [](const FtpEngine& f) { return f.LastReply(); }},
    {.name = "Username", .read = [](const FtpEngine& f) { return f.Username(); }},
    {.name = "Password", .read = [](const FtpEngine& f) { return f.Password(); }},
    {.name = "Account", .read = [](const FtpEngine& f) { return f.Account(); }},
    {.name = "Server", .read = [](const FtpEngine& f) { return f.Server(); }},
    {.name = "Port", .read = [](const FtpEngine& f) { return std::to_string(f.Port()); }},
    {.name = "Retries", .read = [](const FtpEngine& f) { return std::to_string(f.Retries()); }},
    {.name = "RetriesLeft",
     .read = [](const FtpEngine& f) { return std::to_string(f.RetriesLeft()); }},
    {.name = "RetryWaiting", .read = [](const FtpEngine& f) { return Flag(f.RetryWaiting()); }},
    {.name = "NoopSupported", .read = [](const FtpEngine& f) { return Flag(f.NoopSupported()); }},
    {.name = "RequestOk", .read = [](const FtpEngine& f) { return Flag(f.RequestOk()); }},
    {.name = "Asynchronous", .read = [](const FtpEngine& f) { return Flag(f.Asynchronous()); }},
    {.name = "RawListingLines",
     .read = [](const FtpEngine& f) { return std::to_string(f.RawListing().size()); }},
    {.name = "ListingFromCache",
     .read = [](const FtpEngine& f) { return Flag(f.ListingFromCache()); }},
    {.name = "BytesTransferred",
     .read = [](const FtpEngine& f) { return std::to_string(f.BytesTransferred()); }},
};

}  // namespace

const EngineSetting* FindEngineSetting(const std::string& name) {
  for (const EngineSetting& setting : kSettings) {
    if (name == setting.name) return &setting;
  }
  return nullptr;
}

const EngineProperty* FindEngineProperty(const std::string& name) {
  for (const EngineProperty& property : kProperties) {
    if (name == property.name) return &property;
  }
  return nullptr;
}

std::string NeedName(FtpInfoNeeded need) { return Print(kNeeds, need); }

}  // namespace tarsil::testing

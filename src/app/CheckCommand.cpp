#include "app/CheckCommand.h"

#include <exception>

#include "app/ExitStatus.h"
#include "app/ScriptFile.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "script/StoredValues.h"

namespace tarsil {

StoredValueLookup ReadOnlyStoredValues(const SettingsStore& store) {
  return [&store](std::string_view name) -> std::optional<std::string> {
    try {
      return store.ReadString(kTarsilKey, name);
    } catch (const SettingsError&) {
      return std::nullopt;
    }
  };
}

std::vector<std::string> CheckScriptLines(const std::vector<std::string>& lines,
                                          const std::string& script_name,
                                          const SettingsStore& store) {
  std::vector<std::string> texts;
  for (const CheckFinding& finding : CheckScript(lines, ReadOnlyStoredValues(store))) {
    texts.push_back(FormatFinding(script_name, finding));
  }
  return texts;
}

int RunCheckCommand(const std::string& path, std::FILE* out, std::FILE* err) {
  if (path.empty()) {
    std::fputs("tarsil: --check needs the path of a script (tarsil --check job.fcs)\n", err);
    return kExitScriptUnreadable;
  }
  const std::string file_name = Utf8ToCp932(path);
  std::optional<std::string> text;
  if (FileExists(file_name)) text = ReadWholeFile(file_name);
  if (!text) {
    std::fprintf(err, "tarsil: cannot read the script %s\n", path.c_str());
    return kExitScriptUnreadable;
  }
  std::vector<std::string> lines;
  if (IsScrambledScriptName(file_name)) {
    lines = SplitTextLines(*text);
    try {
      DecodeScriptLines(lines);
    } catch (const std::exception& failure) {
      std::fprintf(err, "tarsil: cannot decode the scrambled script %s: %s\n", path.c_str(),
                   Cp932ToUtf8(failure.what()).c_str());
      return kExitScriptUnreadable;
    }
  } else {
    try {
      lines = DecodeScriptText(*text).lines;  // UTF-8 scripts are read as a run reads them
    } catch (const ScriptTextError& failure) {
      std::fprintf(err, "tarsil: cannot read the script %s: %s\n", path.c_str(),
                   Cp932ToUtf8(failure.what()).c_str());
      return kExitScriptUnreadable;
    }
  }
  SettingsStore store(SettingsStore::DefaultPath());
  const std::vector<std::string> findings = CheckScriptLines(lines, file_name, store);
  for (const std::string& finding : findings) {
    const std::string line = Cp932ToUtf8(finding) + "\n";
    std::fwrite(line.data(), 1, line.size(), out);
  }
  std::fflush(out);
  return findings.empty() ? kExitOk : kExitErrors;
}

}  // namespace tarsil

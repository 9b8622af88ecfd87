#include "system/posix/DesktopToolsPosix.h"

#include <cctype>
#include <string>

#include "process/Process.h"
#include "system/SystemDriver.h"

namespace corvex {
namespace {

// What a requester may print before it counts as misbehaving; a path is far shorter.
constexpr std::size_t kOutputLimit = 64 * 1024;
// How long a requester that closed its output may take to end before it is killed.
constexpr uint32_t kExitGraceMillis = 2000;

// The groups to offer, the pre-selected one first (the requesters start with the first one
// offered); groups without extensions are left out.
std::vector<const FileFilterGroup*> OfferedGroups(const std::vector<FileFilterGroup>& groups,
                                                  int32_t preselect) {
  std::vector<const FileFilterGroup*> offered;
  const std::size_t first = preselect >= 1 ? static_cast<std::size_t>(preselect - 1) : groups.size();
  if (first < groups.size() && !groups[first].extensions.empty()) offered.push_back(&groups[first]);
  for (std::size_t i = 0; i < groups.size(); ++i) {
    if (i != first && !groups[i].extensions.empty()) offered.push_back(&groups[i]);
  }
  return offered;
}

// "*.[pP][nN][gG]": zenity matches patterns case-sensitively, the requester's users expect not.
String CaseFreePattern(const String& extension) {
  if (extension == String("*")) return "*";
  String pattern = "*.";
  for (const char16_t unit : extension.Units()) {
    if (unit < 128 && std::isalpha(static_cast<int>(unit)) != 0) {
      pattern += u'[';
      pattern += static_cast<char16_t>(std::tolower(static_cast<int>(unit)));
      pattern += static_cast<char16_t>(std::toupper(static_cast<int>(unit)));
      pattern += u']';
    } else {
      pattern += unit;
    }
  }
  return pattern;
}

// zenity splits a filter at '|', kdialog ends a name at a line break: keep both out of names.
String FilterName(const String& name) {
  return name.Replace(u'|', u' ').Replace(u'\n', u' ');
}

}  // namespace

String ToolCommandLine(const ToolCommand& words) {
  String line;
  for (const String& word : words) {
    if (!line.IsEmpty()) line += u' ';
    // A backslash right before the closing quote would make that quote literal, so trailing
    // backslashes go after it, where they stay literal.
    int32_t body = word.Length();
    while (body > 0 && word.At(body - 1) == u'\\') --body;
    line += u'"';
    for (int32_t i = 0; i < body; ++i) {
      if (word.At(i) == u'"') line += u'\\';
      line += word.At(i);
    }
    line += u'"';
    line += word.Slice(body);
  }
  return line;
}

ToolCommand ZenityFileCommand(const String& title, const std::vector<FileFilterGroup>& groups,
                              int32_t preselect, bool save, const String& startPath) {
  ToolCommand command{"zenity", "--file-selection", String("--title=") + title};
  if (save) {
    command.emplace_back("--save");
    command.emplace_back("--confirm-overwrite");
  }
  if (!startPath.IsEmpty()) command.push_back(String("--filename=") + startPath);
  for (const FileFilterGroup* group : OfferedGroups(groups, preselect)) {
    String filter = String("--file-filter=") + FilterName(group->name) + " |";
    for (const String& extension : group->extensions) filter += String(" ") + CaseFreePattern(extension);
    command.push_back(filter);
  }
  return command;
}

ToolCommand KdialogFileCommand(const String& title, const std::vector<FileFilterGroup>& groups,
                               int32_t preselect, bool save, const String& startPath) {
  ToolCommand command{"kdialog", "--title", title, save ? "--getsavefilename" : "--getopenfilename",
                      startPath.IsEmpty() ? String(".") : startPath};
  String filter;
  for (const FileFilterGroup* group : OfferedGroups(groups, preselect)) {
    if (!filter.IsEmpty()) filter += u'\n';
    for (std::size_t i = 0; i < group->extensions.size(); ++i) {
      if (i > 0) filter += u' ';
      filter += group->extensions[i] == String("*") ? String("*") : String("*.") + group->extensions[i];
    }
    filter += String("|") + FilterName(group->name);
  }
  if (!filter.IsEmpty()) command.push_back(filter);
  return command;
}

ToolCommand ZenityFolderCommand(const String& title, const String& folder) {
  ToolCommand command{"zenity", "--file-selection", "--directory", String("--title=") + title};
  if (!folder.IsEmpty()) command.push_back(String("--filename=") + folder);
  return command;
}

ToolCommand KdialogFolderCommand(const String& title, const String& folder) {
  return ToolCommand{"kdialog", "--title", title, "--getexistingdirectory",
                     folder.IsEmpty() ? String(".") : folder};
}

String RunFirstTool(const std::vector<ToolCommand>& candidates) {
  for (const ToolCommand& candidate : candidates) {
    const Ref<TProcess> process = LaunchProcess(ToolCommandLine(candidate));
    if (!process) continue;
    std::string output;
    char buffer[4096];
    for (;;) {
      const int32_t got = process->Pipe()->Read(buffer, sizeof buffer);
      if (got <= 0) break;
      if (output.size() < kOutputLimit) output.append(buffer, static_cast<std::size_t>(got));
    }
    const uint32_t start = static_cast<uint32_t>(MillisNow());
    while (process->Running() != 0 && static_cast<uint32_t>(MillisNow()) - start < kExitGraceMillis)
      SleepMillis(10);
    // Kill also takes the ended process off the process list.
    process->Kill();
    process->ClosePipes();
    const std::size_t end = output.find('\n');
    if (end != std::string::npos) output.resize(end);
    if (!output.empty() && output.back() == '\r') output.pop_back();
    return String::FromBytes(output);
  }
  return String();
}

ToolCommand DesktopOpenCommand(const String& url) {
  // The url is the script's argument, never part of its text. xdg-open runs in the background,
  // in a session of its own and with its output away from our pipes, so the program it starts
  // neither blocks on a full pipe nor dies with the shell's process group or with this program.
  // "started" comes from inside the new session: killing the ended shell's group cannot catch
  // xdg-open before it has left.
  return ToolCommand{
      "/bin/sh", "-c",
      "command -v xdg-open >/dev/null 2>&1 || exit 1; "
      "setsid /bin/sh -c 'echo started; exec xdg-open \"$0\" </dev/null >/dev/null 2>&1' \"$1\" &",
      "sh", url};
}

int32_t OpenWithDesktop(const String& url) {
  return RunFirstTool({DesktopOpenCommand(url)}) == String("started") ? 1 : 0;
}

}  // namespace corvex

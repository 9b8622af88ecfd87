#include "system/Requester.h"

namespace corvex {
namespace {

String Trimmed(const String& text) {
  int32_t start = 0;
  int32_t end = text.Length();
  while (start < end && (text.At(start) == u' ' || text.At(start) == u'\t')) ++start;
  while (end > start && (text.At(end - 1) == u' ' || text.At(end - 1) == u'\t')) --end;
  return text.Slice(start, end);
}

std::vector<String> SplitAt(const String& text, char16_t separator) {
  std::vector<String> parts;
  int32_t start = 0;
  for (int32_t i = 0; i <= text.Length(); ++i) {
    if (i == text.Length() || text.At(i) == separator) {
      parts.push_back(text.Slice(start, i));
      start = i + 1;
    }
  }
  return parts;
}

}  // namespace

RequesterStart SplitRequesterPath(const String& initialPath) {
  const String path = initialPath.Replace(u'\\', u'/');
  const int32_t slash = path.FindLast(u'/');
  RequesterStart start;
  if (slash < 0) {
    start.fileName = path;
  } else {
    start.directory = path.Slice(0, slash);
    start.fileName = path.Slice(slash + 1);
  }
  if (start.fileName.Length() > kRequesterNameLimit)
    start.fileName = start.fileName.Slice(0, kRequesterNameLimit);
  return start;
}

std::vector<FileFilterGroup> ParseFileFilters(const String& extensions) {
  std::vector<FileFilterGroup> groups;
  if (extensions.IsEmpty()) return groups;
  const bool named = extensions.Find(":") >= 0;
  for (const String& part : named ? SplitAt(extensions, u';') : std::vector<String>{extensions}) {
    FileFilterGroup group;
    String list = part;
    const int32_t colon = part.Find(":");
    if (colon >= 0) {
      group.name = part.Slice(0, colon);
      list = part.Slice(colon + 1);
    } else {
      group.name = "Files";
    }
    for (const String& extension : SplitAt(list, u',')) {
      const String trimmed = Trimmed(extension);
      if (!trimmed.IsEmpty()) group.extensions.push_back(trimmed);
    }
    groups.push_back(std::move(group));
  }
  return groups;
}

int32_t PreselectedFilterIndex(const String& extensions, const String& initialPath) {
  // The extension is taken after the last '.' of the file name, so that dots in directory names
  // ("./", "my.pics/") do not hide it.
  const String name = SplitRequesterPath(initialPath).fileName;
  const int32_t dot = name.FindLast(u'.');
  if (dot < 0) return 0;
  const String wanted = String(",") + name.Slice(dot + 1).ToLower() + ",";
  // Wrap every extension of the list in commas: "a:png,jpg;b:txt" becomes
  // "a:,png,jpg,;b:,txt", so that only the last group's last extension stays unwrapped.
  const String lowered = extensions.ToLower();
  String list;
  for (const char16_t unit : lowered.Units()) {
    if (unit == u';') list += u',';
    list += unit;
    if (unit == u':') list += u',';
  }
  const int32_t match = list.Find(wanted);
  if (match < 0) return 0;
  int32_t groupsBefore = 0;
  for (int32_t i = 0; i < match; ++i) {
    if (list.At(i) == u';') ++groupsBefore;
  }
  if (list.Find(";", match) < 0) return 0;
  return groupsBefore + 1;
}

}  // namespace corvex

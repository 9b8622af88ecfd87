// The rules of the file requester that do not depend on the platform's dialog: where it opens,
// the filter groups of an extension list, and which group is pre-selected.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/String.h"

namespace corvex {

// The longest file name a requester is given to pre-fill; longer ones are cut.
inline constexpr int32_t kRequesterNameLimit = 4095;

// Where a file requester opens: a directory ("" for the requester's own choice) and the file
// name it pre-fills.
struct RequesterStart {
  // The directory, and the file name to pre-fill ("" for none).
  String directory;
  String fileName;
};

// One group of an extension list: "Image Files:png,jpg" names "Image Files" with png and jpg.
struct FileFilterGroup {
  // The name shown, and the extensions without their dots.
  String name;
  std::vector<String> extensions;
};

// Splits an initial path at its last '/' or '\' into directory and file name; without either
// the whole path is the file name.
RequesterStart SplitRequesterPath(const String& initialPath);

// The groups of an extension list, one per ';'-separated part, in order. A list without ':' is
// one group named "Files"; a part without ':' in a list that has one is also named "Files".
// Empty extensions are left out (a group may end up with none).
std::vector<FileFilterGroup> ParseFileFilters(const String& extensions);

// The group to pre-select for an initial path: 1 plus its index when the path's extension is
// listed in a group that another group follows, else 0 (the requester's first group).
int32_t PreselectedFilterIndex(const String& extensions, const String& initialPath);

}  // namespace corvex

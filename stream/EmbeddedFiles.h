// The registry of files built into the executable: named blocks of read-only bytes that live
// as long as the process. It maps names to bytes and knows nothing of streams.
#pragma once

#include <cstdint>

#include "runtime/String.h"

namespace corvex {

// One registered file. Entries are never freed and never change once registered.
struct EmbeddedFile {
  const EmbeddedFile* next;  // the entry registered before this one, null for the first
  String name;               // as "incbin::" names it
  const uint8_t* data;       // not owned: the bytes outlive the registry
  int32_t size;              // bytes at `data`
};

// Registers `size` bytes at `data` under `name`. Answers false, changing nothing, when the
// name is already registered (the first registration wins), data is null or size negative.
bool AddEmbeddedFile(const String& name, const void* data, int32_t size);
// The entry with exactly this name (code unit by code unit), or null.
const EmbeddedFile* FindEmbeddedFile(const String& name);
// The entry's bytes, or null when the name is not registered.
const uint8_t* EmbeddedFileData(const String& name);
// The entry's byte count, or 0 when the name is not registered.
int32_t EmbeddedFileSize(const String& name);

}  // namespace corvex

#include "stream/EmbeddedFiles.h"

namespace corvex {
namespace {

// Newest entry first. A plain pointer and entries that are never freed: the registry is
// filled before and during module initialisation and must outlive every reader.
const EmbeddedFile* g_embeddedFiles = nullptr;

}  // namespace

bool AddEmbeddedFile(const String& name, const void* data, int32_t size) {
  if (data == nullptr || size < 0) return false;
  if (FindEmbeddedFile(name) != nullptr) return false;
  g_embeddedFiles = new EmbeddedFile{g_embeddedFiles, name, static_cast<const uint8_t*>(data), size};
  return true;
}

const EmbeddedFile* FindEmbeddedFile(const String& name) {
  for (const EmbeddedFile* entry = g_embeddedFiles; entry != nullptr; entry = entry->next) {
    if (entry->name == name) return entry;
  }
  return nullptr;
}

const uint8_t* EmbeddedFileData(const String& name) {
  const EmbeddedFile* entry = FindEmbeddedFile(name);
  return entry != nullptr ? entry->data : nullptr;
}

int32_t EmbeddedFileSize(const String& name) {
  const EmbeddedFile* entry = FindEmbeddedFile(name);
  return entry != nullptr ? entry->size : 0;
}

}  // namespace corvex

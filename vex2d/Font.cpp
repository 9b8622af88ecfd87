#include "vex2d/Font.h"

#include "runtime/LastError.h"
#include "runtime/Module.h"

namespace corvex {
namespace {

// Head of the chain: a plain pointer holding one reference that is never released, so the
// loaders live until the process ends and nothing runs at static destruction.
TFontLoader* g_fontLoaders = nullptr;

bool IsInChain(const TFontLoader* loader) {
  for (const TFontLoader* link = g_fontLoaders; link != nullptr; link = link->Next().Get()) {
    if (link == loader) return true;
  }
  return false;
}

}  // namespace

float TFont::Kerning(int32_t, int32_t) {
  return 0.0f;
}

void AddFontLoader(const Ref<TFontLoader>& loader) {
  if (!loader || loader->next_ || IsInChain(loader.Get())) return;
  loader->next_ = Ref<TFontLoader>(g_fontLoaders);
  if (g_fontLoaders != nullptr) g_fontLoaders->Release();  // now held by the new head
  loader->AddRef();                                        // the chain's reference, never released
  g_fontLoaders = loader.Get();
}

Ref<TFontLoader> FontLoaders() {
  return Ref<TFontLoader>(g_fontLoaders);
}

Ref<TFont> LoadFont(const Url& url, int32_t size, int32_t style) {
  const String name = url.Text();
  const ErrorSubject subject(&name);
  const uint64_t failures = LastErrorCount();
  for (TFontLoader* loader = g_fontLoaders; loader != nullptr; loader = loader->Next().Get()) {
    Ref<TFont> font = loader->LoadFont(url, size, style);
    if (font) return font;
  }
  // A loader that took the font and failed has said why.
  if (LastErrorCount() != failures) return Null;
  return FailNull(g_fontLoaders == nullptr ? "no font loader registered" : "not a font in a known format");
}

void InitFontModule() {
  static constinit int initialised = 0;
  if (!EnterModuleOnce(initialised)) return;
  InitRuntimeModule();
}

}  // namespace corvex

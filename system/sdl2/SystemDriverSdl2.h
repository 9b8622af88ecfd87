// The system driver on SDL2: the one event pump (SDL_PollEvent / SDL_WaitEvent), the pointer,
// message boxes through SDL, and requesters and shell opening through the desktop's tools.
#pragma once

#include <cstdint>

#include "runtime/String.h"
#include "system/SystemDriver.h"

namespace corvex {

class TSdl2SystemDriver : public TSystemDriver {
 public:
  // `started`: whether SDL's event services run; without them the driver dispatches nothing.
  explicit TSdl2SystemDriver(bool started) noexcept : started_(started) {}

  void Poll() override;
  void Wait() override;
  void PlacePointer(int32_t x, int32_t y) override;
  void SetPointerVisible(int32_t visible) override;
  void ShowNotice(const String& text, int32_t serious) override;
  int32_t AskOkCancel(const String& text, int32_t serious) override;
  int32_t AskYesNoCancel(const String& text, int32_t serious) override;
  String ChooseFile(const String& title, const String& extensions, int32_t save,
                    const String& initialPath) override;
  String ChooseFolder(const String& title, const String& initialPath) override;
  int32_t OpenInShell(const String& url) override;

 private:
  bool started_;
};

}  // namespace corvex

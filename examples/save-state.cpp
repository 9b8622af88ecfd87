// Saving and loading a game state through a data stream: the state is an object with its own
// data type, written with SaveSerialised to "data::save.bin" and read back with LoadSerialised.
// Collected coins are shared objects, so a coin both in the "collected" list and named as the
// "last coin" is written once and read back as one object. Arrows move the player onto coins;
// S saves (with a text summary in save.txt), L loads, Escape or closing the window quits.
//
// Run: build/release/examples/corvex-example-save-state (it writes save.bin and save.txt beside
// itself).
// With CORVEX_EXAMPLE_FRAMES=N in the environment it also stops by itself after N frames.
#include <cstdlib>

#include "data/DataStream.h"
#include "data/List.h"
#include "graphics/Graphics.h"
#include "runtime/Exceptions.h"
#include "startup/FrameworkModules.h"
#include "startup/Startup.h"
#include "stream/Bank.h"
#include "stream/Stream.h"
#include "stream/Url.h"
#include "system/InputTracker.h"
#include "system/KeyCodes.h"
#include "vex2d/Renderer.h"
#include "vex2d/RendererText.h"

using namespace corvex;

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;
constexpr const char* kSaveUrl = "data::save.bin";

// Whether the main loop goes on: no Escape, no close request, and under the frame limit.
bool KeepRunning(int32_t frame) {
  static const char* const limit = std::getenv("CORVEX_EXAMPLE_FRAMES");
  if (limit != nullptr && frame >= std::atoi(limit)) return false;
  return KeyHitCount(KEY_ESCAPE) == 0 && TakeTerminateRequest() == 0;
}

// [docs:data-type]
// The state worth keeping. A TData names the data type that writes and reads it.
class TGameState : public TData {
 public:
  Ref<TDataType> DataType() const override { return FindDataType("Example.TGameState"); }
  float x = 100, y = 240;
  int32_t score = 0;
  Ref<TList> collected = New<TList>();  // a TData too: written as an object
  Ref<Object> lastCoin;                 // also in `collected`: a shared reference
};

// Writes and reads the body of a TGameState; constructing it registers it by name.
class TGameStateType : public TDataType {
 public:
  String TypeName() const override { return "Example.TGameState"; }
  void WriteData(const Ref<Object>& object, TStream& stream) const override {
    const Ref<TGameState> state = Cast<TGameState>(object);
    stream.WriteFloat(state->x);
    stream.WriteFloat(state->y);
    stream.WriteInt(state->score);
    stream.WriteObject(state->collected);
    stream.WriteObject(state->lastCoin);
  }
  Ref<Object> ReadData(TStream& stream) const override {
    const Ref<TGameState> state = New<TGameState>();
    state->x = stream.ReadFloat();
    state->y = stream.ReadFloat();
    state->score = stream.ReadInt();
    // Bytes from a file are untrusted: check what came back before using it.
    state->collected = Cast<TList>(stream.ReadObject());
    if (!state->collected) state->collected = New<TList>();
    state->lastCoin = stream.ReadObject();
    return state;
  }
};
// [/docs:data-type]

// A coin: a bank (a TData of raw bytes) with its x and y. Anything that is not a TData would
// be written as Null.
Ref<TBank> NewCoin(int32_t x, int32_t y) {
  const Ref<TBank> coin = TBank::Create(8);
  coin->PokeInt(0, x);
  coin->PokeInt(4, y);
  return coin;
}

// Whether the list holds the coin at (x, y).
bool HasCoinAt(const TList& coins, int32_t x, int32_t y) {
  for (const Ref<Object>& object : coins) {
    const Ref<TBank> coin = Cast<TBank>(object);
    if (coin && coin->Size() == 8 && coin->PeekInt(0) == x && coin->PeekInt(4) == y) return true;
  }
  return false;
}

// [docs:text-file]
// A summary for people beside the save: "utf8::" wraps the file in a UTF-8 text stream.
void SaveSummary(const TGameState& state) {
  const Ref<TStream> stream = OpenWriteStream("utf8::save.txt");
  if (!stream) return;  // no file: nothing to say
  stream->WriteLine(String(u"Saved game \u2014 score ") + String::FromInt(state.score));
  stream->WriteLine("coins: " + String::FromInt(state.collected->Count()));
  stream->Close();  // streams are closed by their owner
}
// [/docs:text-file]

void RunExample() {
  // Set-up: the framework, the game's own data type (once, for the whole process), a window.
  InitFrameworkModules();
  New<TGameStateType>();
  if (!OpenGraphics(kWidth, kHeight, 0, 60, 0)) throw TRuntimeException("Unable to open a 640 x 480 window");
  SetClearColor(25, 35, 30);
  Ref<TGameState> state = New<TGameState>();
  String message = "S saves, L loads";

  for (int32_t frame = 0; KeepRunning(frame); ++frame) {
    // Update: move, pick up the coins on a grid of 80 pixels, save or load.
    state->x += 4.0f * static_cast<float>(IsKeyDown(KEY_RIGHT) - IsKeyDown(KEY_LEFT));
    state->y += 4.0f * static_cast<float>(IsKeyDown(KEY_DOWN) - IsKeyDown(KEY_UP));
    const int32_t gridX = (static_cast<int32_t>(state->x) + 40) / 80 * 80;
    const int32_t gridY = (static_cast<int32_t>(state->y) + 40) / 80 * 80;
    if (gridY >= 80 && !HasCoinAt(*state->collected, gridX, gridY)) {
      state->lastCoin = NewCoin(gridX, gridY);
      state->collected->AddLast(state->lastCoin);
      state->score += 10;
    }
    // [docs:save-load]
    if (KeyHitCount('S') != 0) {
      SaveSerialised(state, kSaveUrl);
      SaveSummary(*state);
      message = "Saved to save.bin and save.txt";
    }
    if (KeyHitCount('L') != 0) {
      try {
        const Ref<TGameState> loaded = Cast<TGameState>(LoadSerialised(kSaveUrl));
        if (loaded) state = loaded;
        message = loaded ? "Loaded save.bin" : "No saved game";
      } catch (const Object& error) {  // a damaged file: keep playing the current state
        message = "save.bin is damaged: " + error.ToString();
      }
    }
    // [/docs:save-load]

    // Draw: the coins still to take, the player, the score.
    ClearScreen();
    SetDrawColor(230, 190, 60);
    for (int32_t y = 80; y < kHeight; y += 80) {
      for (int32_t x = 0; x < kWidth; x += 80) {
        if (!HasCoinAt(*state->collected, x, y))
          DrawOval(static_cast<float>(x) - 6, static_cast<float>(y) - 6, 12, 12);
      }
    }
    SetDrawColor(120, 200, 255);
    DrawRect(state->x - 10, state->y - 10, 20, 20);
    SetDrawColor(255, 255, 255);
    DrawText(String("Score: ") + String::FromInt(state->score) +
                 "   coins: " + String::FromInt(state->collected->Count()),
             8, 8);
    // After a load the last coin is still the very object at the end of the list.
    const bool shared = state->lastCoin && state->lastCoin == state->collected->Last();
    DrawText(String("Last coin shared with the list: ") + (shared ? "yes" : "no"), 8, 26);
    DrawText(message + "   (arrows move, Escape quits)", 8, 44);
    FlipPage(-1);
  }

  // Clean-up.
  CloseMainGraphics();
}

}  // namespace

int main(int argc, char** argv) {
  return RunProgram(argc, argv, RunExample);
}

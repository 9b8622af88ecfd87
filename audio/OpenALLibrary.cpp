#include "audio/OpenALLibrary.h"

#include <type_traits>

#include "audio/SharedLibraryPlatform.h"

namespace corvex::openal {
namespace {

// Stands in for an entry point the library lacks: does nothing, answers 0.
template <class R, class... A>
R Stub(A...) {
  if constexpr (!std::is_void_v<R>) return R{};
}

template <class R, class... A>
void Bind(void* library, R (*&entry)(A...), const char* name) {
  void* symbol = platform::LibrarySymbol(library, name);
  entry = symbol ? reinterpret_cast<R (*)(A...)>(symbol) : &Stub<R, A...>;
}

void BindAll(void* library, Api& api) {
  Bind(library, api.alGenSources, "alGenSources");
  Bind(library, api.alSourcei, "alSourcei");
  Bind(library, api.alSourcef, "alSourcef");
  Bind(library, api.alSource3f, "alSource3f");
  Bind(library, api.alGetSourcei, "alGetSourcei");
  Bind(library, api.alGetSourcef, "alGetSourcef");
  Bind(library, api.alGetSource3f, "alGetSource3f");
  Bind(library, api.alSourcePlay, "alSourcePlay");
  Bind(library, api.alSourcePause, "alSourcePause");
  Bind(library, api.alSourceStop, "alSourceStop");
  Bind(library, api.alGenBuffers, "alGenBuffers");
  Bind(library, api.alDeleteBuffers, "alDeleteBuffers");
  Bind(library, api.alBufferData, "alBufferData");
  Bind(library, api.alIsBuffer, "alIsBuffer");
  Bind(library, api.alSourceQueueBuffers, "alSourceQueueBuffers");
  Bind(library, api.alSourceUnqueueBuffers, "alSourceUnqueueBuffers");
  Bind(library, api.alDistanceModel, "alDistanceModel");
  Bind(library, api.alGetError, "alGetError");
  Bind(library, api.alcOpenDevice, "alcOpenDevice");
  Bind(library, api.alcCloseDevice, "alcCloseDevice");
  Bind(library, api.alcCreateContext, "alcCreateContext");
  Bind(library, api.alcDestroyContext, "alcDestroyContext");
  Bind(library, api.alcMakeContextCurrent, "alcMakeContextCurrent");
  Bind(library, api.alcGetString, "alcGetString");
  Bind(library, api.alcGetProcAddress, "alcGetProcAddress");
}

struct State {
  Api api{};
  void* library = nullptr;
  bool bound = false;
};

State& TheState() noexcept {
  static State state;
  if (!state.bound) {
    BindAll(nullptr, state.api);
    state.bound = true;
  }
  return state;
}

}  // namespace

const Api& AL() noexcept {
  return TheState().api;
}

bool LoadLibrary() {
  State& state = TheState();
  if (!state.library) {
    platform::RouteSoundLibraryMessagesToLog();
    state.library = platform::OpenOpenALLibrary();
    if (state.library) BindAll(state.library, state.api);
  }
  return state.library != nullptr;
}

bool LibraryLoaded() noexcept {
  return TheState().library != nullptr;
}

bool HasEntryPoint(const char* name) noexcept {
  return platform::LibrarySymbol(TheState().library, name) != nullptr;
}

}  // namespace corvex::openal

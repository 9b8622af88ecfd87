// The OpenAL library, loaded at run time: the types and constants the driver uses and a table
// of the entry points it calls. An entry point the library does not export is a stub that does
// nothing and answers 0, and so is every entry point when the library is absent.
#pragma once

#include <cstdint>

namespace corvex::openal {

// The library's C types, with the sizes its own headers give them.
using ALuint = unsigned int;
using ALint = int;
using ALenum = int;
using ALsizei = int;
using ALfloat = float;
using ALCchar = char;
using ALCint = int;
using ALCenum = int;
using ALCboolean = char;
struct ALCdevice;
struct ALCcontext;

// The library's constants the driver passes, with the library's own values.
inline constexpr ALenum AL_SOURCE_RELATIVE = 0x202;
inline constexpr ALenum AL_PITCH = 0x1003;
inline constexpr ALenum AL_POSITION = 0x1004;
inline constexpr ALenum AL_LOOPING = 0x1007;
inline constexpr ALenum AL_BUFFER = 0x1009;
inline constexpr ALenum AL_GAIN = 0x100A;
inline constexpr ALenum AL_SOURCE_STATE = 0x1010;
inline constexpr ALenum AL_BUFFERS_QUEUED = 0x1015;
inline constexpr ALenum AL_BUFFERS_PROCESSED = 0x1016;
inline constexpr ALenum AL_SAMPLE_OFFSET = 0x1025;
inline constexpr ALint AL_INITIAL = 0x1011;
inline constexpr ALint AL_PLAYING = 0x1012;
inline constexpr ALint AL_PAUSED = 0x1013;
inline constexpr ALint AL_STOPPED = 0x1014;
inline constexpr ALenum AL_FORMAT_MONO8 = 0x1100;
inline constexpr ALenum AL_FORMAT_MONO16 = 0x1101;
inline constexpr ALenum AL_FORMAT_STEREO8 = 0x1102;
inline constexpr ALenum AL_FORMAT_STEREO16 = 0x1103;
inline constexpr ALenum AL_NONE = 0;
inline constexpr ALCenum ALC_DEFAULT_DEVICE_SPECIFIER = 0x1004;
inline constexpr ALCenum ALC_DEVICE_SPECIFIER = 0x1005;

// The entry points, named as the library exports them.
struct Api {
  // Each is the library's function of the same name, or a stub that answers 0.
  void (*alGenSources)(ALsizei, ALuint*);
  void (*alSourcei)(ALuint, ALenum, ALint);
  void (*alSourcef)(ALuint, ALenum, ALfloat);
  void (*alSource3f)(ALuint, ALenum, ALfloat, ALfloat, ALfloat);
  void (*alGetSourcei)(ALuint, ALenum, ALint*);
  void (*alGetSourcef)(ALuint, ALenum, ALfloat*);
  void (*alGetSource3f)(ALuint, ALenum, ALfloat*, ALfloat*, ALfloat*);
  void (*alSourcePlay)(ALuint);
  void (*alSourcePause)(ALuint);
  void (*alSourceStop)(ALuint);
  void (*alGenBuffers)(ALsizei, ALuint*);
  void (*alDeleteBuffers)(ALsizei, const ALuint*);
  void (*alBufferData)(ALuint, ALenum, const void*, ALsizei, ALsizei);
  char (*alIsBuffer)(ALuint);
  void (*alSourceQueueBuffers)(ALuint, ALsizei, const ALuint*);
  void (*alSourceUnqueueBuffers)(ALuint, ALsizei, ALuint*);
  void (*alDistanceModel)(ALenum);
  ALenum (*alGetError)();
  ALCdevice* (*alcOpenDevice)(const ALCchar*);
  ALCboolean (*alcCloseDevice)(ALCdevice*);
  ALCcontext* (*alcCreateContext)(ALCdevice*, const ALCint*);
  void (*alcDestroyContext)(ALCcontext*);
  ALCboolean (*alcMakeContextCurrent)(ALCcontext*);
  const ALCchar* (*alcGetString)(ALCdevice*, ALCenum);
  void* (*alcGetProcAddress)(ALCdevice*, const ALCchar*);
};

// The entry points; all stubs until LoadLibrary has run.
const Api& AL() noexcept;
// Loads the library once and binds every entry point; true when the library loaded.
bool LoadLibrary();
// Whether the library loaded.
bool LibraryLoaded() noexcept;
// Whether the library exports the named entry point (false without the library).
bool HasEntryPoint(const char* name) noexcept;

}  // namespace corvex::openal

// URL opening: the stream-factory chain, OpenStream and the whole-resource functions.
#pragma once

#include <cstddef>

#include "runtime/Array.h"
#include "runtime/Object.h"
#include "runtime/String.h"
#include "stream/Stream.h"

namespace corvex {

// What a loader is given: a name (a plain path, or protocol "::" path) or an object (an open
// stream, a bank). Names are held as string objects, so factories see one kind of value.
class Url {
 public:
  Url() = default;
  // Implicit from Null, a name or an object, so that every loader call takes any of them.
  Url(std::nullptr_t) {}                        // NOLINT(google-explicit-constructor)
  Url(const char* text) : Url(String(text)) {}  // NOLINT(google-explicit-constructor)
  Url(const String& text);                      // NOLINT(google-explicit-constructor)
  template <class T>
  Url(const Ref<T>& object) : object_(object) {}  // NOLINT(google-explicit-constructor)

  // The URL object as it was passed (a string arrives as a TStringObject).
  const Ref<Object>& Target() const noexcept { return object_; }
  // The URL as a string; "" when it is not one.
  String Text() const;

 private:
  Ref<Object> object_;
};

// A protocol handler. Constructing one registers it at the head of the chain for the rest of
// the process, so the most recently registered factory is asked first.
class TStreamFactory : public Object {
 public:
  TStreamFactory();
  TStreamFactory(const TStreamFactory&) = delete;
  TStreamFactory& operator=(const TStreamFactory&) = delete;

  // Opens `path` for `protocol` (already lower case), or answers Null for anything it does
  // not handle. Abstract here (TNullMethodException).
  virtual Ref<TStream> CreateStream(const Url& url, const String& protocol, const String& path, bool readable,
                                    bool writeable);
  // The factory registered before this one; Null for the first.
  const Ref<TStreamFactory>& Next() const noexcept { return next_; }

 protected:
  // The chain keeps every factory for the life of the process: made with New, never destroyed.
  ~TStreamFactory() override = default;

 private:
  Ref<TStreamFactory> next_;
};

// The most recently registered factory, Null before any.
Ref<TStreamFactory> StreamFactoryHead();

// The most protocols a URL may nest ("utf8::bigendian::incbin::a" nests three); no real
// program comes near it, and a hostile name of thousands cannot exhaust the stack.
inline constexpr int32_t kMaxUrlNesting = 64;

// Opens a URL: an open stream is wrapped without ownership, a plain path opens as a file,
// anything else goes down the factory chain. Answers Null when nothing opens it, and for a
// URL nesting more than kMaxUrlNesting protocols.
Ref<TStream> OpenStream(const Url& url, bool readable, bool writeable);
Ref<TStream> OpenReadStream(const Url& url);
Ref<TStream> OpenWriteStream(const Url& url);

// Everything the URL yields. A URL that does not open raises TStreamReadException.
ByteArray LoadAllBytes(const Url& url);
// Writes the bytes to the URL. A URL that does not open raises TStreamWriteException.
void SaveAllBytes(const ByteArray& bytes, const Url& url);
// LoadAllBytes widened one code unit per byte.
String LoadByteText(const Url& url);
// The low byte of each code unit, no terminator.
void SaveByteText(const String& text, const Url& url);
// The object the opened stream's ReadObject gives; Null when the URL does not open.
Ref<Object> LoadSerialised(const Url& url);
// WriteObject on the opened stream; nothing when the URL does not open.
void SaveSerialised(const Ref<Object>& object, const Url& url);

// The path as spelled on disk, matched without regard to letter case, or "".
String ResolveFileNameCase(const String& path);

}  // namespace corvex

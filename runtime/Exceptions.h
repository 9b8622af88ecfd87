// The runtime's exception family. Exceptions are objects thrown by value and caught by
// reference; every one has the text form an uncaught report prints.
#pragma once

#include "runtime/Object.h"
#include "runtime/String.h"

namespace corvex {

// Base of the runtime errors.
class TTarnException : public Object {};

// Raised when a member of Null is used.
class TNullObjectException : public TTarnException {
 public:
  String ToString() const override;
};

// Raised when an abstract method, one a subclass must supply, is called.
class TNullMethodException : public TTarnException {
 public:
  String ToString() const override;
};

// Raised when a null function value is called.
class TNullFunctionException : public TTarnException {
 public:
  String ToString() const override;
};

// Raised when an array index is outside the array.
class TArrayBoundsException : public TTarnException {
 public:
  String ToString() const override;
};

// Raised when a read runs past the end of the data being read.
class TOutOfDataException : public TTarnException {
 public:
  String ToString() const override;
};

// A runtime error that carries its own message.
class TRuntimeException : public TTarnException {
 public:
  // The message is the error's whole text form.
  explicit TRuntimeException(String message) : message_(std::move(message)) {}
  String ToString() const override { return message_; }
  // The text given when it was raised.
  const String& Message() const noexcept { return message_; }

 private:
  String message_;
};

// A plain text thrown as an error ("Too many DataTypes", "Unable to read object", ...):
// a kind of its own, distinct from the exception objects above.
class TThrownString : public Object {
 public:
  // Keeps `text` as the error's text form.
  explicit TThrownString(String text) : text_(std::move(text)) {}
  String ToString() const override { return text_; }
  // The text thrown.
  const String& Text() const noexcept { return text_; }

 private:
  String text_;
};

}  // namespace corvex

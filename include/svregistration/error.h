// Error: the exception every failing operation raises, with the number, source and description
// that a caller of the registration library has always received.
#pragma once

#include <stdexcept>
#include <string>

#include "svregistration/export.h"

namespace svregistration {

/// Every error number the library and its reference host raise. The platform's numbers are those
/// of the platform the library was first written for.
namespace error_number {
inline constexpr int kInvalidProcedureCall = 5;
inline constexpr int kOverflow = 6;
inline constexpr int kOutOfMemory = 7;
inline constexpr int kSubscriptOutOfRange = 9;
inline constexpr int kTypeMismatch = 13;
inline constexpr int kFileNotFound = 53;
inline constexpr int kFileAlreadyExists = 58;
inline constexpr int kInputPastEndOfFile = 62;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kPathFileAccessError = 75;
inline constexpr int kPathNotFound = 76;
inline constexpr int kObjectNotSet = 91;
inline constexpr int kInvalidUseOfNull = 94;
inline constexpr int kCannotCreateObject = 429;
inline constexpr int kFileCopyFailed = 200;
/// Base of the library's own object errors (0x80040000).
inline constexpr int kObjectErrorBase = -2147221504;
/// A locale whose ANSI code page is not supported (message 508).
inline constexpr int kUnsupportedLocale = kObjectErrorBase + 53;
/// A Registration page without an entry for the object type (message 507).
inline constexpr int kNoRegistrationEntry = kObjectErrorBase + 54;
}  // namespace error_number

/// An error with a number, the source that raised it and a description. what() is the description.
class SVREG_API Error : public std::runtime_error {
 public:
  Error(int number, std::string source, std::string description)
      : std::runtime_error(description),
        number_(number),
        source_(std::move(source)),
        description_(std::move(description)) {}

  int number() const noexcept { return number_; }
  const std::string& source() const noexcept { return source_; }
  const std::string& description() const noexcept { return description_; }

 private:
  int number_;
  std::string source_;
  std::string description_;
};

}  // namespace svregistration

// The host utility objects the library creates one of per thread through the class registry.
// FileUtility, MessageFormatter and TextUtility have built-in defaults; IdUtility is the host's.
#pragma once

#include <string>
#include <vector>

#include "svregistration/export.h"

namespace svregistration::host {

/// Class names under which the utilities are created.
inline constexpr const char* kFileUtilityClass = "KvtApi.FileUtility";
inline constexpr const char* kMessageFormatterClass = "KvtApi.MessageFormatter";
inline constexpr const char* kTextUtilityClass = "KvtApi.TextUtility";
inline constexpr const char* kIdUtilityClass = "KvtApi.IdUtility";

struct SVREG_API SplitPathResult {
  std::string folder;
  std::string base_name;
  /// With its leading dot; base_name + extension is the file name.
  std::string extension;
};

class SVREG_API FileUtility {
 public:
  virtual ~FileUtility() = default;
  virtual SplitPathResult SplitPath(const std::string& path) = 0;
  virtual bool CopyFileTo(const std::string& from, const std::string& to) = 0;
  virtual bool MakeFolder(const std::string& path) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;
  virtual bool RemoveFolder(const std::string& path) = 0;
  /// The lines of a text file, first line first.
  virtual std::vector<std::string> ReadListFile(const std::string& path) = 0;
};

/// Fills %1..%n of a template from args[0..n-1].
class SVREG_API MessageFormatter {
 public:
  virtual ~MessageFormatter() = default;
  virtual std::string FormatMessage(const std::string& message_template,
                                    const std::vector<std::string>& args) = 0;
};

class SVREG_API TextUtility {
 public:
  virtual ~TextUtility() = default;
  virtual std::string FormatMessage(const std::string& message_template,
                                    const std::vector<std::string>& args) = 0;
};

class SVREG_API IdUtility {
 public:
  virtual ~IdUtility() = default;
  /// The type code an object id carries.
  virtual std::string ObjectTypeOfId(const std::string& id) = 0;
};

}  // namespace svregistration::host

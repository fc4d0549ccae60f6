// Environment variables set for one test and put back as they were when it ends, set or unset.
#pragma once

#include <stdlib.h>

#include <initializer_list>
#include <map>
#include <optional>
#include <string>

namespace svregistration::testing {

class ScopedEnvironment {
 public:
  /// Saves and unsets the variables named; Set may change them (and others) afterwards.
  explicit ScopedEnvironment(std::initializer_list<const char*> cleared = {}) {
    for (const char* name : cleared) Set(name, nullptr);
  }
  ~ScopedEnvironment() {
    for (const auto& [name, value] : saved_) {
      value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  /// Sets the variable, or unsets it for nullptr, remembering its first value.
  void Set(const char* name, const char* value) {
    if (!saved_.contains(name)) {
      const char* old = ::getenv(name);
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

/// LC_ALL set for the life of the object: the user's locale, and child processes, follow it.
struct ScopedLocale : ScopedEnvironment {
  explicit ScopedLocale(const char* name) { Set("LC_ALL", name); }
};

}  // namespace svregistration::testing

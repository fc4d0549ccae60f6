// A scope in which the calling thread reads and writes multibyte text as UTF-8.
#pragma once

#include <locale.h>

namespace svregistration::archive {

/// While it lives, the calling thread's character type is UTF-8 (other categories unchanged), so
/// libarchive hands member names over as UTF-8 whatever locale the process runs in: in the "C"
/// locale it would turn every non-ASCII character of a Unicode name into '?'. The thread's
/// previous locale comes back when the scope ends; the process locale is never touched. When the
/// thread already uses UTF-8, or no UTF-8 locale is installed, nothing changes.
class ScopedUtf8Locale {
 public:
  ScopedUtf8Locale();
  ~ScopedUtf8Locale();
  ScopedUtf8Locale(const ScopedUtf8Locale&) = delete;
  ScopedUtf8Locale& operator=(const ScopedUtf8Locale&) = delete;

 private:
  locale_t previous_ = nullptr;
  locale_t utf8_ = nullptr;
};

}  // namespace svregistration::archive

// A scope in which the calling thread reads and writes multibyte text as UTF-8.
#include "archive/utf8_locale.h"

#include <langinfo.h>

#include <cstring>
#include <initializer_list>

namespace svregistration::archive {

ScopedUtf8Locale::ScopedUtf8Locale() {
  if (std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0) return;
  locale_t current = uselocale(nullptr);
  for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
    locale_t base = duplocale(current);
    if (base == nullptr) return;
    // newlocale consumes `base` when it succeeds and leaves it to us when it fails.
    locale_t utf8 = newlocale(LC_CTYPE_MASK, name, base);
    if (utf8 == nullptr) {
      freelocale(base);
      continue;
    }
    utf8_ = utf8;
    previous_ = uselocale(utf8);
    return;
  }
}

ScopedUtf8Locale::~ScopedUtf8Locale() {
  if (utf8_ == nullptr) return;
  uselocale(previous_);
  freelocale(utf8_);
}

}  // namespace svregistration::archive

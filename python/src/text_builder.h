// A Python str written in place, without the GIL, by a conversion that learns its characters as
// it goes: the str starts as ASCII (one byte a character) and is widened to Latin-1, then to two
// bytes a character, only when a character needs it, so that the str is in Python's canonical
// form for its text and is written once (plus one copy of what came before each widening).
#pragma once

#include "bindings.h"

namespace svreg_python {

class TextBuilder {
 public:
  /// Room for `bound` characters, the most the text can have. The GIL is held.
  explicit TextBuilder(std::size_t bound);
  ~TextBuilder();
  TextBuilder(const TextBuilder&) = delete;
  TextBuilder& operator=(const TextBuilder&) = delete;

  /// Appends characters; runs without the GIL and takes it only to widen the str.
  void Append(const char16_t* text, std::size_t size);
  /// The str, cut to the length written. The GIL is held.
  py::str Finish();

 private:
  void Widen(Py_UCS4 max_char);

  PyObject* str_;
  std::size_t bound_;
  std::size_t length_ = 0;
  Py_UCS4 max_char_ = 0x7F;  // what the str's kind holds
};

}  // namespace svreg_python

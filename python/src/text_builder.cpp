#include "text_builder.h"

#include <sys/mman.h>

#include <cstring>
#include <utility>

namespace svreg_python {

namespace {

/// Writes the characters as bytes and answers all their bits ORed: below 0x80 (0x100) when all
/// of them are ASCII (Latin-1). Blocks of a fixed length, which the compiler turns into a few
/// vector instructions each.
char16_t Narrow(const char16_t* __restrict text, std::size_t size, Py_UCS1* __restrict out) {
  constexpr std::size_t kBlock = 32;
  char16_t seen = 0;
  std::size_t i = 0;
  for (; i + kBlock <= size; i += kBlock) {
    for (std::size_t j = 0; j < kBlock; ++j) {
      seen = static_cast<char16_t>(seen | text[i + j]);
      out[i + j] = static_cast<Py_UCS1>(text[i + j]);
    }
  }
  for (; i < size; ++i) {
    seen = static_cast<char16_t>(seen | text[i]);
    out[i] = static_cast<Py_UCS1>(text[i]);
  }
  return seen;
}

/// Asks for huge pages for the pages wholly inside a large block about to be written: far fewer
/// faults for the kernel to serve (advice only).
void AdviseHugePages(void* start, std::size_t length) {
  constexpr std::uintptr_t kHuge = 2 << 20;
  const auto begin = reinterpret_cast<std::uintptr_t>(start);
  const std::uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
  const std::uintptr_t last = (begin + length) & ~(kHuge - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

PyObject* NewStr(std::size_t size, Py_UCS4 max_char) {
  PyObject* str = PyUnicode_New(static_cast<Py_ssize_t>(size), max_char);
  if (str == nullptr) throw py::error_already_set();
  AdviseHugePages(PyUnicode_DATA(str), size * static_cast<std::size_t>(PyUnicode_KIND(str)));
  return str;
}

}  // namespace

TextBuilder::TextBuilder(std::size_t bound) : str_(NewStr(bound, 0x7F)), bound_(bound) {}

TextBuilder::~TextBuilder() { Py_XDECREF(str_); }

void TextBuilder::Append(const char16_t* text, std::size_t size) {
  if (max_char_ <= 0xFF) {
    auto* out = static_cast<Py_UCS1*>(PyUnicode_DATA(str_)) + length_;
    const char16_t seen = Narrow(text, size, out);
    if (seen <= max_char_) {
      length_ += size;
      return;
    }
    Widen(seen <= 0xFF ? 0xFF : 0xFFFF);
    if (max_char_ == 0xFF)
      Narrow(text, size, static_cast<Py_UCS1*>(PyUnicode_DATA(str_)) + length_);
  }
  if (max_char_ == 0xFFFF) {
    std::memcpy(static_cast<Py_UCS2*>(PyUnicode_DATA(str_)) + length_, text, size * 2);
  }
  length_ += size;
}

// The new str is no one else's until Finish: the characters written so far are copied without
// the GIL, which is needed only to make it and to let the old one go.
void TextBuilder::Widen(Py_UCS4 max_char) {
  PyObject* wider;
  {
    py::gil_scoped_acquire gil;
    wider = NewStr(bound_, max_char);
  }
  const auto* from = static_cast<const Py_UCS1*>(PyUnicode_DATA(str_));
  if (max_char == 0xFF) {
    std::memcpy(PyUnicode_DATA(wider), from, length_);
  } else if (max_char_ <= 0xFF) {
    auto* to = static_cast<Py_UCS2*>(PyUnicode_DATA(wider));
    for (std::size_t i = 0; i < length_; ++i) to[i] = from[i];
  }
  py::gil_scoped_acquire gil;
  Py_DECREF(str_);
  str_ = wider;
  max_char_ = max_char;
}

py::str TextBuilder::Finish() {
  if (PyUnicode_Resize(&str_, static_cast<Py_ssize_t>(length_)) != 0) {
    throw py::error_already_set();
  }
  return py::reinterpret_steal<py::str>(std::exchange(str_, nullptr));
}

}  // namespace svreg_python

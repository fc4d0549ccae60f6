// CCSID for Python: code page tables and the conversion of EBCDIC records to str and back.
//
// to_unicode reads the records where they lie (bytes, bytearray, memoryview, mmap: no copy) and,
// with the GIL released, decodes them piece by piece into a small buffer that stays in the
// processor's caches, from where each piece goes straight into the str that is returned.
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>

#include "bindings.h"
#include "svregistration/ccsid.h"
#include "svregistration/icu_table.h"
#include "svregistration/record_decoder.h"
#include "text_builder.h"

namespace svreg_python {

namespace {

using svregistration::RecordDecoder;
using svregistration::SOSIKeepType;

/// A table with the lock that lets one thread at a time convert with it or change it.
struct CodePage {
  svregistration::CCSID table;
  std::mutex lock;
};

/// The bytes of an object with the buffer protocol, held for as long as this lives.
class Bytes {
 public:
  explicit Bytes(const py::buffer& object) {
    if (PyObject_GetBuffer(object.ptr(), &view_, PyBUF_SIMPLE) != 0) throw py::error_already_set();
  }
  ~Bytes() { PyBuffer_Release(&view_); }
  Bytes(const Bytes&) = delete;
  Bytes& operator=(const Bytes&) = delete;
  const std::uint8_t* data() const { return static_cast<const std::uint8_t*>(view_.buf); }
  std::size_t size() const { return static_cast<std::size_t>(view_.len); }

 private:
  Py_buffer view_{};
};

py::str ToUnicode(CodePage& page, const py::buffer& records, SOSIKeepType keep,
                  std::optional<std::uint32_t> code_page) {
  constexpr std::size_t kPiece = 1 << 14;
  Bytes bytes(records);
  TextBuilder text(RecordDecoder::MaxTextSize(bytes.size()));
  {
    py::gil_scoped_release release;
    std::lock_guard lock(page.lock);
    RecordDecoder decoder =
        code_page ? RecordDecoder(page.table, keep, *code_page) : RecordDecoder(page.table, keep);
    auto piece = std::make_unique_for_overwrite<char16_t[]>(RecordDecoder::MaxTextSize(kPiece));
    for (std::size_t pos = 0; pos < bytes.size();) {
      const std::size_t size = std::min(kPiece, bytes.size() - pos);
      std::size_t written = 0;
      pos += decoder.Decode(bytes.data() + pos, size, pos + size == bytes.size(), piece.get(),
                            written);
      text.Append(piece.get(), written);
    }
  }
  return text.Finish();
}

py::bytes ToEbcdic(CodePage& page, const std::u16string& text) {
  std::vector<std::uint8_t> records;
  {
    py::gil_scoped_release release;
    std::lock_guard lock(page.lock);
    records = page.table.ToEBCDIC(text);
  }
  return {reinterpret_cast<const char*>(records.data()), records.size()};
}

/// Runs a change of the table without the GIL and under its lock.
template <class Change>
void Locked(CodePage& page, Change&& change) {
  py::gil_scoped_release release;
  std::lock_guard lock(page.lock);
  change(page.table);
}

}  // namespace

void BindCodePages(py::module_& module) {
  py::enum_<SOSIKeepType>(module, "SOSI", "What to_unicode does with shift-out/shift-in bytes.")
      .value("KEEP_ALL", SOSIKeepType::KeepAll, "kept as characters")
      .value("REMOVE_ALL", SOSIKeepType::RemoveAll, "removed")
      .value("KEEP_IN_LITERALS", SOSIKeepType::KeepInLiterals, "kept inside literals only")
      .value("REPLACE_ALL", SOSIKeepType::ReplaceAll, "replaced by blanks");

  py::class_<CodePage>(module, "CCSID",
                       "An EBCDIC code page table: single bytes, double-byte pairs and the "
                       "reverse map, with conversions of 80-byte records.")
      .def(py::init<>(), "An empty table.")
      .def_static(
          "import_map",
          [](const std::filesystem::path& path, std::int32_t ccsid) {
            auto page = std::make_unique<CodePage>();
            Locked(*page, [&](auto& table) {
              svregistration::ImportCharacterMap(table, path.string(), ccsid);
            });
            return page;
          },
          py::arg("path"), py::arg("ccsid"),
          "A table built from a character map (.ucm) file; a file without a CHARMAP section "
          "that maps a character is refused.")
      .def_static(
          "from_icu",
          [](const std::string& converter, std::int32_t ccsid) {
            auto page = std::make_unique<CodePage>();
            Locked(*page, [&](auto& table) {
              svregistration::FillFromIcu(table, converter);
              table.SetCcsidNumber(ccsid);
            });
            return page;
          },
          py::arg("converter"), py::arg("ccsid") = 0,
          "A table from one of ICU's converters (\"ibm-37\", \"ibm-930\", ...).")
      .def_static(
          "load",
          [](const std::filesystem::path& path, std::int32_t ccsid) {
            auto page = std::make_unique<CodePage>();
            Locked(*page, [&](auto& table) { table.Load(path.string(), ccsid); });
            return page;
          },
          py::arg("path"), py::arg("ccsid") = 0, "A table read from a code page table file.")
      .def(
          "save",
          [](CodePage& page, const std::filesystem::path& path) {
            Locked(page, [&](auto& table) { table.Save(path.string()); });
          },
          py::arg("path"), "Writes the table to a code page table file (whole, or not at all).")
      .def_property_readonly("ccsid", [](CodePage& page) { return page.table.CcsidNumber(); })
      .def_property_readonly("file_name", [](CodePage& page) { return page.table.FileName(); })
      .def("to_unicode", &ToUnicode, py::arg("records"), py::arg("sosi") = SOSIKeepType::KeepAll,
           py::arg("code_page") = py::none(),
           "EBCDIC 80-byte records (any bytes-like object) to lines of text joined by CR LF. "
           "Double-byte characters come out as the ANSI code page of the user's locale holds "
           "them, or as `code_page` does: CCSID.UNICODE_TEXT gives every pair as its own "
           "character. The GIL is released while it converts.")
      .def_property_readonly_static(
          "UNICODE_TEXT", [](const py::object&) { return RecordDecoder::kUnicodeText; },
          "The code page of to_unicode that holds every character.")
      .def("to_ebcdic", &ToEbcdic, py::arg("text"),
           "Text to EBCDIC 80-byte records. The GIL is released while it converts.");
}

}  // namespace svreg_python

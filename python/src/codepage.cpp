// CCSID for Python: code page tables and the conversion of EBCDIC records to str and back.
//
// to_unicode reads the records where they lie (bytes, bytearray, memoryview, mmap: no copy) and,
// with the GIL released, decodes them piece by piece into a small buffer that stays in the
// processor's caches; text that is ASCII, as records of English sources give, is narrowed from
// there straight into the str that is returned. Other text is decoded again as UTF-16 and handed
// to Python whole.
#include <pybind11/stl/filesystem.h>

#include <algorithm>
#include <memory>
#include <mutex>

#include "bindings.h"
#include "svregistration/ccsid.h"
#include "svregistration/icu_table.h"
#include "svregistration/record_decoder.h"

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

/// Writes the characters as bytes; false when one of them is not ASCII.
bool NarrowAscii(const char16_t* text, std::size_t size, char* out) {
  char16_t seen = 0;
  for (std::size_t i = 0; i < size; ++i) {
    seen = static_cast<char16_t>(seen | text[i]);
    out[i] = static_cast<char>(text[i]);
  }
  return seen < 0x80;
}

/// Decodes into `out` (room for MaxTextSize(size) characters); the length of the text, or
/// nothing when it is not all ASCII.
std::optional<std::size_t> DecodeAscii(svregistration::CCSID& table, SOSIKeepType keep,
                                       const std::uint8_t* bytes, std::size_t size, char* out) {
  constexpr std::size_t kPiece = 1 << 14;
  RecordDecoder decoder(table, keep);
  auto scratch = std::make_unique_for_overwrite<char16_t[]>(RecordDecoder::MaxTextSize(kPiece));
  std::size_t length = 0;
  for (std::size_t pos = 0; pos < size;) {
    const std::size_t piece = std::min(kPiece, size - pos);
    std::size_t written = 0;
    pos += decoder.Decode(bytes + pos, piece, pos + piece == size, scratch.get(), written);
    if (!NarrowAscii(scratch.get(), written, out + length)) return std::nullopt;
    length += written;
  }
  return length;
}

py::str ToUnicode(CodePage& page, const py::buffer& records, SOSIKeepType keep) {
  Bytes bytes(records);
  const auto bound = static_cast<Py_ssize_t>(RecordDecoder::MaxTextSize(bytes.size()));
  PyObject* ascii = PyUnicode_New(bound, 127);
  if (ascii == nullptr) throw py::error_already_set();
  py::object holder = py::reinterpret_steal<py::object>(ascii);
  char* out = static_cast<char*>(PyUnicode_DATA(ascii));
  std::u16string wide;
  std::optional<std::size_t> length;
  {
    // The str is no one else's yet: it is written without the GIL.
    py::gil_scoped_release release;
    std::lock_guard lock(page.lock);
    length = DecodeAscii(page.table, keep, bytes.data(), bytes.size(), out);
    if (!length) {
      RecordDecoder decoder(page.table, keep);
      decoder.Decode(bytes.data(), bytes.size(), true, wide);
    }
  }
  if (!length) {
    return py::reinterpret_steal<py::str>(PyUnicode_FromKindAndData(
        PyUnicode_2BYTE_KIND, wide.data(), static_cast<Py_ssize_t>(wide.size())));
  }
  ascii = holder.release().ptr();
  if (PyUnicode_Resize(&ascii, static_cast<Py_ssize_t>(*length)) != 0) {
    throw py::error_already_set();
  }
  return py::reinterpret_steal<py::str>(ascii);
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
            Locked(*page, [&](auto& table) { table.Import(path.string(), ccsid); });
            return page;
          },
          py::arg("path"), py::arg("ccsid"), "A table built from a character map (.ucm) file.")
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
           "EBCDIC 80-byte records (any bytes-like object) to lines of text joined by CR LF. "
           "The GIL is released while it converts.")
      .def("to_ebcdic", &ToEbcdic, py::arg("text"),
           "Text to EBCDIC 80-byte records. The GIL is released while it converts.");
}

}  // namespace svreg_python

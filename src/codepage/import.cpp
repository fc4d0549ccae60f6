// CCSID::Import: building a table from a character map text file.
//
// The file is read as single-byte text, line by line (a line ends at LF; a CR before it is
// dropped). Each line is classified as it stands, ignoring letter case:
//   "CHARMAP..."        the mapping section starts;
//   "END...CHARMAP..."  reading stops, the rest of the file is not read;
//   "#..."              a comment, also inside the section;
//   anything else       skipped before the section, and inside it trimmed of spaces and read as
//                       a mapping line.
// A mapping line is split at every single space (two spaces make an empty field, a tab is no
// separator) and its first three fields are read by position:
//   field 0  <U0041>           characters 3-6: the 16-bit Unicode value (only four digits are
//                              read, so <U10000> gives U+1000)
//   field 1  \x41 or \x42\x41  shorter than 5 characters: characters 3-4 are a single byte;
//                              otherwise characters 3-4 the lead and 7-8 the trail byte
//   field 2  |0                character 2: the precision marker
// The other characters of each field are not checked. A field that is missing is a subscript
// error (9); a value that is empty or not hexadecimal is a type mismatch (13). The first bad line
// ends the import, with every mapping stored before it kept.
//
// Import reads a file without a CHARMAP section as an empty map. ImportCharacterMap, for callers
// that are handed a file to build a table from, first requires the file to be a character map: a
// line beginning "CHARMAP" followed by a mapping line beginning "<U" (before any "END CHARMAP").
#include <fmt/core.h>

#include <charconv>
#include <optional>
#include <string_view>

#include "codepage/table.h"
#include "nls/text.h"
#include "os/file_reader.h"
#include "svregistration/error.h"

namespace svregistration {

namespace {

using codepage::kErrorSource;

using nls::StartsWithIgnoreCase;

bool ContainsIgnoreCase(std::string_view text, std::string_view word) {
  for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
    if (StartsWithIgnoreCase(text.substr(i), word)) return true;
  }
  return false;
}

/// The value of 1 to 4 hexadecimal digits as a 16-bit pattern (FFFF is the pattern of -1);
/// nullopt for empty or non-hexadecimal text.
std::optional<std::uint16_t> HexToInteger(std::string_view digits) {
  // from_chars would also take a sign; a mapping's digits have none.
  if (digits.empty() || digits.size() > 4 || digits.front() == '-') return std::nullopt;
  std::uint16_t value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

/// Characters `first` (counted from 1) to first + count - 1 of a field; fewer, or none, when the
/// field is shorter.
std::string_view Mid(std::string_view field, std::size_t first, std::size_t count) {
  if (field.size() < first) return {};
  return field.substr(first - 1, count);
}

/// Reads one trimmed mapping line of the file; raises the error of the first step that fails.
class LineParser {
 public:
  LineParser(const std::string& file_name, std::size_t line_number, std::string_view line)
      : file_name_(file_name), line_number_(line_number), line_(line) {
    // Split at every single space; an empty line has no fields at all.
    std::size_t start = 0;
    while (!line.empty() && field_count_ < fields_.size()) {
      std::size_t space = line.find(' ', start);
      fields_[field_count_++] = line.substr(
          start, space == std::string_view::npos ? std::string_view::npos : space - start);
      if (space == std::string_view::npos) break;
      start = space + 1;
    }
  }

  codepage::Mapping Parse() {
    codepage::Mapping m;
    std::string_view unicode_field = Field(0);
    m.unicode = Hex(Mid(unicode_field, 3, 4), unicode_field,
                    "is not a Unicode value with four hexadecimal digits");
    std::string_view bytes_field = Field(1);
    if (bytes_field.size() < 5) {
      m.byte = Byte(Mid(bytes_field, 3, 2), bytes_field);
    } else {
      m.is_pair = true;
      m.byte = Byte(Mid(bytes_field, 3, 2), bytes_field);
      m.trail = Byte(Mid(bytes_field, 7, 2), bytes_field);
    }
    std::string_view marker_field = Field(2);
    m.marker = Hex(Mid(marker_field, 2, 1), marker_field,
                   "is not a precision marker with a hexadecimal digit");
    return m;
  }

 private:
  std::string Where() const { return fmt::format("line {} of '{}'", line_number_, file_name_); }

  std::string_view Field(std::size_t index) const {
    if (index < field_count_) return fields_[index];
    std::string what =
        line_.empty() ? fmt::format("{}: an empty line inside the mapping section", Where())
                      : fmt::format(
                            "{}: '{}' has no field {} (a mapping needs three fields separated by "
                            "spaces)",
                            Where(), line_, index);
    throw Error(error_number::kSubscriptOutOfRange, kErrorSource, what);
  }

  std::uint16_t Hex(std::string_view digits, std::string_view field, std::string_view problem) {
    if (auto value = HexToInteger(digits)) return *value;
    throw Error(error_number::kTypeMismatch, kErrorSource,
                fmt::format("{}: '{}' {}", Where(), field, problem));
  }

  std::uint8_t Byte(std::string_view digits, std::string_view field) {
    // Two digits at most are read, so the value always fits a byte.
    return static_cast<std::uint8_t>(
        Hex(digits, field, "is not a byte or a pair of bytes in hexadecimal digits"));
  }

  const std::string& file_name_;
  std::size_t line_number_;
  std::string_view line_;
  std::array<std::string_view, 3> fields_{};
  std::size_t field_count_ = 0;
};

std::string_view TrimSpaces(std::string_view text) {
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  std::size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

/// The character map's text, read whole; Error 53 when the file cannot be read.
std::vector<std::uint8_t> ReadCharacterMap(const std::string& file_name) {
  std::optional<std::vector<std::uint8_t>> content = os::ReadWholeFile(file_name);
  if (!content) {
    throw Error(error_number::kFileNotFound, kErrorSource,
                fmt::format("cannot open the character map '{}': file not found", file_name));
  }
  return std::move(*content);
}

/// Calls `line` with each line of the text (without its LF) until it returns false; the number of
/// lines seen.
template <class Visit>
std::size_t ForEachLine(std::string_view text, Visit&& line) {
  std::size_t count = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    ++count;
    if (!line(text.substr(0, end))) break;
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return count;
}

/// Raises Error 5 unless the text has a line beginning "CHARMAP" followed, before any line
/// beginning "END CHARMAP", by a mapping line beginning "<U".
void RequireMapping(const std::string& file_name, std::string_view text) {
  bool in_section = false, mapped = false;
  const std::size_t lines = ForEachLine(text, [&](std::string_view line) {
    if (line.starts_with("CHARMAP")) {
      in_section = true;
    } else if (in_section && line.starts_with("<U")) {
      mapped = true;
    } else if (line.starts_with("END CHARMAP")) {
      return false;
    }
    return !mapped;
  });
  if (mapped) return;
  throw Error(error_number::kInvalidProcedureCall, kErrorSource,
              fmt::format("'{}' is not a character map: {}", file_name,
                          in_section ? "its CHARMAP section maps no character"
                                     : fmt::format("none of its {} lines starts a CHARMAP section",
                                                   lines)));
}

/// Starts an import: the file and the CCSID recorded, a new reverse map, while the byte maps keep
/// what they hold (a second import only adds).
void BeginImport(codepage::Table& table, const std::string& file_name, std::int32_t ccsid) {
  table.file_name = file_name;
  table.ccsid = ccsid;
  table.ansi_pairs.Clear();
  table.reverse_map = codepage::NewZeroReverseMap();
}

/// Stores the mappings of the text's CHARMAP section, up to its END line or the first bad line.
void ImportLines(codepage::Table& table, const std::string& file_name, std::string_view text) {
  bool in_section = false;
  std::size_t line_number = 0;
  ForEachLine(text, [&](std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++line_number;
    if (StartsWithIgnoreCase(line, "CHARMAP")) {
      in_section = true;
    } else if (StartsWithIgnoreCase(line, "END") && ContainsIgnoreCase(line.substr(3), "CHARMAP")) {
      return false;
    } else if (in_section && (line.empty() || line.front() != '#')) {
      codepage::StoreMapping(table, LineParser(file_name, line_number, TrimSpaces(line)).Parse());
    }
    return true;
  });
  (*table.reverse_map)[0xFFFD] = 0x3F;
}

std::string_view AsText(const std::vector<std::uint8_t>& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

void CCSID::Import(const std::string& aFileName, std::int32_t aCCSID) {
  BeginImport(*table_, aFileName, aCCSID);
  const std::vector<std::uint8_t> content = ReadCharacterMap(aFileName);
  ImportLines(*table_, aFileName, AsText(content));
}

void ImportCharacterMap(CCSID& table, const std::string& file_name, std::int32_t ccsid) {
  const std::vector<std::uint8_t> content = ReadCharacterMap(file_name);
  RequireMapping(file_name, AsText(content));
  BeginImport(codepage::TableOf(table), file_name, ccsid);
  ImportLines(codepage::TableOf(table), file_name, AsText(content));
}

}  // namespace svregistration

// Fuzz target of CCSID::Import: the input is written as a character map file and imported. A map
// that imports must survive its table file: saved and loaded again, every byte and pair converts
// as it did, and converting records with it runs without fault. ImportCharacterMap either refuses
// it as no character map, leaving the table as it was, or gives the same maps.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_codepage.h"
#include "fuzz_support.h"

namespace {

using svregistration::CCSID;
using svregistration::fuzz::Require;

void RequireSameMaps(const CCSID& a, const CCSID& b) {
  for (unsigned first = 0; first < 256; ++first) {
    auto b0 = static_cast<std::uint8_t>(first);
    Require(a.isSBCS(b0) == b.isSBCS(b0) && a.isDBCS(b0) == b.isDBCS(b0),
            "a lead byte differs after Save and Load");
    Require(a.SBCStoUnicode(b0) == b.SBCStoUnicode(b0), "a byte differs after Save and Load");
    for (unsigned second = 0; a.isDBCS(b0) && second < 256; ++second) {
      auto b1 = static_cast<std::uint8_t>(second);
      Require(a.DBCStoUnicode(b0, b1) == b.DBCStoUnicode(b0, b1),
              "a pair differs after Save and Load");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CCSID imported;
  const std::string map_file = svregistration::fuzz::WriteInput(data, size, "map.ucm");
  try {
    imported.Import(map_file, 1);
  } catch (const svregistration::Error&) {
    return 0;
  }
  CCSID checked;
  try {
    svregistration::ImportCharacterMap(checked, map_file, 1);
    RequireSameMaps(imported, checked);
  } catch (const svregistration::Error& e) {
    Require(e.number() == 5 && checked.FileName().empty(), "a refused map changed the table");
  }
  const std::string table_file = svregistration::fuzz::Scratch() / "table.tbl";
  imported.Save(table_file);
  CCSID loaded;
  loaded.Load(table_file, 1);
  RequireSameMaps(imported, loaded);
  svregistration::fuzz::ConvertBothWays(imported, {data, data + (size < 400 ? size : 400)},
                                        u"ABC abc \u3000\u4e00 'x' 123");
  return 0;
}

// Writes the seed corpora of the fuzz targets, one folder per target below the folder given:
// small options documents, character maps, tables saved by CCSID::Save, records and texts,
// manifests, zip archives written by libarchive and RAR 4 archives of stored members.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "archive/archive_test_support.h"
#include "support/fake_workspace.h"
#include "support/temp_dir.h"
#include "svregistration/ccsid.h"
#include "svregistration/icu_table.h"

namespace {

namespace fs = std::filesystem;
namespace t = svregistration::testing;

fs::path root;

void Seed(const std::string& target, const std::string& name, const std::string& bytes) {
  fs::create_directories(root / target);
  std::ofstream out(root / target / name, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string Utf16Le(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

// A record padded with EBCDIC spaces to 80 bytes.
std::string Record(const std::string& bytes) {
  std::string record = bytes;
  record.resize(80, '\x40');
  return record;
}

const char kSampleMap[] =
    "<code_set_name> \"sample\"\n"
    "<mb_cur_max> 2\n"
    "CHARMAP\n"
    "<U000E> \\x0E |0\n"
    "<U000F> \\x0F |0\n"
    "<U0020> \\x40 |0\n"
    "<U0022> \\x7F |0\n"
    "<U0027> \\x7D |0\n"
    "<U0041> \\xC1 |0\n"
    "<U0042> \\xC2 |0\n"
    "<U00E2> \\x42 |0\n"
    "<U4E00> \\x43 |1\n"
    "<U3000> \\x40\\x40 |0\n"
    "<UFF10> \\x40\\xC1 |3\n"
    "<UFF21> \\x42\\xC1 |0\n"
    "END CHARMAP\n";

const char kSingleByteMap[] =
    "<code_set_name> \"single\"\n"
    "CHARMAP\n"
    "<U0000> \\x00 |0\n"
    "<U000A> \\x25 |0\n"
    "<U0020> \\x40 |0\n"
    "<U0031> \\xF1 |0\n"
    "<U0061> \\x81 |0\n"
    "<U00E9> \\x51 |0\n"
    "END CHARMAP\n";

void NormaliserSeeds() {
  const std::string texts[] = {
      "000100 IDENTIFICATION DIVISION.                                         PAY00010\n",
      "\tMOVE A\tTO B.\r\n\t\tX\n",
      "a \x82\xA0 b\n  \x82\xA0\x82\xA1  \n",
      "123456\x82\n" + std::string(70, 'A') + "\x82\xA0\x82\xA0  00020000\n",
      "\xE0\x40\xFC\xFC \t\n\n  \r\n",
  };
  int n = 0;
  for (const std::string& text : texts) {
    for (unsigned bits : {0x00u, 0x07u, 0x2Fu, 0x3Fu, 0x4Bu, 0x28u}) {
      Seed("fuzz_normaliser", "seed" + std::to_string(n++),
           std::string(1, static_cast<char>(bits)) + text);
    }
  }
}

void SettingsSeeds() {
  const t::OptionsSpec specs[] = {
      {.expand_tabs = true,
       .remove_numeration = true,
       .numeration = true,
       .remove_lead_numeration = true,
       .sosi = "Removed",
       .registered_locale = "1041"},
      {.legacy = "EBCDIC", .encoding_table = "ibm-930.tbl", .dbcs = true},
      {.type = "JCL", .source_locale = "1024", .registered_locale = "2048"},
      {.sosi = "Spaces", .source_locale = "x", .registered_locale = "99999"},
  };
  int n = 0;
  for (const t::OptionsSpec& option_set : specs) {
    std::string workspace = t::WorkspaceOptionsXml(option_set);
    Seed("fuzz_settings", "seed" + std::to_string(n++),
         "COBOL" + std::string(1, '\0') + workspace + std::string(1, '\0') + "<OPTIONS/>");
    Seed("fuzz_settings", "seed" + std::to_string(n++),
         option_set.type + std::string(1, '\0') + "<OPTIONS/>" + std::string(1, '\0') + workspace);
  }
  Seed("fuzz_settings", "seed" + std::to_string(n++), "COBOL");
}

void ManifestSeeds() {
  Seed("fuzz_manifest", "seed0",
       "//DIR:gen\\\n//MODEL:PAY\n//NOTES:PAY\ngen\\PAY.lst\n//DIR:keep\n//DIR:deep\n");
  Seed("fuzz_manifest", "seed1",
       "//SOURCE:1,a.lst\r\nb.obj\n*.lst\n//DIR:empty\n//dir:deep\\sub\n");
  Seed("fuzz_manifest", "seed2",
       "x y.lst\n//SOURCE:A.LST\ngen\\sub\\?AY.obj\n//DIR:gen\\sub\n//DIR:gen\n");
  Seed("fuzz_manifest", "seed3", "//\n\n//DIR:\n.\nempty\\\n");
}

void CodePageSeeds() {
  Seed("fuzz_charmap_import", "sample", kSampleMap);
  Seed("fuzz_charmap_import", "single", kSingleByteMap);

  fs::path work = root / "work";
  fs::create_directories(work);
  int n = 0;
  for (const char* map : {kSampleMap, kSingleByteMap}) {
    std::ofstream(work / "map.ucm", std::ios::binary | std::ios::trunc) << map;
    svregistration::CCSID table;
    table.Import((work / "map.ucm").string(), 1);
    table.Save((work / "table.tbl").string());
    Seed("fuzz_table_load", "seed" + std::to_string(n++), t::ReadFile(work / "table.tbl"));
  }
  svregistration::CCSID icu;
  svregistration::FillFromIcu(icu, "ibm-37");
  icu.Save((work / "table.tbl").string());
  Seed("fuzz_table_load", "ibm-37", t::ReadFile(work / "table.tbl"));
  fs::remove_all(work);

  // Records for ibm-930 (even first byte) and ibm-37 (odd).
  const std::string records[] = {
      Record("\xC1\xC2\xC3\x40\xF1\xF2\xF3"),
      Record("\xC1\x0E\x44\x5A\x45\x41\x0F\x7D\x0E\x45\x41\x0F\x7D\x40"),
      Record("\x7D\x0E\x0F\x7D\x0E\x44\x5A") + Record("\x45\x41\x0F"),
      Record("\x0E\x44") + "\x0F\xC1",
      "\xC1\xC2",
  };
  n = 0;
  for (const std::string& record : records) {
    Seed("fuzz_to_unicode", "seed" + std::to_string(n++), std::string(1, '\0') + record);
    Seed("fuzz_to_unicode", "seed" + std::to_string(n++), "\x01" + record);
  }
  const std::u16string texts[] = {
      u"IDENTIFICATION DIVISION.\r\n",
      u"MOVE '\u3042\u3044' TO X.\r\n\u65e5\u672c ABC\n",
      std::u16string(100, u'A') + u"\r\nB\u00e9\u20ac\uFFFD",
      u"\xD800\xDC00\u3000\u3000\r\r\n\n\t",
  };
  n = 0;
  for (const std::u16string& text : texts) {
    Seed("fuzz_to_ebcdic", "seed" + std::to_string(n++), std::string(1, '\0') + Utf16Le(text));
    Seed("fuzz_to_ebcdic", "seed" + std::to_string(n++), "\x01" + Utf16Le(text));
  }
}

void ArchiveSeeds() {
  fs::path work = root / "work";
  fs::create_directories(work);
  const std::vector<t::Member> members = {
      t::Folder("src/"), t::File("src/PAY.cbl", "       IDENTIFICATION DIVISION.\r\n"),
      t::File("COPY.cpy", std::string(300, 'x')), t::Symlink("src/link", "PAY.cbl")};
  const std::pair<const char*, const char*> options[] = {
      {"zip:compression=store", ""},
      {"zip:compression=deflate", ""},
      {"zip:encryption=zipcrypt", "fuzz-password"},
      {"zip:compression=store,zip:encryption=zipcrypt", "wrong"},
  };
  int n = 0;
  for (const auto& [option, password] : options) {
    t::WriteArchive((work / "a.zip").string(), members, option, password);
    Seed("fuzz_zip", "seed" + std::to_string(n++), t::ReadFile(work / "a.zip"));
  }
  fs::remove_all(work);

  Seed("fuzz_rar", "seed0", t::Rar4Archive({t::File("PAY.cbl", "MOVE A TO B.\r\n")}));
  Seed("fuzz_rar", "seed1",
       t::Rar4Archive({t::Folder("src"), t::File("src\\PAY.cbl", "X"), t::File("b.txt", "")}));
  t::Member locked = t::File("secret.cbl", "Y");
  locked.encrypted = true;
  Seed("fuzz_rar", "seed2", t::Rar4Archive({locked, t::File("open.cbl", "Z")}));
  Seed("fuzz_rar", "seed3", t::Rar4Archive({t::File("a", "1"), t::File("b", "2")}, 1));

  // Encrypted RAR archives cannot be written here: the decryption target starts from the real
  // ones in the shared folder beside the checkout, when it is there.
  Seed("fuzz_rar_decrypt", "seed0", t::Rar4Archive({locked, t::File("open.cbl", "Z")}));
  const fs::path shared = fs::path(SVREG_SHARED_DIR) / "fixtures" / "rar";
  std::error_code ignored;
  for (const auto& item : fs::directory_iterator(shared, ignored)) {
    const std::string name = item.path().filename().string();
    if (name.find("encrypt") != std::string::npos)
      Seed("fuzz_rar_decrypt", name, t::ReadFile(item));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_seeds FOLDER\n";
    return 2;
  }
  root = argv[1];
  NormaliserSeeds();
  SettingsSeeds();
  ManifestSeeds();
  CodePageSeeds();
  ArchiveSeeds();
  return 0;
}

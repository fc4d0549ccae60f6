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
#include "codepage/codepage_test_support.h"
#include "support/fake_workspace.h"
#include "support/temp_dir.h"
#include "svregistration/ccsid.h"
#include "svregistration/icu_table.h"

namespace {

namespace fs = std::filesystem;
namespace t = svregistration::testing;

fs::path root;

// Writes the inputs as seed0, seed1, ... of the target.
void Seeds(const std::string& target, const std::vector<std::string>& inputs) {
  fs::create_directories(root / target);
  for (std::size_t n = 0; n < inputs.size(); ++n) {
    std::ofstream(root / target / ("seed" + std::to_string(n)), std::ios::binary) << inputs[n];
  }
}

// The text as little-endian UTF-16 after the byte that chooses the table.
std::string Utf16Le(char choice, const std::u16string& text) {
  std::string out(1, choice);
  for (char16_t c : text) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return out;
}

// A record padded with EBCDIC spaces to 80 bytes.
std::string Record(std::string bytes) {
  bytes.resize(80, '\x40');
  return bytes;
}

void NormaliserSeeds() {
  std::vector<std::string> seeds;
  for (const std::string& text : std::vector<std::string>{
           "000100 IDENTIFICATION DIVISION.                                         PAY00010\n",
           "\tMOVE A\tTO B.\r\n\t\tX\n", "a \x82\xA0 b\n  \x82\xA0\x82\xA1  \n",
           "123456\x82\n" + std::string(70, 'A') + "\x82\xA0\x82\xA0  00020000\n",
           std::string("\xE0\x40\xFC\xFC \t\n\n  \r\n")}) {
    for (char bits : {'\x00', '\x07', '\x2F', '\x3F', '\x4B', '\x28'}) seeds.push_back(bits + text);
  }
  Seeds("fuzz_normaliser", seeds);
}

void SettingsSeeds() {
  std::vector<std::string> seeds = {"COBOL"};
  const std::string nul(1, '\0');
  for (const t::OptionsSpec& spec :
       {t::OptionsSpec{.expand_tabs = true,
       .remove_numeration = true,
       .numeration = true,
       .remove_lead_numeration = true,
       .sosi = "Removed",
       .registered_locale = "1041"},
        t::OptionsSpec{.legacy = "EBCDIC", .encoding_table = "ibm-930.tbl", .dbcs = true},
        t::OptionsSpec{.type = "JCL", .source_locale = "1024", .registered_locale = "2048"},
        t::OptionsSpec{.sosi = "Spaces", .source_locale = "x", .registered_locale = "99999"}}) {
    const std::string workspace = t::WorkspaceOptionsXml(spec);
    seeds.push_back("COBOL" + nul + workspace + nul + "<OPTIONS/>");
    seeds.push_back(spec.type + nul + "<OPTIONS/>" + nul + workspace);
  }
  Seeds("fuzz_settings", seeds);
}

void ManifestSeeds() {
  Seeds("fuzz_manifest",
        {"//DIR:gen\\\n//MODEL:PAY\n//NOTES:PAY\ngen\\PAY.lst\n//DIR:keep\n//DIR:deep\n",
         "//SOURCE:1,a.lst\r\nb.obj\n*.lst\n//DIR:empty\n//dir:deep\\sub\n",
         "x y.lst\n//SOURCE:A.LST\ngen\\sub\\?AY.obj\n//DIR:gen\\sub\n//DIR:gen\n",
         "//\n\n//DIR:\n.\nempty\\\n"});
}

void CodePageSeeds() {
  const std::string sample(t::kSampleMap);
  Seeds("fuzz_charmap_import", {sample});
  t::TempDir work;
  svregistration::CCSID imported, icu;
  imported.Import(work.Write("map.ucm", sample), 1);
  imported.Save(work / "sample.tbl");
  svregistration::FillFromIcu(icu, "ibm-37");
  icu.Save(work / "ibm-37.tbl");
  Seeds("fuzz_table_load", {t::ReadFile(work / "sample.tbl"), t::ReadFile(work / "ibm-37.tbl")});

  // Records for ibm-930 (even first byte) and ibm-37 (odd).
  std::vector<std::string> records;
  for (const std::string& record :
       {Record("\xC1\xC2\xC3\x40\xF1\xF2\xF3"),
        Record("\xC1\x0E\x44\x5A\x45\x41\x0F\x7D\x0E\x45\x41\x0F\x7D\x40"),
        Record("\x7D\x0E\x0F\x7D\x0E\x44\x5A") + Record("\x45\x41\x0F"),
        Record("\x0E\x44") + "\x0F\xC1", std::string("\xC1\xC2")}) {
    records.insert(records.end(), {'\0' + record, '\x01' + record});
  }
  Seeds("fuzz_to_unicode", records);
  std::vector<std::string> texts;
  for (const std::u16string& text :
       {std::u16string(u"IDENTIFICATION DIVISION.\r\n"),
        std::u16string(u"MOVE '\u3042\u3044' TO X.\r\n\u65e5\u672c ABC\n"),
        std::u16string(100, u'A') + u"\r\nB\u00e9\u20ac\uFFFD",
        std::u16string(u"\xD800\xDC00\u3000\u3000\r\r\n\n\t")}) {
    texts.insert(texts.end(), {Utf16Le('\0', text), Utf16Le('\x01', text)});
  }
  Seeds("fuzz_to_ebcdic", texts);
}

void ArchiveSeeds() {
  t::TempDir work;
  const std::vector<t::Member> members = {
      t::Folder("src/"), t::File("src/PAY.cbl", "       IDENTIFICATION DIVISION.\r\n"),
      t::File("COPY.cpy", std::string(300, 'x')), t::Symlink("src/link", "PAY.cbl")};
  std::vector<std::string> zips;
  for (const auto& [option, password] :
       {std::pair{"zip:compression=store", ""},
        {"zip:compression=deflate", ""},
        {"zip:encryption=zipcrypt", "fuzz-password"},
        {"zip:compression=store,zip:encryption=zipcrypt", "wrong"}}) {
    t::WriteArchive(work / "a.zip", members, option, password);
    zips.push_back(t::ReadFile(work / "a.zip"));
  }
  Seeds("fuzz_zip", zips);

  t::Member locked = t::File("secret.cbl", "Y");
  locked.encrypted = true;
  Seeds("fuzz_rar",
        {t::Rar4Archive({t::File("PAY.cbl", "MOVE A TO B.\r\n")}),
         t::Rar4Archive({t::Folder("src"), t::File("src\\PAY.cbl", "X"), t::File("b.txt", "")}),
         t::Rar4Archive({locked, t::File("open.cbl", "Z")}),
         t::Rar4Archive({t::File("a", "1"), t::File("b", "2")}, 1)});

  // Encrypted RAR archives cannot be written here: the decryption target starts from the real
  // ones in the shared folder beside the checkout, when it is there.
  std::vector<std::string> encrypted = {t::Rar4Archive({locked, t::File("open.cbl", "Z")})};
  std::error_code ignored;
  for (const auto& item :
       fs::directory_iterator(fs::path(SVREG_SHARED_DIR) / "fixtures" / "rar", ignored)) {
    if (item.path().filename().string().find("encrypt") != std::string::npos) {
      encrypted.push_back(t::ReadFile(item));
    }
  }
  Seeds("fuzz_rar_decrypt", encrypted);
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

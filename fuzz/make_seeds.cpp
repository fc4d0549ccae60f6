// Writes the seed corpora of the fuzz targets, one folder per target below the folder given:
// small options documents, character maps, tables saved by CCSID::Save, records and texts,
// manifests, zip archives written by libarchive and RAR 4 archives of stored members.
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

void NormaliserSeeds() {
  std::vector<std::string> seeds;
  for (const std::string& text : std::vector<std::string>{
           "000100 IDENTIFICATION DIVISION." + std::string(41, ' ') + "PAY00010\n",
           "\tMOVE A\tTO B.\r\n\t\tX\n",
           "a \x82\xA0 b\n  \x82\xA0\x82\xA1  \n\xE0\x40\xFC\xFC \t\r\n"}) {
    for (char bits : {'\x00', '\x07', '\x2F', '\x4B'}) seeds.push_back(bits + text);
  }
  Seeds("fuzz_normaliser", seeds);
}

void SettingsSeeds() {
  const std::string nul(1, '\0');
  const std::string japanese = t::WorkspaceOptionsXml(
      {.expand_tabs = true, .numeration = true, .sosi = "Removed", .registered_locale = "1041"});
  const std::string ebcdic = t::WorkspaceOptionsXml({.legacy = "EBCDIC",
                                                     .encoding_table = "ibm-930.tbl",
                                                     .registered_locale = "99999",
                                                     .dbcs = true});
  Seeds("fuzz_settings", {"COBOL" + nul + japanese + nul + "<OPTIONS/>",
                          "COBOL" + nul + "<OPTIONS/>" + nul + ebcdic, "JCL" + nul + japanese});
}

void ManifestSeeds() {
  Seeds("fuzz_manifest",
        {"//DIR:gen\\\n//MODEL:PAY\n//NOTES:PAY\ngen\\PAY.lst\n//DIR:keep\n//DIR:deep\n",
         "//SOURCE:1,a.lst\r\nb.obj\n*.lst\n//dir:deep\\sub\n//\n\n//DIR:\n.\nempty\\\n"});
}

void CodePageSeeds() {
  const std::string sample(t::kSampleMap);
  Seeds("fuzz_charmap_import", {sample});
  t::TempDir work;
  t::ImportText(work, sample)->Save(work / "sample.tbl");
  svregistration::CCSID icu;
  svregistration::FillFromIcu(icu, "ibm-37");
  icu.Save(work / "ibm-37.tbl");
  Seeds("fuzz_table_load", {t::ReadFile(work / "sample.tbl"), t::ReadFile(work / "ibm-37.tbl")});
  // The first byte chooses the table: ibm-930 (even) or ibm-37 (odd). Records of 80 bytes, a run
  // across their end; text in little-endian UTF-16.
  std::string records = "\xC1\x0E\x44\x5A\x45\x41\x0F\x7D\x0E\x45\x41\x0F\x7D\x40";
  records.resize(78, '\x40');
  records += "\x0E\x44\x5A\x0F\xC1";
  Seeds("fuzz_to_unicode", {'\0' + records, '\x01' + records});
  std::string text(1, '\0');
  for (char16_t c : std::u16string(u"MOVE '\u3042\u3044' TO X.\r\n\u65e5\u672c B\u00e9\uFFFD\n")) {
    text += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  }
  Seeds("fuzz_to_ebcdic", {text, '\x01' + text.substr(1)});
}

void ArchiveSeeds() {
  t::TempDir work;
  const std::vector<t::Member> members = {
      t::Folder("src/"), t::File("src/PAY.cbl", "       IDENTIFICATION DIVISION.\r\n"),
      t::File("COPY.cpy", std::string(300, 'x')), t::Symlink("src/link", "PAY.cbl")};
  std::vector<std::string> zips;
  for (const auto& [option, password] :
       {std::pair{"zip:compression=deflate", ""}, {"zip:encryption=zipcrypt", "fuzz-password"}}) {
    t::WriteArchive(work / "a.zip", members, option, password);
    zips.push_back(t::ReadFile(work / "a.zip"));
  }
  Seeds("fuzz_zip", zips);

  t::Member locked = t::File("secret.cbl", "Y");
  locked.encrypted = true;
  const std::string rar = t::Rar4Archive({t::Folder("src"), t::File("src\\PAY.cbl", "X"), locked});
  Seeds("fuzz_rar", {rar, t::Rar4Archive({t::File("a", "1"), t::File("b", "2")}, 1)});

  // Encrypted RAR archives cannot be written here: the decryption target starts from the real
  // ones in the shared folder beside the checkout, when it is there.
  std::vector<std::string> encrypted = {rar};
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

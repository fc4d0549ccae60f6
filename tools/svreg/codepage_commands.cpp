// svreg codepage import|from-icu|decode|encode: code page tables from character maps or ICU's
// converters, and conversions of EBCDIC 80-byte records to UTF-8 text and back.

#include <fmt/core.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "output.h"
#include "svregistration/ccsid.h"
#include "svregistration/error.h"
#include "svregistration/icu_table.h"
#include "svregistration/input_reading.h"
#include "svregistration/record_decoder.h"
#include "svregistration/record_text.h"

namespace svreg {

namespace {

using svregistration::CCSID;
using svregistration::SOSIKeepType;

/// The input path of a command: a file, or stdin when the path is empty or "-".
std::string InputPath(const std::string& source) { return source.empty() ? "-" : source; }

std::size_t LeadByteCount(const CCSID& table) {
  std::size_t count = 0;
  for (int b = 0; b < 256; ++b) {
    if (table.isDBCS(static_cast<std::uint8_t>(b))) ++count;
  }
  return count;
}

/// The summary of a saved table: its path, size in bytes and number of lead bytes.
nlohmann::json TableSummary(const CCSID& table, const std::string& path) {
  std::size_t leads = LeadByteCount(table);
  return {{"table", path},
          {"ccsid", table.CcsidNumber()},
          {"bytes", 1024 + 512 * leads},
          {"lead_bytes", leads}};
}

struct CodepageArgs {
  std::string source;  // character map, converter name, or input file
  std::string table;
  std::int32_t ccsid = 0;
  std::string sosi = "keep-all";
  bool json = false;
};

// The choices by their own names and by the words of the options document's SOSI list.
const std::map<std::string, SOSIKeepType>& SosiChoices() {
  static const std::map<std::string, SOSIKeepType> choices = {
      {"keep-all", SOSIKeepType::KeepAll},
      {"retained", SOSIKeepType::KeepAll},
      {"remove-all", SOSIKeepType::RemoveAll},
      {"removed", SOSIKeepType::RemoveAll},
      {"keep-in-literals", SOSIKeepType::KeepInLiterals},
      {"replace-all", SOSIKeepType::ReplaceAll},
      {"replaced", SOSIKeepType::ReplaceAll}};
  return choices;
}

// The table a command saved, as JSON or as a line: "saved TABLE[ from CONVERTER] ([CCSID N, ]
// B bytes, L lead bytes)".
void PrintSaved(const CCSID& table, const CodepageArgs& args, const std::string& from,
                const std::string& ccsid) {
  nlohmann::json summary = TableSummary(table, args.table);
  if (args.json) {
    summary["ok"] = true;
    PrintJson(summary);
  } else {
    WriteStdout(fmt::format("saved {}{} ({}{} bytes, {} lead bytes)\n", args.table, from, ccsid,
                            summary["bytes"].dump(), summary["lead_bytes"].dump()));
  }
}

void RunImport(const CodepageArgs& args) {
  CCSID table;
  svregistration::ImportCharacterMap(table, args.source, args.ccsid);
  table.Save(args.table);
  PrintSaved(table, args, "", fmt::format("CCSID {}, ", table.CcsidNumber()));
}

void RunFromIcu(const CodepageArgs& args) {
  CCSID table;
  svregistration::FillFromIcu(table, args.source);
  table.Save(args.table);
  PrintSaved(table, args, " from " + args.source, "");
}

void RunDecode(const CodepageArgs& args) {
  CCSID table;
  table.Load(args.table, 0);
  svregistration::InputReader input(InputPath(args.source));
  SOSIKeepType keep = SosiChoices().at(args.sosi);
  if (!args.json) {
    svregistration::DecodeRecordsToUtf8(table, keep, input,
                                        [](std::string_view piece) { WriteStdout(piece); });
    return;
  }
  std::string whole;
  svregistration::DecodeRecordsToUtf8(table, keep, input,
                                      [&whole](std::string_view piece) { whole += piece; });
  PrintJson({{"text", whole}});
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(2 * bytes.size());
  for (std::uint8_t b : bytes) {
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 0x0F]);
  }
  return hex;
}

void RunEncode(const CodepageArgs& args) {
  CCSID table;
  table.Load(args.table, 0);
  const std::vector<std::uint8_t> input = svregistration::ReadInputWhole(InputPath(args.source));
  std::u16string text = svregistration::Utf16FromUtf8(
      std::string_view(reinterpret_cast<const char*>(input.data()), input.size()));
  std::vector<std::uint8_t> bytes = table.ToEBCDIC(text);
  if (args.json) {
    PrintJson({{"hex", Hex(bytes)}});
  } else {
    WriteStdout({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
  }
}

// --sosi: one of the choices, letter case ignored.
std::string SosiChoice(std::string value) {
  for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (SosiChoices().count(value) == 0) {
    throw CLI::ValidationError("--sosi", "'" + value +
                                             "' is none of keep-all, remove-all, "
                                             "keep-in-literals, replace-all, Retained, Removed, "
                                             "Replaced");
  }
  return value;
}

void AddImport(CLI::App& codepage) {
  auto args = std::make_shared<CodepageArgs>();
  auto* command = codepage.add_subcommand(
      "import", "Build a table from a character map (.ucm) and save it as a table file");
  command->add_option("UCM", args->source, "The character map file")->required();
  command->add_option("TABLE", args->table, "The table file to write")->required();
  command->add_option("--ccsid", args->ccsid, "The coded character set id to record");
  command->add_flag("--json", args->json, "Print a summary as JSON");
  command->callback([args] { RunImport(*args); });
}

void AddFromIcu(CLI::App& codepage) {
  auto args = std::make_shared<CodepageArgs>();
  auto* command = codepage.add_subcommand(
      "from-icu", "Build a table from one of ICU's converters (ibm-37, ibm-930...) and save it");
  command->add_option("CONVERTER", args->source, "The ICU converter name")->required();
  command->add_option("TABLE", args->table, "The table file to write")->required();
  command->add_flag("--json", args->json, "Print a summary as JSON");
  command->callback([args] { RunFromIcu(*args); });
}

void AddDecode(CLI::App& codepage) {
  auto args = std::make_shared<CodepageArgs>();
  auto* command = codepage.add_subcommand(
      "decode", "Convert EBCDIC 80-byte records to lines of UTF-8 text on stdout");
  command->add_option("TABLE", args->table, "The table file")->required();
  command->add_option("FILE", args->source, "The records (stdin when absent or -)");
  command
      ->add_option("--sosi", args->sosi,
                   "What shift-out and shift-in bytes become: keep-all (Retained), remove-all "
                   "(Removed), keep-in-literals, replace-all (Replaced)")
      ->transform(SosiChoice);
  command->add_flag("--json", args->json, "Print {\"text\": ...} instead of the text");
  command->callback([args] { RunDecode(*args); });
}

void AddEncode(CLI::App& codepage) {
  auto args = std::make_shared<CodepageArgs>();
  auto* command =
      codepage.add_subcommand("encode", "Convert UTF-8 text to EBCDIC 80-byte records on stdout");
  command->add_option("TABLE", args->table, "The table file")->required();
  command->add_option("FILE", args->source, "The text (stdin when absent or -)");
  command->add_flag("--json", args->json, "Print {\"hex\": ...} instead of the bytes");
  command->callback([args] { RunEncode(*args); });
}

}  // namespace

void AddCodepageCommands(CLI::App& app, Context& /*context*/) {
  auto* codepage =
      app.add_subcommand("codepage", "Build code page tables and convert EBCDIC records");
  codepage->require_subcommand(1);
  AddImport(*codepage);
  AddFromIcu(*codepage);
  AddDecode(*codepage);
  AddEncode(*codepage);
}

}  // namespace svreg

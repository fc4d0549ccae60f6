// Copy recipes: the settings that decide a registered copy's bytes, read from the options
// documents, kept as one line of text on the object and compared.
#include "svregistration/workspace/copy_recipe.h"

#include <fmt/core.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <pugixml.hpp>

#include "svregistration/workspace/workspace_host.h"

namespace svregistration::workspace {

namespace {

constexpr const char* kVerbatim = "verbatim";
constexpr const char* kNormalised = "normalised";

// The first element below `parent` (a direct child unless `deep`) of that name whose attribute
// has the value. Walked rather than queried: a type name with a quote cannot break a query.
pugi::xml_node Find(const pugi::xml_node& parent, const char* element, const char* attribute,
                    const std::string& value, bool deep) {
  for (const pugi::xml_node& child : parent.children()) {
    if (std::strcmp(child.name(), element) == 0 && value == child.attribute(attribute).value()) {
      return child;
    }
    if (deep) {
      if (pugi::xml_node found = Find(child, element, attribute, value, true)) return found;
    }
  }
  return {};
}

std::string ValueOf(const pugi::xml_node& node) { return node.attribute("VALUE").value(); }

// A checksum of the code page table's bytes (FNV-1a, 64 bits): a table imported again under the
// same name makes other copies.
std::string TableChecksum(const std::filesystem::path& table) {
  std::ifstream in(table, std::ios::binary);
  if (!in) return "missing";
  std::uint64_t hash = 14695981039346656037ull;
  for (std::istreambuf_iterator<char> it(in), end; it != end; ++it) {
    hash = (hash ^ static_cast<unsigned char>(*it)) * 1099511628211ull;
  }
  return fmt::format("{:016x}", hash);
}

// Setting values are kept on one line: the separators they might hold are escaped.
std::string Escape(const std::string& value) {
  std::string out;
  for (char c : value) {
    if (c == '%' || c == ';' || c == '\n') {
      out += fmt::format("%{:02X}", static_cast<unsigned char>(c));
    } else {
      out += c;
    }
  }
  return out;
}

std::string Unescape(const std::string& value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '%' && i + 2 < value.size()) {
      out += static_cast<char>(std::stoi(value.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += value[i];
    }
  }
  return out;
}

}  // namespace

std::string CopyRecipe::Text() const {
  if (!normalised) return kVerbatim;
  std::string text = kNormalised;
  for (const auto& [name, value] : settings) text += "; " + name + "=" + Escape(value);
  return text;
}

std::optional<CopyRecipe> CopyRecipe::Parse(const std::string& text) {
  if (text == kVerbatim) return CopyRecipe{};
  if (text.rfind(kNormalised, 0) != 0) return std::nullopt;
  CopyRecipe recipe{true, {}};
  std::size_t at = std::strlen(kNormalised);
  while (at < text.size()) {
    if (text.compare(at, 2, "; ") != 0) return std::nullopt;
    at += 2;
    std::size_t end = text.find(';', at);
    if (end == std::string::npos) end = text.size();
    std::string item = text.substr(at, end - at);
    std::size_t equals = item.find('=');
    if (equals == std::string::npos) return std::nullopt;
    try {
      recipe.settings.emplace_back(item.substr(0, equals), Unescape(item.substr(equals + 1)));
    } catch (const std::exception&) {
      return std::nullopt;
    }
    at = end;
  }
  return recipe;
}

CopyRecipe CopyRecipe::Current(WorkspaceHost& workspace, const std::string& type, bool normalised) {
  if (!normalised) return CopyRecipe{};
  const pugi::xml_document& options = *workspace.workspace_options()->View();
  const pugi::xml_document& global = *workspace.global_options()->View();
  CopyRecipe recipe{true, {}};
  auto add = [&](const char* name, std::string value) {
    recipe.settings.emplace_back(name, std::move(value));
  };
  add("expand_tabs", ValueOf(Find(options, "BOOL", "ID", "ExpandTabs", true)));
  add("remove_numeration", ValueOf(Find(options, "BOOL", "ID", "RemoveNumeration", true)));
  pugi::xml_node page = Find(options, "CASE", "ID", "Registration", true);
  pugi::xml_node entry =
      Find(Find(page, "LIST", "NAME", "Extension", true), "CASE", "NAME", type, false);
  add("numeration", ValueOf(Find(entry, "BOOL", "NAME", "Numeration", false)));
  add("remove_lead_numeration",
      ValueOf(Find(entry, "BOOL", "NAME", "RemoveLeadNumeration", false)));
  pugi::xml_node legacy = Find(options, "LIST", "ID", "LegacySourcesEncoding", true);
  add("legacy_encoding", ValueOf(legacy));
  add("sosi", ValueOf(Find(legacy, "LIST", "NAME", "SOSI", true)));
  pugi::xml_node chosen = Find(options, "LIST", "NAME", "ObjectComputerEncoding", true);
  const std::string encoding = ValueOf(chosen);
  add("computer_encoding", encoding);
  pugi::xml_node list = Find(global, "LIST", "ID", "ObjectComputerEncoding", true);
  pugi::xml_node encoding_entry = Find(list ? list : chosen, "CASE", "NAME", encoding, false);
  const std::string table = ValueOf(Find(encoding_entry, "TEXT", "NAME", "EncodingTable", false));
  add("encoding_table", table);
  if (!table.empty()) {
    add("table_checksum",
        TableChecksum(std::filesystem::path(workspace.CodePageDirectory()) / table));
  }
  add("dbcs", ValueOf(Find(encoding_entry, "BOOL", "NAME", "DBCS", false)));
  add("source_locale", ValueOf(Find(encoding_entry, "TEXT", "NAME", "SourceLocale", false)));
  add("registered_locale",
      ValueOf(Find(encoding_entry, "TEXT", "NAME", "RegisteredLocale", false)));
  return recipe;
}

std::string CopyRecipe::Value(const std::string& name) const {
  for (const auto& [key, value] : settings) {
    if (key == name) return value;
  }
  return "(none)";
}

bool CopyRecipe::KeepsBytes() const {
  return !normalised || (Value("expand_tabs") != "true" && Value("remove_numeration") != "true" &&
                         Value("remove_lead_numeration") != "true" &&
                         Value("legacy_encoding") != "EBCDIC" && Value("sosi") == "Retained");
}

std::vector<std::string> RecipeChanges(const CopyRecipe& was, const CopyRecipe& now) {
  if (was.normalised != now.normalised) {
    // A normalisation that keeps every byte makes the verbatim copy.
    if (was.KeepsBytes() && now.KeepsBytes()) return {};
    return {fmt::format("{} -> {}", was.normalised ? kNormalised : kVerbatim,
                        now.normalised ? kNormalised : kVerbatim)};
  }
  std::vector<std::string> changes;
  auto value_in = [](const CopyRecipe& recipe, const std::string& name) {
    return recipe.Value(name);
  };
  for (const auto& [name, value] : now.settings) {
    std::string before = value_in(was, name);
    if (before != value) {
      changes.push_back(fmt::format("{} {} -> {}", name, before.empty() ? "\"\"" : before,
                                    value.empty() ? "\"\"" : value));
    }
  }
  return changes;
}

std::optional<CopyRecipe> RecordedRecipe(host::RepositoryObject& object) {
  return CopyRecipe::Parse(object.GetAttribute(kCopyRecipeAttribute));
}

void RecordRecipe(host::RepositoryObject& object, const CopyRecipe& recipe) {
  object.BeginUpdate();
  object.SetAttribute(kCopyRecipeAttribute, recipe.Text());
  object.EndUpdate();
}

}  // namespace svregistration::workspace

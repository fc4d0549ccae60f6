#include "support/fake_workspace.h"

#include <stdexcept>

#include "svregistration/error.h"

namespace svregistration::testing {

FakeOptions::FakeOptions(const std::string& xml) {
  if (!document_.load_string(xml.c_str())) throw std::runtime_error("bad test XML: " + xml);
}

FakeWorkspace::FakeWorkspace(std::string root_dir, const std::string& workspace_xml,
                             const std::string& global_xml)
    : root(std::move(root_dir)), code_page_directory(root + "/codepages") {
  if (!workspace_xml.empty()) workspace_options = std::make_shared<FakeOptions>(workspace_xml);
  if (!global_xml.empty()) global_options = std::make_shared<FakeOptions>(global_xml);
}

std::shared_ptr<host::Repository> FakeWorkspace::Repository() {
  if (!repository) throw Error(error_number::kObjectNotSet, "FakeWorkspace", "no repository");
  return repository;
}

std::string FakeWorkspace::GetSolvaneName(int code) {
  if (code == host::kWorkspaceRootDirectory) return root;
  if (code == host::kCodePageTableDirectory) return code_page_directory;
  throw Error(5, "FakeWorkspace", "no such code");
}

std::string WorkspaceOptionsXml(const OptionsSpec& s) {
  auto flag = [](bool b) { return b ? "true" : "false"; };
  std::string table = s.encoding_table.empty()
                          ? "<TEXT NAME='SourceLocale' VALUE='" + s.source_locale + "'/>"
                          : std::string("<BOOL NAME='DBCS' VALUE='") + flag(s.dbcs) + "'/>";
  return std::string("<OPTIONS><CASE ID='Registration'>") + "<BOOL ID='ExpandTabs' VALUE='" +
         flag(s.expand_tabs) + "'/>" + "<BOOL ID='RemoveNumeration' VALUE='" +
         flag(s.remove_numeration) + "'/>" + "<LIST NAME='Extension' VALUE='" + s.type +
         "'><CASE NAME='" + s.type + "'>" + "<BOOL NAME='Numeration' VALUE='" + flag(s.numeration) +
         "'/>" + "<BOOL NAME='RemoveLeadNumeration' VALUE='" + flag(s.remove_lead_numeration) +
         "'/>" + "</CASE></LIST></CASE><CASE ID='Encoding'>" +
         "<LIST ID='LegacySourcesEncoding' VALUE='" + s.legacy + "'>" +
         "<LIST NAME='SOSI' VALUE='" + s.sosi + "'/></LIST>" +
         "<LIST NAME='ObjectComputerEncoding' VALUE='Selected'><CASE NAME='Selected'>" +
         "<TEXT NAME='EncodingTable' VALUE='" + s.encoding_table + "'/>" + table +
         "<TEXT NAME='RegisteredLocale' VALUE='" + s.registered_locale + "'/>" +
         "</CASE></LIST></CASE></OPTIONS>";
}

}  // namespace svregistration::testing

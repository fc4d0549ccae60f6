// The settings reader over options documents: pages found or missing, option values, locales and
// the errors of a bad document.
#include "registration/registration_settings.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "support/fake_workspace.h"
#include "svregistration/error.h"

namespace svregistration::registration {
namespace {

using testing::OptionsSpec;
using testing::WorkspaceOptionsXml;

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG", "LC_MESSAGES"}) unsetenv(name);
  }

  RegistrationSettings& Load(const std::string& workspace_xml, const std::string& type = "COBOL",
                             const std::string& global_xml = "<OPTIONS/>") {
    workspace_.load_string(workspace_xml.c_str());
    global_.load_string(global_xml.c_str());
    return LoadRegistrationSettings(&workspace_, &global_, type);
  }

  int ErrorOf(const std::string& workspace_xml, const std::string& type = "COBOL",
              const std::string& global_xml = "<OPTIONS/>") {
    try {
      Load(workspace_xml, type, global_xml);
    } catch (const Error& e) {
      last_error_ = e.description();
      return e.number();
    }
    return 0;
  }

  pugi::xml_document workspace_, global_;
  std::string last_error_;
};

TEST_F(SettingsTest, ReadsEveryOptionOfTheType) {
  OptionsSpec options{.expand_tabs = true, .remove_numeration = true, .numeration = true,
                   .remove_lead_numeration = true, .sosi = "Removed",
                   .source_locale = "1041", .registered_locale = "1041"};
  RegistrationSettings& s = Load(WorkspaceOptionsXml(options));
  EXPECT_TRUE(s.ExpandTabs);
  EXPECT_TRUE(s.RemoveNumeration);
  EXPECT_TRUE(s.Numeration);
  EXPECT_TRUE(s.RemoveLeadNumeration);
  EXPECT_TRUE(s.ConvertSosi);
  EXPECT_TRUE(s.SosiRemoved);
  EXPECT_TRUE(s.IsDbcs);
  EXPECT_TRUE(s.SosiAllowed);
  EXPECT_EQ(s.SourceLocale, 1041u);
  EXPECT_EQ(s.RegisteredLocale, 1041u);
  EXPECT_TRUE(s.IsLeadByte(0x81));
}

TEST_F(SettingsTest, MissingRegistrationPageKeepsDefaultsAndReadsEncoding) {
  std::string xml = WorkspaceOptionsXml({.expand_tabs = true});
  xml.replace(xml.find("ID='Registration'"), 17, "ID='Other'");
  RegistrationSettings& s = Load(xml);
  EXPECT_FALSE(s.ExpandTabs);
  EXPECT_FALSE(s.SosiAllowed);
  EXPECT_EQ(s.RegisteredLocale, 1033u);
}

TEST_F(SettingsTest, TypeWithoutEntryRaises507AndSkipsEncodingPage) {
  std::string xml = WorkspaceOptionsXml({.legacy = "EBCDIC"});
  EXPECT_EQ(ErrorOf(xml, "JCL"), error_number::kNoRegistrationEntry);
  EXPECT_EQ(last_error_, "Incorrect Registration page in the Workspace Options set");
  EXPECT_FALSE(ThreadRegistrationSettings().IsEbcdic);
  EXPECT_EQ(ThreadRegistrationSettings().RegisteredLocale, 0u);
  EXPECT_EQ(ErrorOf(xml, "CO'BOL"), error_number::kNoRegistrationEntry);
}

TEST_F(SettingsTest, OnlyLowerCaseTrueIsTrue) {
  for (const char* value : {"True", "TRUE", "1", "yes"}) {
    std::string xml = WorkspaceOptionsXml({});
    xml.replace(xml.find("ID='ExpandTabs' VALUE='false'"), 29,
                std::string("ID='ExpandTabs' VALUE='") + value + "'");
    EXPECT_FALSE(Load(xml).ExpandTabs) << value;
  }
}

TEST_F(SettingsTest, PageOptionsAreFoundAnywhereTypeOptionsOnlyInTheEntry) {
  std::string xml = WorkspaceOptionsXml({});
  xml.replace(xml.find("<BOOL ID='ExpandTabs' VALUE='false'/>"), 37, "");
  xml.replace(xml.find("<BOOL NAME='Numeration' VALUE='false'/>"), 39, "");
  xml.insert(xml.find("</OPTIONS>"),
             "<X><BOOL ID='ExpandTabs' VALUE='true'/><BOOL NAME='Numeration' VALUE='true'/></X>");
  RegistrationSettings& s = Load(xml);
  EXPECT_TRUE(s.ExpandTabs);
  EXPECT_FALSE(s.Numeration);
}

struct EncodingCase {
  std::string legacy, sosi;
  bool is_ebcdic, convert_sosi, sosi_removed;
};

TEST_F(SettingsTest, LegacyEncodingAndShiftChoices) {
  const EncodingCase cases[] = {
      {"EBCDIC", "Removed", true, false, true},  {"ebcdic", "Removed", false, true, true},
      {"ASCII", "Retained", false, false, false}, {"ASCII", "Replaced", false, true, false},
  };
  for (const auto& c : cases) {
    OptionsSpec options{.legacy = c.legacy, .sosi = c.sosi, .encoding_table = "t.tbl"};
    RegistrationSettings& s = Load(WorkspaceOptionsXml(options));
    EXPECT_EQ(s.IsEbcdic, c.is_ebcdic) << c.legacy << "/" << c.sosi;
    EXPECT_EQ(s.ConvertSosi, c.convert_sosi) << c.legacy << "/" << c.sosi;
    EXPECT_EQ(s.SosiRemoved, c.sosi_removed) << c.legacy << "/" << c.sosi;
  }
  std::string no_sosi = WorkspaceOptionsXml({});
  no_sosi.replace(no_sosi.find("<LIST NAME='SOSI' VALUE='Retained'/>"), 36, "");
  EXPECT_TRUE(Load(no_sosi).ConvertSosi);
  EXPECT_FALSE(Load(no_sosi).SosiRemoved);
}

TEST_F(SettingsTest, GlobalListReplacesTheWorkspaceList) {
  std::string global =
      "<OPTIONS><LIST ID='ObjectComputerEncoding'><CASE NAME='Selected'>"
      "<TEXT NAME='SourceLocale' VALUE='1041'/><TEXT NAME='RegisteredLocale' VALUE='1041'/>"
      "</CASE></LIST></OPTIONS>";
  EXPECT_EQ(Load(WorkspaceOptionsXml({}), "COBOL", global).RegisteredLocale, 1041u);
}

TEST_F(SettingsTest, DefaultLocaleIdsResolveFromTheEnvironment) {
  setenv("LANG", "ja_JP.UTF-8", 1);
  RegistrationSettings& s =
      Load(WorkspaceOptionsXml({.source_locale = "1024", .registered_locale = "2048"}));
  EXPECT_EQ(s.SourceLocale, 1041u);
  EXPECT_EQ(s.RegisteredLocale, 1041u);
  EXPECT_TRUE(s.IsDbcs);
}

TEST_F(SettingsTest, EncodingTableSkipsTheSourceLocale) {
  OptionsSpec options{.encoding_table = "ibm-930.tbl", .source_locale = "junk", .dbcs = true};
  RegistrationSettings& s = Load(WorkspaceOptionsXml(options));
  EXPECT_EQ(s.SourceLocale, 0u);
  EXPECT_TRUE(s.IsDbcs);
  EXPECT_EQ(s.EncodingTable, "ibm-930.tbl");
}

TEST_F(SettingsTest, BadDocumentsRaiseTheirErrors) {
  EXPECT_EQ(ErrorOf(WorkspaceOptionsXml({.source_locale = "99999"})),
            error_number::kUnsupportedLocale);
  EXPECT_EQ(last_error_, "Wrong encoding workspace option. Required source locale 99999 is not supported");
  EXPECT_EQ(ErrorOf(WorkspaceOptionsXml({.registered_locale = "250000"})), error_number::kUnsupportedLocale);
  EXPECT_EQ(last_error_, "Wrong encoding workspace option. Required registration locale 250000 is not supported");
  EXPECT_EQ(ErrorOf(WorkspaceOptionsXml({.source_locale = ""})), error_number::kTypeMismatch);
  EXPECT_EQ(ErrorOf(WorkspaceOptionsXml({.registered_locale = "10x"})), error_number::kTypeMismatch);

  std::string no_value = WorkspaceOptionsXml({});
  no_value.replace(no_value.find("ID='ExpandTabs' VALUE='false'"), 29, "ID='ExpandTabs'");
  EXPECT_EQ(ErrorOf(no_value), error_number::kInvalidUseOfNull);

  std::string no_list = WorkspaceOptionsXml({});
  no_list.replace(no_list.find("NAME='ObjectComputerEncoding'"), 29, "NAME='Other'");
  EXPECT_EQ(ErrorOf(no_list), error_number::kObjectNotSet);

  std::string unknown_encoding = WorkspaceOptionsXml({});
  unknown_encoding.replace(unknown_encoding.find("VALUE='Selected'"), 16, "VALUE='Nope'");
  EXPECT_EQ(ErrorOf(unknown_encoding), error_number::kTypeMismatch);
  EXPECT_THROW(LoadRegistrationSettings(nullptr, &global_, "COBOL"), Error);
}

TEST(IsLeadByte, FollowsTheRegisteredCodePageRanges) {
  RegistrationSettings s;
  s.RegisteredCodePage.LeadByte = {0x81, 0x9F, 0xE0, 0xFC};
  for (int b : {0x81, 0x9F, 0xE0, 0xFC}) EXPECT_FALSE(s.IsLeadByte(static_cast<unsigned char>(b)));
  s.IsDbcs = true;
  for (int b : {0x81, 0x9F, 0xE0, 0xFC}) EXPECT_TRUE(s.IsLeadByte(static_cast<unsigned char>(b))) << b;
  for (int b : {0x80, 0xA0, 0xFD, 0x00}) EXPECT_FALSE(s.IsLeadByte(static_cast<unsigned char>(b))) << b;
  s.RegisteredCodePage.LeadByte = {};
  EXPECT_FALSE(s.IsLeadByte(0x81));
}

}  // namespace
}  // namespace svregistration::registration

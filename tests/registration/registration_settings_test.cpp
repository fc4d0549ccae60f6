// The settings reader over options documents: pages found or missing, option values, locales and
// the errors of a bad document.
#include "registration/registration_settings.h"

#include <gtest/gtest.h>

#include "resources/message_catalogue.h"
#include "support/error_capture.h"
#include "support/fake_workspace.h"
#include "support/scoped_environment.h"
#include "svregistration/error.h"

namespace svregistration::registration {
namespace {

using testing::ErrorNumber;
using testing::ExpectError;
using testing::OptionsSpec;
using testing::WorkspaceOptionsXml;

class SettingsTest : public ::testing::Test {
 protected:
  /// Makes the workspace document of `options`; Node then finds a node to edit in it.
  void Prepare(const OptionsSpec& options) {
    workspace_.load_string(WorkspaceOptionsXml(options).c_str());
  }
  pugi::xml_node Node(const char* xpath) {
    pugi::xml_node node = workspace_.select_node(xpath).node();
    EXPECT_TRUE(node) << xpath;
    return node;
  }
  RegistrationSettings& Read(const std::string& type = "COBOL") {
    return LoadRegistrationSettings(&workspace_, &global_, type);
  }
  RegistrationSettings& Load(const OptionsSpec& options) {
    Prepare(options);
    return Read();
  }
  int ErrorOf(const std::string& type = "COBOL") {
    return ErrorNumber([&] { Read(type); });
  }

  testing::ScopedEnvironment environment_{"LC_ALL", "LC_CTYPE", "LANG", "LC_MESSAGES"};
  pugi::xml_document workspace_, global_;
};

TEST_F(SettingsTest, ReadsEveryOptionOfTheType) {
  OptionsSpec options{.expand_tabs = true,
                      .remove_numeration = true,
                      .numeration = true,
                      .remove_lead_numeration = true,
                      .sosi = "Removed",
                      .source_locale = "1041",
                      .registered_locale = "1041"};
  RegistrationSettings& s = Load(options);
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
  Prepare({.expand_tabs = true});
  Node("//CASE[@ID='Registration']").attribute("ID") = "Other";
  RegistrationSettings& s = Read();
  EXPECT_FALSE(s.ExpandTabs);
  EXPECT_FALSE(s.SosiAllowed);
  EXPECT_EQ(s.RegisteredLocale, 1033u);
}

TEST_F(SettingsTest, TypeWithoutEntryRaises507AndSkipsEncodingPage) {
  Prepare({.legacy = "EBCDIC"});
  ExpectError([&] { Read("JCL"); }, error_number::kNoRegistrationEntry,
              resources::LoadMessage(resources::kMsgIncorrectRegistrationPage));
  EXPECT_FALSE(ThreadRegistrationSettings().IsEbcdic);
  EXPECT_EQ(ThreadRegistrationSettings().RegisteredLocale, 0u);
  EXPECT_EQ(ErrorOf("CO'BOL"), error_number::kNoRegistrationEntry);
}

TEST_F(SettingsTest, OnlyLowerCaseTrueIsTrue) {
  Prepare({});
  for (const char* value : {"True", "TRUE", "1", "yes"}) {
    Node("//BOOL[@ID='ExpandTabs']").attribute("VALUE") = value;
    EXPECT_FALSE(Read().ExpandTabs) << value;
  }
}

TEST_F(SettingsTest, PageOptionsAreFoundAnywhereTypeOptionsOnlyInTheEntry) {
  Prepare({});
  pugi::xml_node tabs = Node("//BOOL[@ID='ExpandTabs']");
  pugi::xml_node numeration = Node("//BOOL[@NAME='Numeration']");
  pugi::xml_node elsewhere = workspace_.child("OPTIONS").append_child("X");
  elsewhere.append_copy(tabs).attribute("VALUE") = "true";
  elsewhere.append_copy(numeration).attribute("VALUE") = "true";
  tabs.parent().remove_child(tabs);
  numeration.parent().remove_child(numeration);
  RegistrationSettings& s = Read();
  EXPECT_TRUE(s.ExpandTabs);
  EXPECT_FALSE(s.Numeration);
}

struct EncodingCase {
  std::string legacy, sosi;
  bool is_ebcdic, convert_sosi, sosi_removed;
};

TEST_F(SettingsTest, LegacyEncodingAndShiftChoices) {
  const EncodingCase cases[] = {
      {"EBCDIC", "Removed", true, false, true},
      {"ebcdic", "Removed", false, true, true},
      {"ASCII", "Retained", false, false, false},
      {"ASCII", "Replaced", false, true, false},
  };
  for (const auto& c : cases) {
    OptionsSpec options{.legacy = c.legacy, .sosi = c.sosi, .encoding_table = "t.tbl"};
    RegistrationSettings& s = Load(options);
    EXPECT_EQ(s.IsEbcdic, c.is_ebcdic) << c.legacy << "/" << c.sosi;
    EXPECT_EQ(s.ConvertSosi, c.convert_sosi) << c.legacy << "/" << c.sosi;
    EXPECT_EQ(s.SosiRemoved, c.sosi_removed) << c.legacy << "/" << c.sosi;
  }
  Prepare({});
  pugi::xml_node sosi = Node("//LIST[@NAME='SOSI']");
  sosi.parent().remove_child(sosi);
  EXPECT_TRUE(Read().ConvertSosi);
  EXPECT_FALSE(Read().SosiRemoved);
}

TEST_F(SettingsTest, GlobalListReplacesTheWorkspaceList) {
  std::string global =
      "<OPTIONS><LIST ID='ObjectComputerEncoding'><CASE NAME='Selected'>"
      "<TEXT NAME='SourceLocale' VALUE='1041'/><TEXT NAME='RegisteredLocale' VALUE='1041'/>"
      "</CASE></LIST></OPTIONS>";
  global_.load_string(global.c_str());
  EXPECT_EQ(Load({}).RegisteredLocale, 1041u);
}

TEST_F(SettingsTest, DefaultLocaleIdsResolveFromTheEnvironment) {
  environment_.Set("LANG", "ja_JP.UTF-8");
  RegistrationSettings& s = Load({.source_locale = "1024", .registered_locale = "2048"});
  EXPECT_EQ(s.SourceLocale, 1041u);
  EXPECT_EQ(s.RegisteredLocale, 1041u);
  EXPECT_TRUE(s.IsDbcs);
}

TEST_F(SettingsTest, EncodingTableSkipsTheSourceLocale) {
  OptionsSpec options{.encoding_table = "ibm-930.tbl", .source_locale = "junk", .dbcs = true};
  RegistrationSettings& s = Load(options);
  EXPECT_EQ(s.SourceLocale, 0u);
  EXPECT_TRUE(s.IsDbcs);
  EXPECT_EQ(s.EncodingTable, "ibm-930.tbl");
}

TEST_F(SettingsTest, BadDocumentsRaiseTheirErrors) {
  // Locale values that are not numbers, or not supported; the error names the value.
  const std::pair<OptionsSpec, int> locales[] = {
      {{.source_locale = "99999"}, error_number::kUnsupportedLocale},
      {{.registered_locale = "250000"}, error_number::kUnsupportedLocale},
      {{.source_locale = ""}, error_number::kTypeMismatch},
      {{.registered_locale = "10x"}, error_number::kTypeMismatch}};
  for (const auto& [options, number] : locales) {
    Prepare(options);
    ExpectError(
        [&] { Read(); }, number,
        options.source_locale != "1033" ? options.source_locale : options.registered_locale);
  }
  // Attributes of the document changed: a value removed (nullptr), a list renamed, a case unknown.
  struct Edit {
    const char* xpath;
    const char* attribute;
    const char* value;
    int number;
  };
  const char* kEncodingList = "//LIST[@NAME='ObjectComputerEncoding']";
  const Edit edits[] = {
      {"//BOOL[@ID='ExpandTabs']", "VALUE", nullptr, error_number::kInvalidUseOfNull},
      {kEncodingList, "NAME", "Other", error_number::kObjectNotSet},
      {kEncodingList, "VALUE", "Nope", error_number::kTypeMismatch}};
  for (const Edit& edit : edits) {
    Prepare({});
    pugi::xml_node node = Node(edit.xpath);
    edit.value ? void(node.attribute(edit.attribute) = edit.value)
               : void(node.remove_attribute(edit.attribute));
    EXPECT_EQ(ErrorOf(), edit.number) << edit.xpath;
  }
  EXPECT_THROW(LoadRegistrationSettings(nullptr, &global_, "COBOL"), Error);
}

// Lead bytes only with a double-byte registered code page, and within its ranges.
TEST(IsLeadByte, FollowsTheRegisteredCodePageRanges) {
  RegistrationSettings s;
  s.RegisteredCodePage.LeadByte = {0x81, 0x9F, 0xE0, 0xFC};
  EXPECT_FALSE(s.IsLeadByte(0x81));
  s.IsDbcs = true;
  for (int b : {0x80, 0x81, 0x9F, 0xA0, 0xE0, 0xFC, 0xFD, 0x00}) {
    EXPECT_EQ(s.IsLeadByte(static_cast<unsigned char>(b)), b >= 0x81 && b != 0xA0 && b < 0xFD) << b;
  }
}

}  // namespace
}  // namespace svregistration::registration

// The settings reader over options documents: pages found or missing, option values, locales and
// the errors of a bad document.
#include "registration/registration_settings.h"

#include <gtest/gtest.h>

#include <tuple>

#include "resources/message_catalogue.h"
#include "support/error_capture.h"
#include "support/fake_workspace.h"
#include "support/scoped_environment.h"
#include "svregistration/error.h"

namespace svregistration::registration {
namespace {

using namespace testing;

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
  RegistrationSettings Read(const std::string& type = "COBOL") {
    return LoadRegistrationSettings(&workspace_, &global_, type);
  }
  RegistrationSettings Load(const OptionsSpec& options) {
    Prepare(options);
    return Read();
  }

  testing::ScopedEnvironment environment_{"LC_ALL", "LC_CTYPE", "LANG", "LC_MESSAGES"};
  pugi::xml_document workspace_, global_;
};

TEST_F(SettingsTest, ReadsEveryOptionOfTheType) {
  RegistrationSettings s = Load({.expand_tabs = true,
                                 .remove_numeration = true,
                                 .numeration = true,
                                 .remove_lead_numeration = true,
                                 .sosi = "Removed",
                                 .source_locale = "1041",
                                 .registered_locale = "1041"});
  EXPECT_EQ(std::tuple(s.ExpandTabs, s.RemoveNumeration, s.Numeration, s.RemoveLeadNumeration,
                       s.ConvertSosi, s.SosiRemoved, s.IsDbcs, s.SosiAllowed, s.SourceLocale,
                       s.RegisteredLocale),
            std::tuple(true, true, true, true, true, true, true, true, 1041u, 1041u));
  // Lead bytes are those of the registered code page (932).
  EXPECT_TRUE(s.IsLeadByte(0x81) && s.IsLeadByte(0xFC) && !s.IsLeadByte(0xA0));
}

// A document without the Registration page gives the defaults and reads the Encoding page; a type
// without an entry on the page raises 507.
TEST_F(SettingsTest, MissingRegistrationPageKeepsDefaultsAndATypeWithoutEntryRaises507) {
  Prepare({.expand_tabs = true});
  Node("//CASE[@ID='Registration']").attribute("ID") = "Other";
  RegistrationSettings s = Read();
  EXPECT_EQ(std::tuple(s.ExpandTabs, s.SosiAllowed, s.RegisteredLocale),
            std::tuple(false, false, 1033u));

  Prepare({.legacy = "EBCDIC"});
  ExpectError([&] { Read("JCL"); }, error_number::kNoRegistrationEntry,
              resources::LoadMessage(resources::kMsgIncorrectRegistrationPage));
  EXPECT_EQ(ErrorNumber([&] { Read("CO'BOL"); }), error_number::kNoRegistrationEntry);
}

// Only "true" is true; options of the page are found anywhere in it, those of the type only in
// the type's entry.
TEST_F(SettingsTest, WhereAndHowOptionsAreRead) {
  Prepare({});
  pugi::xml_node tabs = Node("//BOOL[@ID='ExpandTabs']");
  for (const char* value : {"True", "TRUE", "1", "yes"}) {
    tabs.attribute("VALUE") = value;
    EXPECT_FALSE(Read().ExpandTabs) << value;
  }
  pugi::xml_node numeration = Node("//BOOL[@NAME='Numeration']");
  pugi::xml_node elsewhere = workspace_.child("OPTIONS").append_child("X");
  elsewhere.append_copy(tabs).attribute("VALUE") = "true";
  elsewhere.append_copy(numeration).attribute("VALUE") = "true";
  tabs.parent().remove_child(tabs);
  numeration.parent().remove_child(numeration);
  EXPECT_TRUE(Read().ExpandTabs);
  EXPECT_FALSE(Read().Numeration);
}

TEST_F(SettingsTest, LegacyEncodingAndShiftChoices) {
  const std::tuple<std::string, std::string, bool, bool, bool> cases[] = {
      // legacy, SOSI: EBCDIC, convert, removed
      {"EBCDIC", "Removed", true, false, true},
      {"ebcdic", "Removed", false, true, true},
      {"ASCII", "Retained", false, false, false},
      {"ASCII", "Replaced", false, true, false},
  };
  for (const auto& [legacy, sosi, ebcdic, convert, removed] : cases) {
    RegistrationSettings s = Load({.legacy = legacy, .sosi = sosi, .encoding_table = "t.tbl"});
    EXPECT_EQ(std::tuple(s.IsEbcdic, s.ConvertSosi, s.SosiRemoved),
              std::tuple(ebcdic, convert, removed))
        << legacy << "/" << sosi;
  }
  Prepare({});
  pugi::xml_node sosi = Node("//LIST[@NAME='SOSI']");
  sosi.parent().remove_child(sosi);
  EXPECT_EQ(std::tuple(Read().ConvertSosi, Read().SosiRemoved), std::tuple(true, false));
}

// The locales: the global list replaces the workspace's, the default ids resolve from the
// environment, and an encoding table leaves the source locale unread.
TEST_F(SettingsTest, LocalesAndTheirSources) {
  global_.load_string(
      "<OPTIONS><LIST ID='ObjectComputerEncoding'><CASE NAME='Selected'>"
      "<TEXT NAME='SourceLocale' VALUE='1041'/><TEXT NAME='RegisteredLocale' VALUE='1041'/>"
      "</CASE></LIST></OPTIONS>");
  EXPECT_EQ(Load({}).RegisteredLocale, 1041u);
  global_.reset();

  environment_.Set("LANG", "ja_JP.UTF-8");
  RegistrationSettings s = Load({.source_locale = "1024", .registered_locale = "2048"});
  EXPECT_EQ(std::tuple(s.SourceLocale, s.RegisteredLocale, s.IsDbcs),
            std::tuple(1041u, 1041u, true));

  RegistrationSettings t =
      Load({.encoding_table = "ibm-930.tbl", .source_locale = "junk", .dbcs = true});
  EXPECT_EQ(std::tuple(t.SourceLocale, t.IsDbcs, t.EncodingTable),
            std::tuple(0u, true, std::string("ibm-930.tbl")));
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
  const char* kEncodingList = "//LIST[@NAME='ObjectComputerEncoding']";
  const std::tuple<const char*, const char*, const char*, int> edits[] = {
      {"//BOOL[@ID='ExpandTabs']", "VALUE", nullptr, error_number::kInvalidUseOfNull},
      {kEncodingList, "NAME", "Other", error_number::kObjectNotSet},
      {kEncodingList, "VALUE", "Nope", error_number::kTypeMismatch}};
  for (const auto& [xpath, attribute, value, number] : edits) {
    Prepare({});
    pugi::xml_node node = Node(xpath);
    value ? void(node.attribute(attribute) = value) : void(node.remove_attribute(attribute));
    EXPECT_EQ(ErrorNumber([&] { Read(); }), number) << xpath;
  }
  EXPECT_THROW(LoadRegistrationSettings(nullptr, &global_, "COBOL"), Error);
}

}  // namespace
}  // namespace svregistration::registration

// The host's options: which XPaths select one option, which values each kind of option takes, and
// the revision of the documents, which stays while they are only read and moves at every ask
// once a document was handed over to be changed or others loaded.
#include "svregistration/workspace/option_values.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/error_capture.h"
#include "support/temp_dir.h"
#include "svregistration/error.h"
#include "svregistration/workspace/workspace_host.h"

namespace svregistration::workspace::testing {
namespace {

using svregistration::testing::CaptureError;

constexpr const char* kWorkspaceXml = R"(<OPTIONS>
  <PAGE ID="Registration">
    <BOOL ID="ExpandTabs" VALUE="false"/>
    <BOOL ID="BlankSequence" VALUE="false"/>
    <LIST ID="Mode" VALUE="A"><CASE NAME="A"/><CASE NAME="B"/></LIST>
    <LIST NAME="ObjectComputerEncoding" VALUE="English"><CASE NAME="English"/></LIST>
    <LIST ID="Open" VALUE="x"/>
    <STRING ID="Directory">text</STRING>
  </PAGE>
</OPTIONS>)";

constexpr const char* kGlobalXml = R"(<OPTIONS>
  <LIST ID="ObjectComputerEncoding"><CASE NAME="English"/><CASE NAME="Japanese"/></LIST>
</OPTIONS>)";

class OptionValuesTest : public ::testing::Test {
 protected:
  std::shared_ptr<OptionsDocument> options_ = OptionsDocument::FromText("ws.xml", kWorkspaceXml);
  std::shared_ptr<OptionsDocument> global_ = OptionsDocument::FromText("global.xml", kGlobalXml);
};

TEST_F(OptionValuesTest, AnXPathMustSelectOneOption) {
  const std::tuple<const char*, int, const char*> cases[] = {
      // XPath, error, its text
      {"//BOOL[", 5, "the XPath \"//BOOL[\" is not valid: "},
      {"//NONE", 76, "the XPath \"//NONE\" selects no element of 'ws.xml'"},
      {"//BOOL", 5,
       "the XPath \"//BOOL\" selects 2 elements of 'ws.xml' (the first is <BOOL "
       "ID=\"ExpandTabs\">): make it select one"},
      // Several attributes are named by the element of the first.
      {"//@ID", 5, "elements of 'ws.xml' (the first is <PAGE ID=\"Registration\">)"},
      {"//BOOL[@ID='ExpandTabs']/@VALUE", 5, "selects no element but an attribute"},
      {"//STRING/text()", 5, "selects no element but text: select the element"},
      {"//PAGE", 5,
       "selects <PAGE ID=\"Registration\">, which holds other options: select one of them"},
  };
  for (const auto& [xpath, number, text] : cases) {
    SCOPED_TRACE(xpath);
    const Error error = CaptureError([&] { SelectOption(*options_, xpath); });
    EXPECT_EQ(error.number(), number);
    EXPECT_EQ(error.source(), "Workspace");
    EXPECT_NE(error.description().find(text), std::string::npos) << error.description();
  }
}

TEST_F(OptionValuesTest, AValueIsSetOnlyWhenTheOptionTakesIt) {
  // The XPath, the value, and the end of the error's text (empty when the value is set).
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"//BOOL[@ID='ExpandTabs']", "true", ""},
      {"//BOOL[@ID='ExpandTabs']", "yes",
       "<BOOL ID=\"ExpandTabs\"> takes true or false, not 'yes'"},
      {"//LIST[@ID='Mode']", "B", ""},
      {"//LIST[@ID='Mode']", "b", "<LIST ID=\"Mode\"> takes one of A, B, not 'b'"},
      // The computer encodings offered are the global document's.
      {"//LIST[@NAME='ObjectComputerEncoding']", "Japanese", ""},
      {"//LIST[@NAME='ObjectComputerEncoding']", "Klingon",
       "takes one of English, Japanese, not 'Klingon'"},
      {"//LIST[@ID='Open']", "anything", ""},  // a list without choices takes any value
      {"//STRING", "/src", ""},                // an element without a VALUE gains one
  };
  for (const auto& [xpath, value, refused] : cases) {
    SCOPED_TRACE(std::string(xpath) + " = " + value);
    auto options = OptionsDocument::FromText("ws.xml", kWorkspaceXml);
    pugi::xml_node option = SelectOption(*options, xpath);
    const std::string before = option.attribute("VALUE").value();
    const Error error = CaptureError([&] { SetOptionValue(option, value, *global_); });
    EXPECT_EQ(error.number(), *refused ? 5 : 0) << error.description();
    EXPECT_NE(error.description().find(refused), std::string::npos) << error.description();
    EXPECT_EQ(option.attribute("VALUE").value(), *refused ? before : std::string(value));
  }
  // Without a list in the global document the workspace's own list is the choice.
  auto bare = OptionsDocument::FromText("global.xml", "<OPTIONS/>");
  EXPECT_EQ(OptionChoices(SelectOption(*options_, "//LIST[@NAME='ObjectComputerEncoding']"), *bare),
            std::vector<std::string>{"English"});
}

TEST(OptionsRevisionTest, MovesOnlyOnceADocumentMayHaveChanged) {
  svregistration::testing::TempDir dir;
  auto workspace = WorkspaceHost::Create(dir / "ws");
  const std::uint64_t first = workspace->OptionsRevision();
  EXPECT_NE(first, 0u);
  // What the library and the host read goes through View.
  workspace->WorkspaceOptions()->View();
  workspace->GlobalOptions()->View();
  workspace->ProtectedPaths();
  workspace->SourcesDirectoryOf("COBOL");
  EXPECT_EQ(workspace->OptionsRevision(), first);

  // Whoever took a document to change it may change it at any time: every ask is another.
  pugi::xml_document* global = workspace->GlobalOptions()->Document();
  const std::uint64_t second = workspace->OptionsRevision();
  EXPECT_NE(second, first);
  global->first_child().append_child("CASE");
  EXPECT_NE(workspace->OptionsRevision(), second);

  // A workspace opened again counts from its own start, still never 0.
  EXPECT_NE(WorkspaceHost::Open(dir / "ws")->OptionsRevision(), 0u);
}

}  // namespace
}  // namespace svregistration::workspace::testing

// Register and RegisterEx on a fake workspace: every result value on its path, the log record of
// an unexpected error, and the instance's binding afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "registration/sv_standard_state.h"
#include "runtime/host_utilities.h"
#include "support/fake_repository.h"
#include "support/fake_workspace.h"
#include "support/temp_dir.h"
#include "svregistration/class_registry.h"
#include "svregistration/error.h"
#include "svregistration/host/utilities.h"
#include "svregistration/registration_steps.h"

namespace svregistration {
namespace {

namespace fs = std::filesystem;
using namespace testing;

class RegisterTest : public FakeHostTest {
 protected:
  RegisterTest() : FakeHostTest(WorkspaceOptionsXml({.expand_tabs = true})) {}

  // A plain copy: the fault injection tests register with the encoding too.
  SVRegistrationResults Register(const std::string& type, std::string name,
                                 const std::string& file) {
    return service_.RegisterEx(workspace_, type, name, file, false);
  }
};

// A file where the type's Sources folder belongs is replaced by the folder.
TEST_F(RegisterTest, NewObjectIsCopiedRecordedAndAccepted) {
  dir_.Write("ws/Sources/COBOL", "a file");
  std::string source = dir_.Write("in/PAY.cbl", "\tX\n");
  EXPECT_EQ(Register("COBOL", "PAY", source), rOK);
  ASSERT_EQ(repository_->objects.size(), 1u);
  auto object = repository_->objects[0];
  EXPECT_EQ(service_.RegisteredObjectId(), object->Id());
  EXPECT_EQ(std::tie(object->attributes["Source"], object->attributes["OriginalSource"]),
            std::tuple("Sources/COBOL/PAY.cbl", source));
  EXPECT_EQ(ReadFile(root_ + "/Sources/COBOL/PAY.cbl"), "\tX\n");  // plain copy
  EXPECT_FALSE(repository_->Called("InvalidateObject"));
  // The binding is released; the root directory stays.
  const auto& state = registration::StateOf(service_);
  EXPECT_EQ(std::tuple(state.Workspace, state.Repository, state.WorkspaceDirectory),
            std::tuple(nullptr, nullptr, root_));
}

// The refusals, in their order of precedence.
TEST_F(RegisterTest, RefusalsBeforeAnythingIsWritten) {
  EXPECT_EQ(Register("COBOL", "GONE", dir_ / "in/GONE.cbl"), rSourceFileIsMissed);
  EXPECT_TRUE(std::filesystem::is_directory(root_ + "/Sources/COBOL"));  // created by then

  std::string long_dir = dir_ / std::string(254 - (dir_ / "").size() - 6, 'd');
  std::string at_limit = dir_.Write(long_dir.substr((dir_ / "").size()) + "/A.cbl", "x");
  ASSERT_EQ(at_limit.size(), 254u);
  EXPECT_EQ(Register("COBOL", "A", at_limit), rOK);
  std::string over = dir_.Write(long_dir.substr((dir_ / "").size()) + "/AB.cbl", "x");
  EXPECT_EQ(Register("COBOL", "AB", over), rErrorOnSetOriginalSourceAttr);
  ConfigureDirectory(std::string(240, 'D'));
  EXPECT_EQ(Register("COBOL", "P", dir_.Write("in/PAYROL001.cbl", "x")), rOK);  // 254 characters
  EXPECT_EQ(Register("COBOL", "P", dir_.Write("in/PAYROL0001.cbl", "x")), rErrorOnSetSourceAttr);
  workspace_->global_options = std::make_shared<FakeOptions>("<OPTIONS/>");
  // The limits count UTF-16 code units: 130 characters beyond U+FFFF count 260.
  auto emojis = [](int count) {
    std::string run;
    for (int i = 0; i < count; ++i) run += "\U0001F600";  // 4 bytes, 2 code units
    return run;
  };
  std::string wide = "w/" + emojis(40) + "/" + emojis(40) + "/" + emojis(40) + "/" + emojis(10);
  ASSERT_LE((dir_ / wide).size() - 130 * 3, 254u);  // characters
  EXPECT_EQ(Register("COBOL", "W", dir_.Write(wide + ".cbl", "x")), rErrorOnSetOriginalSourceAttr);

  EXPECT_TRUE(workspace_->log->records.empty());
}

// In the configured sources folder of a type a "\" separates folders; in a real file's name it
// belongs to the name: back\slash.cbl and slash.cbl are two copies.
TEST_F(RegisterTest, ConfiguredSourcesDirectoryAndBackslashesInNames) {
  ConfigureDirectory("Src\\Cobol");
  EXPECT_EQ(Register("COBOL", "BACK", dir_.Write("in/back\\slash.cbl", "b")), rOK);
  EXPECT_EQ(Register("COBOL", "SLASH", dir_.Write("in/slash.cbl", "s")), rOK);
  EXPECT_EQ(ReadFile(root_ + "/Src/Cobol/back\\slash.cbl"), "b");
  EXPECT_EQ(ReadFile(root_ + "/Src/Cobol/slash.cbl"), "s");
  // The instance keeps the folder it read only while the document says the same.
  pugi::xml_document* global = workspace_->global_options->Document();
  global->select_node("//TEXT[@NAME='Directory']").node().attribute("VALUE") = "Other";
  EXPECT_EQ(Register("COBOL", "TAX", dir_.Write("in/TAX.cbl", "x")), rOK);
  EXPECT_TRUE(std::filesystem::exists(root_ + "/Other/TAX.cbl"));
}

// An object of the name that has a copy gives 16, after the copy; one of the name without its
// extension and without a copy is taken over, invalidated and renamed.
TEST_F(RegisterTest, ExistingObjects) {
  repository_->Add("COBOL", "PAY")->attributes["Source"] = "Sources/COBOL/OLD.cbl";
  EXPECT_EQ(Register("COBOL", "PAY", dir_.Write("in/PAY.cbl", "x")), rObjectAllreadyExists);
  EXPECT_TRUE(std::filesystem::exists(root_ + "/Sources/COBOL/PAY.cbl"));

  repository_->calls.clear();
  auto known = repository_->Add("COBOL", "PROG1");
  known->generated = {".out/PROG1.lst"};
  dir_.Write("ws/out/PROG1.lst", "listing");
  EXPECT_EQ(Register("COBOL", "PROG1.CBL", dir_.Write("in/PROG1.CBL", "x")), rOK);
  EXPECT_EQ(std::tuple(repository_->objects.size(), known->attributes["Name"],
                       repository_->Called("InvalidateObject"),
                       std::filesystem::exists(root_ + "/out/PROG1.lst")),
            std::tuple(2u, "PROG1.CBL", true, false));

  repository_->Add("COBOL", "PROG2")->attributes["Source"] = "x";
  EXPECT_EQ(Register("COBOL", "PROG2.CBL", dir_.Write("in/PROG2.CBL", "x")), rOK);
  EXPECT_EQ(repository_->objects.size(), 4u);  // a new object with the full name
}

TEST_F(RegisterTest, RefusingOrMissingHandlerUnregistersTheNewObject) {
  for (const char* type : {"REFUSED", "NOHANDLER"}) {
    repository_->calls.clear();
    EXPECT_EQ(Register(type, "PAY", dir_.Write(std::string("in/") + type + "/PAY.cbl", "x")),
              rNoRefreshNeeded)
        << type;
    EXPECT_TRUE(repository_->Called("UnregisterObject")) << type;
    EXPECT_TRUE(repository_->objects.empty()) << type;
    EXPECT_EQ(service_.RegisteredObjectId(), "");
  }
}

// Copy failures are the fault injection tests'. A failed creation deletes the copy made for it and
// is logged; the unguarded steps end Register with the error, RegisterEx with a result.
TEST_F(RegisterTest, FailedCreationDeletesTheCopyAndUnguardedFailuresEndRegisterButNotRegisterEx) {
  std::string source = dir_.Write("in/PAY.cbl", "x");
  repository_->failing = {"NewObject"};
  EXPECT_EQ(Register("COBOL", "PAY", source), rUnexpectedRegistrationError);
  EXPECT_EQ(workspace_->log->records.size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(root_ + "/Sources/COBOL/PAY.cbl"));
  EXPECT_TRUE(std::filesystem::exists(source));

  workspace_->log->records.clear();
  std::string name = "PAY";
  EXPECT_THROW(service_.Register(workspace_, "UNKNOWN", name, source), Error);
  EXPECT_EQ(Register("UNKNOWN", "PAY", source), rUnexpectedRegistrationError);
  repository_->failing = {"SetAttribute"};
  EXPECT_THROW(service_.Register(workspace_, "COBOL", name, source), Error);
  EXPECT_NE(registration::StateOf(service_).Workspace, nullptr);  // an error skips the release
  EXPECT_TRUE(workspace_->log->records.empty());
  // A failing look-up is only "not found".
  repository_->failing = {"FindObject"};
  EXPECT_EQ(Register("COBOL", "NEW", dir_.Write("in/NEW.cbl", "x")), rOK);
}

// The steps of RegisterEx apart: copies made on threads of their own, all at once, are recorded in
// the order planned with what RegisterEx would answer, and a copy made and never recorded goes.
TEST_F(RegisterTest, CopiesMadeOnOtherThreadsAreRecordedInOrder) {
  RegistrationSteps steps(service_, workspace_, true);  // normalised: tabs expanded
  fs::create_directories(root_ + "/Sources/COBOL");     // else the first file makes it
  std::vector<std::string> sources;
  for (int i = 0; i < 6; ++i) {
    sources.push_back(dir_.Write("in/P" + std::to_string(i) + ".cbl", "\tP" + std::to_string(i)));
  }
  sources[2] = dir_ / "in/GONE.cbl";
  sources[4] = sources[3];  // the same name twice: the second finds the first's copy there
  std::vector<RegistrationCopy> copies;
  for (const std::string& source : sources) {
    copies.push_back(steps.Plan("COBOL", source));
    EXPECT_TRUE(copies.back().makes_anywhere());
  }
  std::vector<std::thread> threads;
  for (RegistrationCopy& copy : copies) threads.emplace_back([&copy] { copy.Make(); });
  for (std::thread& thread : threads) thread.join();
  std::vector<int> results;
  for (RegistrationCopy& copy : copies) {
    std::string name = fs::path(copy.relative_path()).stem().string();
    results.push_back(steps.Record(copy, name));
  }
  // Which of the two copies of P3 was made first is the threads' choice; one is refused.
  if (results[4] == rOK) std::swap(results[3], results[4]);
  EXPECT_EQ(results,
            (std::vector<int>{rOK, rOK, rSourceFileIsMissed, rOK, rFileAllreadyExists, rOK}));
  std::vector<std::string> recorded;
  for (const auto& object : repository_->objects) {
    recorded.push_back(object->attributes["OriginalSource"]);
  }
  EXPECT_EQ(recorded, (std::vector{sources[0], sources[1], sources[3], sources[5]}));
  EXPECT_EQ(ReadFile(root_ + "/Sources/COBOL/P5.cbl"), "        P5");

  // Dropped by being replaced, or by going out of scope.
  auto made = [&](const char* name) { return fs::exists(root_ + "/Sources/COBOL/" + name); };
  {
    RegistrationCopy late = steps.Plan("COBOL", dir_.Write("in/LATE.cbl", "x"));
    late.Make();
    EXPECT_TRUE(made("LATE.cbl"));
    late = steps.Plan("COBOL", dir_.Write("in/LATER.cbl", "x"));
    EXPECT_FALSE(made("LATE.cbl"));
    late.Make();
    EXPECT_TRUE(made("LATER.cbl"));
  }
  EXPECT_FALSE(made("LATER.cbl"));
}

// A host's own file utility: a plain copy is made by it, on the thread that plans it, and its
// refusal is the registration's failure, logged, with no object left.
struct HostFileUtility : host::FileUtility {
  static inline std::vector<std::string> copies;
  static inline bool refuse = false;
  host::SplitPathResult SplitPath(const std::string& path) override {
    const fs::path p(path);
    return {p.parent_path().string() + "/", p.stem().string(), p.extension().string()};
  }
  bool CopyFileTo(const std::string& from, const std::string& to) override {
    copies.push_back(fs::path(to).filename().string());
    std::error_code ec;
    return !refuse && fs::copy_file(from, to, ec);
  }
  bool MakeFolder(const std::string& path) override { return fs::create_directories(path); }
  bool RemoveFile(const std::string& path) override { return fs::remove(path); }
  bool RemoveFolder(const std::string& path) override { return fs::remove(path); }
  std::vector<std::string> ReadListFile(const std::string&) override { return {}; }
};

TEST_F(RegisterTest, AHostsOwnFileUtilityMakesThePlainCopies) {
  ClassRegistry::Instance().Register<host::FileUtility>(
      host::kFileUtilityClass, [] { return std::make_shared<HostFileUtility>(); });
  runtime::ResetThreadUtilities();
  const std::string pay = dir_.Write("in/PAY.cbl", "\tX\n");
  EXPECT_FALSE(RegistrationSteps(service_, workspace_, false).Plan("COBOL", pay).makes_anywhere());
  EXPECT_EQ(Register("COBOL", "PAY", pay), rOK);
  EXPECT_EQ(ReadFile(root_ + "/Sources/COBOL/PAY.cbl"), "\tX\n");
  HostFileUtility::refuse = true;
  EXPECT_EQ(Register("COBOL", "TAX", dir_.Write("in/TAX.cbl", "Y\n")),
            rUnexpectedRegistrationError);
  EXPECT_EQ(HostFileUtility::copies, (std::vector<std::string>{"PAY.cbl", "TAX.cbl"}));
  EXPECT_EQ(repository_->objects.size(), 1u);
  EXPECT_EQ(workspace_->log->records.size(), 1u);
  ClassRegistry::Instance().Unregister(host::kFileUtilityClass);
  runtime::ResetThreadUtilities();
}

}  // namespace
}  // namespace svregistration

// RAR.Extract over RAR 4 archives of stored members made by the tests: stored folders, the
// password prompt, failures, and the volumes a set is read from. (Prefix selection is the name
// matching tests' and, through RAR.Extract, the svreg rar command's and the fixtures'.)
#include "svregistration/rar.h"

#include <gtest/gtest.h>

#include "archive/rar/rar_volumes.h"
#include "archive_test_support.h"

namespace svregistration::testing {
namespace {

namespace fs = std::filesystem;

class RarExtractTest : public ArchiveTest {
 protected:
  std::string Rar(const std::vector<Member>& members, int damaged = -1) {
    return dir.Write("test.rar", Rar4Archive(members, damaged));
  }
};

TEST_F(RarExtractTest, KeepsStoredFoldersAndOverwritesFiles) {
  dir.Write("out/dir/f.txt", "an older and longer text");
  EXPECT_TRUE(RarObject().Extract(Rar({Folder("dir"), File("dir\\f.txt", "new"), Folder("empty")}),
                                  out, ""));
  EXPECT_EQ(Listing(out), (Files{{"dir", "<dir>"}, {"dir/f.txt", "new"}, {"empty", "<dir>"}}));
}

// The test archives flag members encrypted without a salt (a cipher older than AES), which is
// never decrypted: such members stay unextracted whatever the answer.
TEST_F(RarExtractTest, AsksOnceForTheFirstEncryptedMemberToExtract) {
  std::vector<Member> members = {File("a.txt", "A"), File("b.txt", "B"), File("c.txt", "C"),
                                 File("d.txt", "D")};
  members[1].encrypted = members[3].encrypted = true;
  // The name, the answers, how many questions, the result, what is extracted.
  const std::tuple<const char*, std::vector<std::string>, std::size_t, bool, Files> cases[] = {
      {"", {"secret"}, 1, true, {{"a.txt", "A"}, {"c.txt", "C"}}},
      {"", {""}, 1, false, {{"a.txt", "A"}}},  // the walk stops at the refusal
      {"c", {}, 0, true, {{"c.txt", "C"}}},    // skipped members are never a reason to ask
  };
  for (const auto& [what, answers, questions, result, files] : cases) {
    SCOPED_TRACE(what);
    fs::remove_all(out);
    auto ui = InstallScript(answers);
    EXPECT_EQ(RarObject().Extract(Rar(members), out, what), result);
    ASSERT_EQ(ui->questions.size(), questions);
    for (const auto& question : ui->questions) {
      EXPECT_EQ(question.second, "Please Enter The Password!");
    }
    EXPECT_EQ(Listing(out), files);
  }
  // Through a prompt, the one question names the archive and the member that needs it.
  fs::remove_all(out);
  ScriptedPrompt prompt({"secret"});
  const std::string archive = Rar(members);
  const ExtractionReport report = RarObject().Extract(archive, out, "", prompt);
  EXPECT_EQ(prompt.requests, (std::vector<ScriptedPrompt::Request>{{archive, "b.txt", false}}));
  EXPECT_EQ(report.extracted, 2u);
  EXPECT_EQ(NotExtracted(report), (std::vector<std::string>{"b.txt", "d.txt"}));
}

TEST_F(RarExtractTest, FailuresAndDamage) {
  auto ui = InstallScript({"secret"});
  // Archives that cannot be opened give false without asking.
  EXPECT_FALSE(RarObject().Extract(dir / "missing.rar", out, ""));
  EXPECT_FALSE(RarObject().Extract(dir.Write("junk.rar", "Rar! but nothing else"), out, ""));
  EXPECT_TRUE(ui->questions.empty());
  EXPECT_FALSE(fs::exists(out));
  // A damaged header ends the walk like the end, and the report says so.
  ScriptedPrompt prompt;
  const ExtractionReport report = RarObject().Extract(
      Rar({File("a.txt", "A"), File("b.txt", "B"), File("c", "C")}, 1), out, "", prompt);
  EXPECT_TRUE(report.result);
  EXPECT_NE(report.unread_headers.find("cannot be read"), std::string::npos);
  EXPECT_EQ(Listing(out), (Files{{"a.txt", "A"}}));
}

// A set given by its first volume: the others are found by name, in order, and a member that
// spans them extracts whole. A later volume alone says where its members begin; a set whose
// last volume is missing names the member it cuts.
TEST_F(RarExtractTest, AMemberSpanningVolumesExtractsWhole) {
  std::string big;
  for (int i = 0; big.size() < 10000; ++i) big += "line " + std::to_string(i) + "\n";
  const std::vector<std::string> volumes =
      Rar4VolumeSet({File("a.txt", "A"), File("big.txt", big), File("b.txt", "B")}, 4000);
  ASSERT_EQ(volumes.size(), 3u);
  const char* names[] = {"set.rar", "set.r00", "set.r01"};
  for (std::size_t i = 0; i < volumes.size(); ++i) dir.Write(names[i], volumes[i]);
  ScriptedPrompt prompt;
  ExtractionReport report = RarObject().Extract(dir / "set.rar", out, "", prompt);
  EXPECT_EQ(report.extracted, 3u);
  EXPECT_EQ(report.unread_headers, "");
  EXPECT_EQ(Listing(out), (Files{{"a.txt", "A"}, {"big.txt", big}, {"b.txt", "B"}}));

  fs::remove_all(out);
  report = RarObject().Extract(dir / "set.r00", out, "", prompt);
  EXPECT_NE(report.unread_headers.find("volume"), std::string::npos) << report.unread_headers;
  EXPECT_EQ(Listing(out), (Files{}));

  fs::remove(dir / "set.r01");
  report = RarObject().Extract(dir / "set.rar", out, "", prompt);
  EXPECT_EQ(NotExtracted(report), (std::vector<std::string>{"big.txt"}));
  EXPECT_NE(report.not_extracted[0].reason.find("volume"), std::string::npos);
  EXPECT_NE(report.unread_headers.find("volumes that were not found"), std::string::npos);
}

TEST_F(RarExtractTest, VolumesFollowTheFirstPartByName) {
  for (const char* name : {"set.part01.rar", "set.part02.rar", "set.part03.rar", "set.part05.rar",
                           "old.RAR", "old.R00", "old.R01", "one.rar", "one.r01"}) {
    dir.Write(name, "");
  }
  const std::pair<const char*, std::vector<const char*>> cases[] = {
      {"set.part01.rar", {"set.part01.rar", "set.part02.rar", "set.part03.rar"}},
      {"set.part02.rar", {"set.part02.rar"}},
      {"old.RAR", {"old.RAR", "old.R00", "old.R01"}},
      {"one.rar", {"one.rar"}},  // no .r00: a single archive
  };
  for (const auto& [first, expected] : cases) {
    std::vector<std::string> paths;
    for (const char* name : expected) paths.push_back(dir / name);
    EXPECT_EQ(archive::RarVolumes(dir / first), paths) << first;
  }
}

}  // namespace
}  // namespace svregistration::testing

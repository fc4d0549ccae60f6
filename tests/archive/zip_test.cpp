// ZIP.Extract over archives made by libarchive's writer: what is extracted where, name
// selection, password prompts and the message box of a library that cannot run.
#include "svregistration/zip.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "archive/zip/zip_extraction.h"
#include "archive_test_support.h"
#include "os/fault_injection.h"
#include "support/scoped_environment.h"
#include "svregistration/error.h"

namespace svregistration::testing {
namespace {

class ZipExtractTest : public ArchiveTest {
 protected:
  std::string zip = dir / "test.zip";
};

// A member that cannot be written whole and sound leaves the file at its name as it was, and no
// temporary beside it; the report says why.
TEST_F(ZipExtractTest, AFailedMemberKeepsTheFileThatWasThere) {
  const std::string data(300000, 'n');
  // What happens, the archive's options, the answers, whether the data is damaged, the write that
  // finds no room (0: none), a part of the reason (nullptr: extracted), the mode stored (-1: the
  // default).
  using Case =
      std::tuple<const char*, const char*, std::vector<std::string>, bool, long, const char*, int>;
  const Case cases[] = {
      {"checksum", "zip:compression=store", {}, true, 0, "CRC", -1},
      {"wrong password", "zip:encryption=aes256", {"wrong", ""}, false, 0, "passphrase", -1},
      {"no room", "zip:compression=deflate", {}, false, 2, "No space left", -1},
      {"replaced", "zip:compression=deflate", {}, false, 0, nullptr, -1},
      {"replaced, no permissions stored", "zip:compression=deflate", {}, false, 0, nullptr, 0},
  };
  for (const auto& [what, options, answers, corrupt, fault_at_write, reason, perm] : cases) {
    SCOPED_TRACE(what);
    std::filesystem::remove_all(out);
    dir.Write("out/a.txt", "old");
    ::chmod((dir / "out/a.txt").c_str(), 0600);
    Member member = File("a.txt", data);
    member.perm = perm;
    WriteArchive(zip, {member}, options, "secret");
    if (corrupt) {
      std::string bytes = ReadFile(zip);
      bytes[bytes.find(data) + 1000] = 'X';
      dir.Write("test.zip", bytes);
    }
    ScriptedPrompt prompt(answers);
    os::InjectFileSystemFault(fault_at_write, os::FileSystemFault::kNoSpace);  // 0: disarmed
    const ExtractionReport report = ZipObject().Extract(zip, out, "", prompt);
    os::ClearFileSystemFault();
    const auto mode = std::filesystem::status(dir / "out/a.txt").permissions();
    if (reason == nullptr) {
      EXPECT_EQ(Listing(out), (Files{{"a.txt", data}}));
      EXPECT_TRUE(report.not_extracted.empty());
      EXPECT_EQ(mode == std::filesystem::perms{0600}, perm == 0);
      continue;
    }
    EXPECT_EQ(Listing(out), (Files{{"a.txt", "old"}}));  // no temporary either
    EXPECT_EQ(mode, std::filesystem::perms{0600});
    ASSERT_EQ(NotExtracted(report), std::vector<std::string>{"a.txt"});
    EXPECT_NE(report.not_extracted[0].reason.find(reason), std::string::npos)
        << report.not_extracted[0].reason;
  }
}

// A run killed while it writes a member leaves the old file whole and nothing else.
TEST_F(ZipExtractTest, AKilledExtractionLeavesTheOldFile) {
  const std::string data(4 << 20, 'n');
  WriteArchive(zip, {File("a.txt", data)}, "zip:compression=store");
  const std::string bytes = ReadFile(zip);
  dir.Write("out/a.txt", "old");
  const std::string fifo = dir / "pipe.zip";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ZipObject().Extract(fifo, out, "");
    ::_exit(0);
  }
  // Once half the archive is in the pipe, the child has read all but a pipe's worth of it.
  const int pipe = ::open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(pipe, 0);
  EXPECT_EQ(::write(pipe, bytes.data(), bytes.size() / 2), static_cast<ssize_t>(bytes.size() / 2));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ::close(pipe);
  EXPECT_EQ(ReadFile(dir / "out/a.txt"), "old");
  // Where the file system has no unnamed files, the one being written has a name of ours.
  for (const auto& item : std::filesystem::directory_iterator(out)) {
    const std::string name = item.path().filename().string();
    EXPECT_TRUE(name == "a.txt" || name.starts_with(".svreg-extract-")) << name;
  }
}

// Names without the UTF-8 flag are read in the user's ANSI code page (the pattern selects among
// the names read), and so is the password; its UTF-8 bytes are tried after the ANSI ones before
// the user is asked again. One right answer serves every member; a wrong one is asked again; an
// empty one ends the questions, and later members get none.
TEST_F(ZipExtractTest, NamesAndPasswordsInTheUserCodePage) {
  const std::string test_in_932 = "\x83\x65\x83\x58\x83\x67.txt";  // テスト.txt
  // Wrong answers are tried on AES only: the traditional cipher checks a password by one byte, so
  // a wrong answer would get through one time in 256 and make the case flaky.
  const char *aes = "zip:encryption=aes256", *traditional = "zip:encryption=zipcrypt";
  const std::vector<Member> one = {File("a.txt", "T")},
                            two = {File("a.txt", "A"), File("b/b", "B")};
  const Files both = {{"a.txt", "A"}, {"b", "<dir>"}, {"b/b", "B"}};
  // The user's locale, the members (names as the bytes of the archive), the archive's options and
  // password (as its bytes), the name that selects, the answers, how many questions, what the
  // output folder then holds.
  using Case = std::tuple<const char*, std::vector<Member>, const char*, std::string, const char*,
                          std::vector<std::string>, std::size_t, Files>;
  // clang-format off
  const Case cases[] = {
      {"C", {File("src/main.cbl", "M"), File("top.cbl", "T")}, "", "", "src\\*.cbl", {}, 0,
       {{"src", "<dir>"}, {"src/main.cbl", "M"}}},  // "\\" becomes "/", then the pattern selects
      {"ja_JP.UTF-8", {File(test_in_932, "T")}, "", "", "*スト.txt", {}, 0, {{"テスト.txt", "T"}}},
      {"de_DE.UTF-8", {File("caf\xe9.txt", "T")}, "", "", "café.txt", {}, 0, {{"café.txt", "T"}}},
      {"de_DE.UTF-8", one, aes, "p\xe4ss", "", {"päss"}, 1, {{"a.txt", "T"}}},
      {"de_DE.UTF-8", one, aes, "päss", "", {"päss"}, 1, {{"a.txt", "T"}}},
      {"de_DE.UTF-8", one, aes, "p\xe4ss", "", {"pass", ""}, 2, {}},
      {"C", two, traditional, "secret", "", {"secret"}, 1, both},
      {"C", two, aes, "secret", "", {"wrong", "other", "secret"}, 3, both},
      {"C", two, aes, "secret", "", {"", "secret"}, 1, {}},
      {"C", two, aes, "secret", "", {"wrong", "", "secret"}, 2, {}},
  };
  // clang-format on
  for (const auto& [lang, members, options, password, what, answers, questions, files] : cases) {
    SCOPED_TRACE(std::string(lang) + " " + what + " " + std::to_string(answers.size()));
    std::filesystem::remove_all(out);
    ScopedEnvironment environment{"LC_ALL", "LC_CTYPE"};
    environment.Set("LANG", lang);
    WriteArchive(zip, members, options, password);
    auto ui = InstallScript(answers);
    EXPECT_TRUE(ZipObject().Extract(zip, out, what));
    ASSERT_EQ(ui->questions.size(), questions);
    for (const auto& question : ui->questions) {
      EXPECT_EQ(question.second, "Please Enter The Password!");
    }
    EXPECT_EQ(Listing(out), files);
  }
  // Through a prompt, the questions name the archive and the member, and say when libarchive asks
  // again because the last answer did not open it.
  WriteArchive(zip, two, aes, "secret");
  ScriptedPrompt prompt({"wrong", "secret"});
  EXPECT_EQ(ZipObject().Extract(zip, out, "", prompt).extracted, 2u);
  EXPECT_EQ(prompt.requests,
            (std::vector<ScriptedPrompt::Request>{{zip, "a.txt", false}, {zip, "a.txt", true}}));
}

// ZIP.Extract answers true whatever happens; a missing or damaged archive shows nothing, a reader
// that cannot be made a message.
TEST_F(ZipExtractTest, AReaderThatCannotBeMadeShowsAMessageAndStillSucceeds) {
  auto ui = InstallScript();
  EXPECT_TRUE(ZipObject().Extract(dir / "missing.zip", out, ""));
  EXPECT_TRUE(ZipObject().Extract(dir.Write("junk.zip", "PK\x03\x04 not really"), out, ""));
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_TRUE(ui->messages.empty());
  ScriptedPrompt prompt;
  archive::ZipExtraction extraction(
      "a.zip", "out", "src\\main.cbl", prompt,
      []() -> archive::ReadHandle { throw Error(453, "libarchive", "no zip support"); });
  EXPECT_TRUE(archive::RunAsZipExtract(extraction, *ui));
  EXPECT_EQ(ui->messages, (decltype(ui->messages){{"SVRegistration", "no zip support\r\n453"}}));
}

// A folder member does not change the mode or time of a folder that is already there (a ".ssh/"
// member must not open up the user's own); a folder the extraction makes gets what is stored.
TEST_F(ZipExtractTest, AFolderThatExistsKeepsItsModeAndTime) {
  std::filesystem::create_directories(out + "/.ssh");
  ::chmod((out + "/.ssh").c_str(), 0700);
  const timespec old_time[2] = {{1000000000, 0}, {1000000000, 0}};
  ::utimensat(AT_FDCWD, (out + "/.ssh").c_str(), old_time, 0);
  Member ssh = Folder(".ssh/"), made = Folder("made/");
  ssh.perm = made.perm = 0755;
  WriteArchive(zip, {ssh, made, File("made/a", "A")});
  ScriptedPrompt prompt;
  EXPECT_EQ(ZipObject().Extract(zip, out, "", prompt).extracted, 3u);
  struct stat ssh_status {
  }, made_status{};
  ASSERT_EQ(::stat((out + "/.ssh").c_str(), &ssh_status), 0);
  ASSERT_EQ(::stat((out + "/made").c_str(), &made_status), 0);
  EXPECT_EQ(ssh_status.st_mode & 07777, 0700u);
  EXPECT_EQ(ssh_status.st_mtim.tv_sec, 1000000000);
  EXPECT_EQ(made_status.st_mode & 0700, 0700u);
  EXPECT_NE(made_status.st_mtim.tv_sec, 1000000000);
}

}  // namespace
}  // namespace svregistration::testing

// What the archive tests share: archives made on the spot (zip and tar through libarchive's
// writer, RAR 4 with stored members through a small writer of our own), a listing of what landed in
// a folder, and the fixture of a temporary folder with an output folder in it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "support/scripted_user_interface.h"
#include "support/temp_dir.h"
#include "svregistration/extraction_report.h"
#include "svregistration/rar.h"
#include "svregistration/zip.h"

namespace svregistration::testing {

enum class Kind { kFile, kFolder, kSymlink };

struct Member {
  std::string name;
  std::string data;  ///< contents, or the target of a symbolic link
  Kind kind = Kind::kFile;
  bool encrypted = false;  ///< RAR 4 only: the header says encrypted (the data stays plain)
  std::string hardlink;    ///< tar only: the file this member is a hard link to
  int perm = -1;           ///< the permissions stored; -1: 0644 for files, 0755 otherwise
};

inline Member File(std::string name, std::string data) { return {name, data}; }
inline Member Folder(std::string name) { return {name, "", Kind::kFolder}; }
inline Member Symlink(std::string name, std::string to) { return {name, to, Kind::kSymlink}; }

/// Writes an archive through libarchive: `format` "zip" or "paxr"; `options` such as
/// "zip:compression=store" or "zip:encryption=zipcrypt"; `password` for encryption.
void WriteArchive(const std::string& path, const std::vector<Member>& members,
                  const std::string& options = "", const std::string& password = "",
                  const std::string& format = "zip");

/// The bytes of a RAR 4 archive of stored members, names as given ("\" between folders, as
/// Windows stores them). The header of member `damaged` (if any) gets a wrong CRC.
std::string Rar4Archive(const std::vector<Member>& members, int damaged = -1);

/// The volumes of a RAR 4 set of stored members, each volume holding at most `data_per_volume`
/// bytes of member data: a member that does not fit goes on in the next volume. With no limit
/// (npos), the one volume is a plain archive; the header of member `damaged` gets a wrong CRC.
std::vector<std::string> Rar4VolumeSet(const std::vector<Member>& members,
                                       std::size_t data_per_volume, int damaged = -1);

std::uint32_t Crc32(const std::string& bytes);

using Files = std::map<std::string, std::string>;

/// The relative paths below `root` with what they are: the contents of a file, "<dir>", or
/// "-> target" for a symbolic link.
std::map<std::string, std::string> Listing(const std::filesystem::path& root);

/// A password prompt that answers from a script (then empty) and records every request as its
/// archive, member and whether the last answer was wrong.
struct ScriptedPrompt final : PasswordPrompt {
  using Request = std::tuple<std::string, std::string, bool>;
  explicit ScriptedPrompt(std::vector<std::string> script = {}) : answers(std::move(script)) {}
  std::string Ask(const PasswordRequest& request) override {
    requests.emplace_back(request.archive, request.member, request.last_was_wrong);
    return requests.size() <= answers.size() ? answers[requests.size() - 1] : std::string();
  }
  std::vector<std::string> answers;
  std::vector<Request> requests;
};

/// The names in a report's not_extracted list.
std::vector<std::string> NotExtracted(const ExtractionReport& report);

/// A temporary folder `dir` with `out` below it, and the archive objects of the test, which ask
/// the interface the test scripted last (the terminal before any).
class ArchiveTest : public ::testing::Test {
 protected:
  std::shared_ptr<ScriptedUserInterface> InstallScript(std::vector<std::string> answers = {}) {
    return ui_ = Script(std::move(answers));
  }
  ZIP ZipObject() const { return AskingThrough<ZIP>(ui_); }
  RAR RarObject() const { return AskingThrough<RAR>(ui_); }

  std::shared_ptr<ScriptedUserInterface> ui_;

  TempDir dir;
  std::string out = dir / "out";
};

}  // namespace svregistration::testing

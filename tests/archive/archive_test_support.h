// What the archive tests share: archives made on the spot (zip and tar through libarchive's
// writer, RAR 4 with stored members through a small writer of our own), a user interface that
// answers from a script, and a listing of what landed in a folder.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "svregistration/user_interface.h"

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
inline Member Symlink(std::string name, std::string target) {
  return {name, target, Kind::kSymlink};
}

/// Writes an archive through libarchive: `format` "zip" or "paxr"; `options` such as
/// "zip:compression=store" or "zip:encryption=zipcrypt"; `password` for encryption.
void WriteArchive(const std::string& path, const std::vector<Member>& members,
                  const std::string& options = "", const std::string& password = "",
                  const std::string& format = "zip");

/// The bytes of a RAR 4 archive of stored members, names as given ("\" between folders, as
/// Windows stores them). The header of member `damaged` (if any) gets a wrong CRC.
std::string Rar4Archive(const std::vector<Member>& members, int damaged = -1);

std::uint32_t Crc32(const std::string& bytes);

/// The relative paths below `root` with what they are: the contents of a file, "<dir>", or
/// "-> target" for a symbolic link.
std::map<std::string, std::string> Listing(const std::filesystem::path& root);

/// Answers the input box from a script (then empty) and records every question and message.
struct ScriptedUserInterface final : UserInterface {
  void ShowMessage(const std::string& title, const std::string& text) override {
    messages.emplace_back(title, text);
  }
  std::string AskText(const std::string& title, const std::string& prompt, bool) override {
    questions.emplace_back(title, prompt);
    std::string answer = answers.empty() ? "" : answers.front();
    if (!answers.empty()) answers.pop_front();
    return answer;
  }
  std::string BrowseForFolder(std::intptr_t, const std::string&) override { return ""; }
  void ProcessPendingEvents() override {}

  std::deque<std::string> answers;
  std::vector<std::pair<std::string, std::string>> questions, messages;
};

/// Installs a scripted interface for the calling thread.
inline std::shared_ptr<ScriptedUserInterface> InstallScript(std::vector<std::string> answers = {}) {
  auto ui = std::make_shared<ScriptedUserInterface>();
  ui->answers.assign(answers.begin(), answers.end());
  SetUserInterface(ui);
  return ui;
}

}  // namespace svregistration::testing

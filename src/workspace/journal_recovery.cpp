// Recovery from the journals of runs that are gone. A journal lies in a folder anybody with write
// access to the workspace can write, so it is read strictly and everything it names is checked
// before it is acted on: a leftover copy is deleted only when it is a plain file in a Sources
// folder, reached without a link, that no object records and that changed after the journal was
// begun, and so does a replacement the run had named beside such a copy but not renamed over it.
// A journal that does not read as one is set aside under another name, never obeyed.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <vector>

#include "svregistration/workspace/pending_work.h"
#include "workspace/beneath.h"

namespace svregistration::workspace {

namespace {

constexpr std::int64_t kSecondNs = 1'000'000'000;
// Far more than the journal of any run holds (a line per file registered).
constexpr std::size_t kLargestJournal = std::size_t{256} << 20;

struct Journal {
  std::set<std::string> copies;
  std::vector<std::pair<std::string, std::int64_t>> refreshes;  // id, when begun
};

std::optional<std::int64_t> ParseNs(std::string_view text) {
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

// The whole journal through its descriptor; nullopt when it cannot be read or is too large.
std::optional<std::string> ReadJournal(int fd) {
  std::string text;
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) return text;
    text.append(buffer, static_cast<std::size_t>(got));
    if (text.size() > kLargestJournal) return std::nullopt;
  }
}

// The journal's lines, or the first one that is not a journal line (`why` then says which).
std::optional<Journal> ParseJournal(const std::string& text, std::string& why) {
  Journal journal;
  std::size_t number = 0;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      why = "its last line is unfinished";
      return std::nullopt;
    }
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    ++number;
    std::size_t tab = line.find('\t');
    std::string_view kind = line.substr(0, tab);
    std::string_view subject = tab == std::string_view::npos ? "" : line.substr(tab + 1);
    std::size_t second = subject.find('\t');
    if ((kind == "copy" || kind == "keep") && !subject.empty()) {
      if (kind == "copy") journal.copies.emplace(subject);
      if (kind == "keep") journal.copies.erase(std::string(subject));
    } else if (kind == "refresh" && second != std::string_view::npos &&
               second + 1 < subject.size()) {
      std::optional<std::int64_t> begun = ParseNs(subject.substr(0, second));
      if (!begun) {
        why = "line " + std::to_string(number) + " has no time";
        return std::nullopt;
      }
      journal.refreshes.emplace_back(std::string(subject.substr(second + 1)), *begun);
    } else {
      why = "line " + std::to_string(number) + " is not a journal line";
      return std::nullopt;
    }
  }
  return journal;
}

// When the journal was begun: its birth where the file system keeps one, else the time in its
// name ("<pid>-<ns>.journal"); nullopt when neither is there.
std::optional<std::int64_t> BegunNs(int fd, const std::string& name) {
  std::optional<std::int64_t> from_name;
  std::size_t dash = name.find('-');
  std::size_t dot = name.rfind(".journal");
  if (dash != std::string::npos && dot != std::string::npos && dot > dash + 1) {
    from_name = ParseNs(std::string_view(name).substr(dash + 1, dot - dash - 1));
  }
  struct statx info {};
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_BTIME, &info) == 0 && (info.stx_mask & STATX_BTIME)) {
    return info.stx_btime.tv_sec * kSecondNs + info.stx_btime.tv_nsec;
  }
  return from_name;
}

// Deletes a leftover copy when everything about it says it is one; else says why it stays.
void DeleteLeftover(int root_fd, const std::string& relative, std::int64_t begun,
                    const PendingWork::Recovery& recovery, const std::string& journal) {
  auto keep = [&](const std::string& why) {
    if (recovery.warn) {
      recovery.warn("Kept '" + relative + "', named by the journal '" + journal + "': " + why);
    }
  };
  if (!recovery.in_sources_folder(relative)) return keep("it is not in a Sources folder");
  if (recovery.recorded(relative)) return;  // committed: the object's copy
  std::string name;
  Fd parent(OpenParentWithoutLinks(root_fd, relative, name));
  if (!parent) return keep("it is not reached inside the workspace without a link");
  struct stat info {};
  if (::fstatat(parent.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return;
  if (!S_ISREG(info.st_mode)) return keep("it is not a plain file");
  // File times tick coarsely: a second's margin keeps a copy made just after the journal began
  // from looking older than it.
  if (info.st_ctim.tv_sec * kSecondNs + info.st_ctim.tv_nsec < begun - kSecondNs) {
    return keep("it is older than the journal");
  }
  if (::unlinkat(parent.get(), name.c_str(), 0) != 0 && errno != ENOENT) {
    keep(std::string("it cannot be deleted: ") + std::strerror(errno));
  }
}

// The process id in a journal's name ("<pid>-<ns>.journal"); "" when it has none.
std::string ProcessOf(const std::string& journal_name) {
  const std::size_t dash = journal_name.find('-');
  if (dash == 0 || dash == std::string::npos) return "";
  const std::string pid = journal_name.substr(0, dash);
  return std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; }) ? pid
                                                                                          : "";
}

// The copy whose replacement `entry` is when the process `pid` named it
// (".<name>.tmp-<pid>-<n>"); "" for any other name.
std::string ReplacedCopy(std::string_view entry, const std::string& pid) {
  const std::string marker = ".tmp-" + pid + "-";
  const std::size_t at = entry.rfind(marker);
  if (entry.empty() || entry[0] != '.' || at == std::string_view::npos || at < 2) return "";
  const std::string_view counter = entry.substr(at + marker.size());
  if (counter.empty() ||
      !std::all_of(counter.begin(), counter.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return "";
  }
  return std::string(entry.substr(1, at - 1));
}

// Deletes the replacements the journal's process had named beside the copies it names but not
// yet renamed over them (killed between the two), on the conditions a leftover copy goes on.
// Each folder is listed once, however many of its copies the journal names.
void DeleteUnrenamedReplacements(int root_fd, const std::vector<std::string>& copies,
                                 const std::string& pid, std::int64_t begun,
                                 const PendingWork::Recovery& recovery) {
  std::map<std::string, std::set<std::string>> names_by_folder;  // a copy of the folder, names
  for (const std::string& copy : copies) {
    const std::size_t slash = copy.rfind('/');
    if (slash == std::string::npos || !recovery.in_sources_folder(copy)) continue;
    names_by_folder[copy.substr(0, slash + 1) + "x"].insert(copy.substr(slash + 1));
  }
  for (const auto& [in_folder, names] : names_by_folder) {
    std::string ignored;
    Fd parent(OpenParentWithoutLinks(root_fd, in_folder, ignored));
    Fd listing_fd(parent ? ::openat(parent.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1);
    DIR* listing = listing_fd ? ::fdopendir(::dup(listing_fd.get())) : nullptr;
    if (listing == nullptr) continue;
    std::vector<std::string> leftovers;
    while (dirent* entry = ::readdir(listing)) {
      const std::string_view entry_name = entry->d_name;
      if (names.count(ReplacedCopy(entry_name, pid)) != 0 &&
          !recovery.recorded(in_folder.substr(0, in_folder.size() - 1) + std::string(entry_name))) {
        leftovers.emplace_back(entry_name);
      }
    }
    ::closedir(listing);
    for (const std::string& name : leftovers) {
      struct stat info {};
      if (::fstatat(parent.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
          !S_ISREG(info.st_mode) ||
          info.st_ctim.tv_sec * kSecondNs + info.st_ctim.tv_nsec < begun - kSecondNs) {
        continue;
      }
      ::unlinkat(parent.get(), name.c_str(), 0);
    }
  }
}

// Acts on one journal of a run that is gone; false when it was set aside.
bool RecoverJournal(int root_fd, int fd, const std::string& name, const std::string& shown,
                    const PendingWork::Recovery& recovery) {
  std::string why = "it cannot be read";
  std::optional<std::int64_t> begun = BegunNs(fd, name);
  std::optional<std::string> text = ReadJournal(fd);
  std::optional<Journal> journal;
  if (!begun) {
    why = "it has no time of beginning";
  } else if (text) {
    journal = ParseJournal(*text, why);
  }
  if (!journal) {
    if (recovery.warn) {
      recovery.warn("Set aside the journal '" + shown + "' as '" + name + ".damaged': " + why);
    }
    return false;
  }
  for (const std::string& copy : journal->copies) {
    DeleteLeftover(root_fd, copy, *begun, recovery, shown);
  }
  // The file system's clock ticks coarsely: a second's margin discards too much rather than too
  // little (generated files can be made again; stale ones would be trusted). Never further back
  // than the journal itself.
  for (const auto& [id, started] : journal->refreshes) {
    recovery.invalidate_changed(id, std::max(started, *begun) - kSecondNs);
  }
  if (const std::string pid = ProcessOf(name); !pid.empty()) {
    std::vector<std::string> copies(journal->copies.begin(), journal->copies.end());
    for (const auto& [id, started] : journal->refreshes) {
      if (!recovery.copies_of) break;
      for (std::string& copy : recovery.copies_of(id)) copies.push_back(std::move(copy));
    }
    DeleteUnrenamedReplacements(root_fd, copies, pid, *begun, recovery);
  }
  return true;
}

}  // namespace

void PendingWork::Recover(const std::string& root, const Recovery& recovery) {
  Fd root_fd(::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  std::string ignored;
  Fd folder(root_fd ? OpenParentWithoutLinks(root_fd.get(), std::string(kFolder) + "/x", ignored)
                    : -1);
  if (!folder) return;  // no journals, or a folder this program did not make: nothing to obey
  Fd listing_fd(::openat(folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  DIR* listing = listing_fd ? ::fdopendir(::dup(listing_fd.get())) : nullptr;
  if (listing == nullptr) return;
  std::vector<std::string> names;
  while (dirent* entry = ::readdir(listing)) {
    std::string_view name = entry->d_name;
    if (name.size() > 8 && name.substr(name.size() - 8) == ".journal") names.emplace_back(name);
  }
  ::closedir(listing);
  for (const std::string& name : names) {
    Fd fd(::openat(folder.get(), name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    // A journal still locked belongs to a run that is alive.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;
    const std::string shown = std::string(kFolder) + "/" + name;
    if (RecoverJournal(root_fd.get(), fd.get(), name, shown, recovery)) {
      ::unlinkat(folder.get(), name.c_str(), 0);
    } else {
      ::renameat(folder.get(), name.c_str(), folder.get(), (name + ".damaged").c_str());
    }
  }
}

}  // namespace svregistration::workspace

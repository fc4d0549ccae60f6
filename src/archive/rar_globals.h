// RarGlobals: extraction of RAR archive members. RarExtract walks the member headers through the
// unrar library's interface, asks for a password when a member to be extracted is encrypted, and
// extracts or skips each member; libarchive stands in for the unrar library.
#pragma once

#include <string>
#include <vector>

namespace svregistration::archive {

/// The bit of a member header's flags that marks an encrypted member.
inline constexpr unsigned kRarHeaderEncrypted = 0x04;

/// Extracts into `output_path` the members whose stored path begins with `extract_what`
/// (letter case ignored; every member when it is empty), under their stored paths. The first
/// encrypted member to be extracted asks for the password, once per call; an archive whose
/// headers are encrypted asks before its first member, and a wrong answer there extracts nothing
/// (the walk ends as at a damaged header). A member the answer does not open stays
/// unextracted. A solid RAR 4 archive is reported in a message: libarchive reads none. False when
/// the archive cannot be opened or the password prompt is answered empty (members extracted before
/// stay); true otherwise, whatever became of single members. A damaged header ends the walk as the
/// end of the archive does.
bool RarExtract(const std::string& archive_file, const std::string& output_path,
                const std::string& extract_what);

/// The files of the volume set that `first` begins: "name.part1.rar" (any number of digits, any
/// letter case) is followed by "name.part2.rar" and on, and "name.rar" by "name.r00" to
/// "name.r99", as long as those files exist. Any other name, or a later volume, is a set of one.
std::vector<std::string> RarVolumes(const std::string& first);

}  // namespace svregistration::archive

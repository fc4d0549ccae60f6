// The volumes of a RAR archive: found by name from the first, opened once, their descriptors
// passed to whatever reads them.
#pragma once

#include <string>
#include <vector>

#include "os/unique_fd.h"

namespace svregistration::archive {

/// The files of the volume set that `first` begins: "name.part1.rar" (any number of digits, any
/// letter case) is followed by "name.part2.rar" and on, and "name.rar" by "name.r00" to
/// "name.r99", as long as those files exist. Any other name, or a later volume, is a set of one.
std::vector<std::string> RarVolumes(const std::string& first);

/// A volume set, open.
struct RarVolumeSet {
  std::vector<std::string> paths;
  std::vector<os::UniqueFd> files;

  std::vector<int> fds() const;
};

/// Opens the set that `first` begins. Empty when `first` cannot be opened; a later volume that
/// cannot be opened ends the set.
RarVolumeSet OpenRarVolumes(const std::string& first);

}  // namespace svregistration::archive

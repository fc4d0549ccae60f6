// Finding the original source file of an object that has no registered copy yet: the default
// source directory (asked for once through the folder chooser) searched depth first for the
// object's name with each extension of its type, library members included.
#pragma once

#include <pugixml.hpp>
#include <string>

#include "registration/sv_standard_state.h"

namespace svregistration::registration {

/// The workspace's default source directory, made absolute; asks the user and stores the answer
/// while none is set. "" when there is no Encoding page or the user cancelled (the workspace then
/// hears that the dialog was cancelled).
std::string ChooseDefaultSourceDir(registration::State& state);

/// Replaces original_source with what the search finds for the object in `directory`, when the
/// workspace lists extensions for the object's type.
void FindOriginalSource(registration::State& state, host::RepositoryObject& object,
                        std::string& original_source, const std::string& directory);

/// Depth first: the name with each extension (the name alone when it has a dot), a member_OF_lib
/// name also as lib/member and member, then each subfolder in name order. Unreadable folders are
/// skipped and a folder reached twice (through a link) is searched once.
std::string SearchOriginalSource(const std::string& name, const std::string& directory,
                                 const pugi::xml_node& extensions);

}  // namespace svregistration::registration

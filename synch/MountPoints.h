// Which mounted file system a path lies on. A path's "volume" is the folder
// its file system is mounted on, so a movie folder's volume can move (a disc
// mounted elsewhere) while the paths below the mount point stay the same.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The mount points of the file systems mounted now, as the kernel lists them
// for this process; empty when the table cannot be read.
std::vector<std::string> ReadMountPoints();

// The mount point that Path lies or lay under: the longest entry of
// MountPoints, other than "/", that contains Path. When none does (the path's
// file system is no longer mounted), the path is taken to have been mounted
// beside the movie folder's volume ReferenceMount: when Path lies in the
// folder that holds ReferenceMount, its prefix is that folder and Path's next
// component. Otherwise "/".
std::string MountPrefix(std::string_view Path, const std::vector<std::string>& MountPoints,
                        std::string_view ReferenceMount = "/");

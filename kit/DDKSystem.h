// The platform's special folders, the program's file version and the
// system's error messages.
#pragma once

#include <cstdint>
#include <string>

// Special folder number of the user's application-data folder.
inline constexpr std::int32_t DDKFolderAppData = 26;

// The path of a special folder, without trailing '/': DDKFolderAppData is
// $XDG_CONFIG_HOME, else $HOME/.config. Any other number, or no home, gives "".
std::string DDKGetSpecialFolder(std::int32_t Folder);

// The four-number file version ("1.0.0.0") stamped into FileName when it was
// built; "" for a file without a stamp or that cannot be read.
std::string DDKGetFileVersion(const std::string& FileName);

// The system's text for the error number Code (errno), thread-safe.
std::string DDKSysErrorMessage(int Code);

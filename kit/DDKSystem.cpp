#include "DDKSystem.h"

#include "DDKError.h"
#include "DDKFiles.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string_view>

// Every executable that links the kit carries this stamp (the link keeps it,
// see kit/CMakeLists.txt); DDKGetFileVersion finds it again in the file's bytes.
extern "C" __attribute__((used)) const char DDKVersionStamp[] =
    "\x01VantryFileVersion=" VANTRY_VERSION "\x01";

namespace {

// The stamp's opening part, taken from the stamp itself so that the marker
// exists only once in the executable.
std::string_view StampMarker()
{
    const std::string_view stamp(DDKVersionStamp);
    return stamp.substr(0, stamp.find('=') + 1);
}

// "a.b.c.d" with four numbers of at most 16 bits, rewritten without leading
// zeros; "" when Text does not start with one followed by the stamp's end.
std::string ParseVersion(std::string_view Text)
{
    std::string result;
    for (int part = 0; part < 4; ++part) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(Text.data(), Text.data() + Text.size(), value);
        if (error != std::errc() || value > 0xFFFF)
            return {};
        Text.remove_prefix(static_cast<std::size_t>(end - Text.data()));
        const char expected = part < 3 ? '.' : '\x01';
        if (Text.empty() || Text.front() != expected)
            return {};
        Text.remove_prefix(1);
        if (part > 0)
            result += '.';
        result += std::to_string(value);
    }
    return result;
}

} // namespace

std::string DDKGetSpecialFolder(std::int32_t Folder)
{
    if (Folder != DDKFolderAppData)
        return {};
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    // A relative setting is to be ignored, as the desktop's other programs do.
    if (configHome != nullptr && configHome[0] == '/')
        return DDKExcludeTrailingPathDelimiter(configHome);
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0')
        return {};
    return DDKIncludeTrailingPathDelimiter(home) + ".config";
}

std::string DDKGetFileVersion(const std::string& FileName)
{
    std::string bytes;
    try {
        bytes = DDKLoadFile(FileName);
    } catch (const EDDKError&) {
        return {}; // unreadable, or a folder: no version
    }
    const std::string_view marker = StampMarker();
    for (std::size_t found = bytes.find(marker); found != std::string::npos;
         found = bytes.find(marker, found + 1)) {
        std::string version = ParseVersion(std::string_view(bytes).substr(found + marker.size()));
        if (!version.empty())
            return version;
    }
    return {};
}

std::string DDKSysErrorMessage(int Code)
{
    char buffer[256];
    return ::strerror_r(Code, buffer, sizeof buffer);
}

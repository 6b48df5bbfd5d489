#include "MountPoints.h"

#include <fstream>
#include <sstream>

namespace {

// The kernel writes blanks, tabs, line ends and backslashes in mount points
// as a backslash and three octal digits.
std::string UnescapeMountPoint(const std::string& Text)
{
    std::string result;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] == '\\' && i + 3 < Text.size()) {
            const std::string digits = Text.substr(i + 1, 3);
            if (digits.find_first_not_of("01234567") == std::string::npos) {
                result += static_cast<char>(std::stoi(digits, nullptr, 8));
                i += 3;
                continue;
            }
        }
        result += Text[i];
    }
    return result;
}

// Whether Path is Mount or lies below it, component by component.
bool LiesUnder(std::string_view Path, std::string_view Mount)
{
    if (Mount == "/")
        return !Path.empty() && Path.front() == '/';
    return Path.starts_with(Mount) && (Path.size() == Mount.size() || Path[Mount.size()] == '/');
}

std::string_view ParentOf(std::string_view Path)
{
    const std::size_t slash = Path.find_last_of('/');
    if (slash == std::string_view::npos)
        return {};
    return slash == 0 ? std::string_view("/") : Path.substr(0, slash);
}

} // namespace

std::vector<std::string> ReadMountPoints()
{
    // mountinfo: id, parent id, device, root, mount point, options, ...
    std::vector<std::string> result;
    std::ifstream table("/proc/self/mountinfo");
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string id, parent, device, root, mountPoint;
        if (fields >> id >> parent >> device >> root >> mountPoint)
            result.push_back(UnescapeMountPoint(mountPoint));
    }
    return result;
}

std::string MountPrefix(std::string_view Path, const std::vector<std::string>& MountPoints,
                        std::string_view ReferenceMount)
{
    std::string_view best;
    for (const std::string& mount : MountPoints) {
        std::string_view candidate = mount;
        while (candidate.size() > 1 && candidate.back() == '/')
            candidate.remove_suffix(1);
        if (candidate != "/" && candidate.size() > best.size() && LiesUnder(Path, candidate))
            best = candidate;
    }
    if (!best.empty())
        return std::string(best);

    // No longer mounted: look for it beside the reference volume, where a
    // disc mounted again usually reappears under another name.
    if (ReferenceMount != "/" && !ReferenceMount.empty()) {
        const std::string_view parent = ParentOf(ReferenceMount);
        if (!parent.empty() && LiesUnder(Path, parent) && Path.size() > parent.size()) {
            const std::size_t start = parent == "/" ? 1 : parent.size() + 1;
            const std::size_t end = Path.find('/', start);
            if (end != start)
                return std::string(Path.substr(0, end == std::string_view::npos ? Path.size() : end));
        }
    }
    return "/";
}

#pragma once

#include <filesystem>
#include <functional>
#include <set>
#include <string>

// The message of what Call raises, or "<none>".
inline std::string ErrorOf(const std::function<void()>& Call)
{
    try {
        Call();
    } catch (const std::exception& Error) {
        return Error.what();
    }
    return "<none>";
}

inline std::set<std::string> EntryNames(const std::string& Folder)
{
    std::set<std::string> Names;
    for (const auto& Entry : std::filesystem::directory_iterator(Folder))
        Names.insert(Entry.path().filename().string());
    return Names;
}

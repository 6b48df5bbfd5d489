// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return FPath; }
    // Path() with a name below it, as text.
    std::string operator/(std::string_view Name) const { return (FPath / Name).string(); }

    // Writes Content into Name (folders created as needed); returns the full path.
    std::string Write(std::string_view Name, std::string_view Content = {}) const;
    // Creates folder Name and its parents; returns the full path.
    std::string MakeFolder(std::string_view Name) const;

private:
    std::filesystem::path FPath;
};

// The whole content of a file, or "<missing>" when it cannot be read.
std::string ReadWholeFile(const std::string& FileName);

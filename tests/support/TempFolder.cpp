#include "TempFolder.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

TempFolder::TempFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vantry-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    FPath = pattern;
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
}

std::string TempFolder::Write(std::string_view Name, std::string_view Content) const
{
    const std::filesystem::path file = FPath / Name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream stream(file, std::ios::binary | std::ios::trunc);
    stream.write(Content.data(), static_cast<std::streamsize>(Content.size()));
    if (!stream)
        throw std::runtime_error("cannot write " + file.string());
    return file.string();
}

std::string TempFolder::MakeFolder(std::string_view Name) const
{
    const std::filesystem::path folder = FPath / Name;
    std::filesystem::create_directories(folder);
    return folder.string();
}

std::string ReadWholeFile(const std::string& FileName)
{
    std::ifstream stream(FileName, std::ios::binary);
    if (!stream)
        return "<missing>";
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

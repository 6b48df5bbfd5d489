#include "FailedFolderRead.h"

#include <cerrno>
#include <climits>
#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <unistd.h>

namespace {

std::atomic<TFailedFolderRead*> Current{nullptr};

} // namespace

TFailedFolderRead::TFailedFolderRead(const std::string& Folder, int FailingRead)
    : FFolder(std::filesystem::canonical(Folder).string()), FFailingRead(FailingRead),
      FSavedRead(DDKReadFolderEntries)
{
    TFailedFolderRead* none = nullptr;
    if (!Current.compare_exchange_strong(none, this))
        throw std::logic_error("one failing folder at a time");
    DDKReadFolderEntries = Read;
}

TFailedFolderRead::~TFailedFolderRead()
{
    DDKReadFolderEntries = FSavedRead;
    Current = nullptr;
}

ssize_t TFailedFolderRead::Read(int Fd, void* Buffer, std::size_t Size)
{
    TFailedFolderRead& failure = *Current;
    char path[PATH_MAX];
    const ssize_t length = ::readlink(("/proc/self/fd/" + std::to_string(Fd)).c_str(), path, sizeof path);
    if (length > 0 && std::string_view(path, static_cast<std::size_t>(length)) == failure.FFolder &&
        ++failure.FReads == failure.FFailingRead) {
        errno = EIO;
        return -1;
    }
    return failure.FSavedRead(Fd, Buffer, Size);
}

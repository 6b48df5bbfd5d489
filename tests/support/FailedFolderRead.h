// A failing disc under one folder, for tests: the Nth read of the folder's
// entries (counted from 1 over every listing of it, by any thread) answers
// EIO. In force while the object lives; one at a time.
#pragma once

#include "DDKFiles.h"

#include <atomic>
#include <cstddef>
#include <string>

class TFailedFolderRead
{
public:
    TFailedFolderRead(const std::string& Folder, int FailingRead);
    ~TFailedFolderRead();
    TFailedFolderRead(const TFailedFolderRead&) = delete;
    TFailedFolderRead& operator=(const TFailedFolderRead&) = delete;

    // Whether the failing read came.
    bool Failed() const { return FReads >= FFailingRead; }

private:
    static ssize_t Read(int Fd, void* Buffer, std::size_t Size);

    std::string FFolder; // as the system names it, links resolved
    int FFailingRead;
    std::atomic<int> FReads{0};
    TDDKReadFolderEntries FSavedRead;
};

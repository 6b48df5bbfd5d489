#include "DDKFiles.h"

#include "DDKError.h"
#include "DDKStrings.h"
#include "DDKSystem.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using TStat = struct stat;

// A file descriptor closed when it goes out of scope.
class TFileHandle
{
public:
    explicit TFileHandle(int Fd) : FFd(Fd) {}
    ~TFileHandle()
    {
        if (FFd >= 0)
            ::close(FFd);
    }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;

    int Get() const { return FFd; }
    bool Valid() const { return FFd >= 0; }
    // Closes now so that a failure of the close itself is reported.
    bool Close()
    {
        const int fd = FFd;
        FFd = -1;
        return ::close(fd) == 0;
    }

private:
    int FFd;
};

[[noreturn]] void RaiseSystemError(int Code)
{
    throw EDDKError(DDKSysErrorMessage(Code));
}

void WriteAll(int Fd, std::string_view Bytes)
{
    while (!Bytes.empty()) {
        const ssize_t written = ::write(Fd, Bytes.data(), Bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            RaiseSystemError(errno);
        }
        Bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

// Creates FileName or appends to it, writes Bytes and closes it; raises the
// system's message on any failure.
void WriteToFile(const std::string& FileName, std::string_view Bytes, bool Overwrite)
{
    TFileHandle file(
        ::open(FileName.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (Overwrite ? O_TRUNC : O_APPEND), 0666));
    if (!file.Valid())
        RaiseSystemError(errno);
    WriteAll(file.Get(), Bytes);
    if (!file.Close())
        RaiseSystemError(errno);
}

// The characters a file name may not hold whatever the mode: controls, the
// signs reserved by the common file systems and shells, the code points of
// the Windows code page that show nothing, the small tilde, the no-break space
// and the soft hyphen. The backslash stays forbidden so that names stay valid
// on the Windows shares media centres often read.
bool IsForbidden(char32_t C, bool IsFileName)
{
    if (C <= 31)
        return true;
    switch (C) {
    case U'"':
    case U'*':
    case U':':
    case U'<':
    case U'>':
    case U'?':
    case U'|':
    case U'\\':
    case 0x7F:
    case 0x81:
    case 0x8D:
    case 0x8F:
    case 0x90:
    case 0x9D:
    case 0x2DC:
    case 0xA0:
    case 0xAD:
        return true;
    case U'/':
        return IsFileName;
    default:
        return false;
    }
}

std::string ClearPathPart(std::string_view Part)
{
    std::string result = DDKTrim(Part);
    if (result == "." || result == "..")
        return result;
    while (!result.empty() && (result.back() == '.' || result.back() == ' '))
        result.pop_back();
    return result;
}

} // namespace

// --- Path text ---------------------------------------------------------------

std::string DDKExtractFilePath(std::string_view FileName)
{
    const std::size_t slash = FileName.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(FileName.substr(0, slash + 1));
}

std::string DDKExtractFileName(std::string_view FileName)
{
    const std::size_t slash = FileName.rfind('/');
    return std::string(slash == std::string_view::npos ? FileName : FileName.substr(slash + 1));
}

std::string DDKExtractFileExt(std::string_view FileName)
{
    const std::size_t dot = FileName.rfind('.');
    const std::size_t slash = FileName.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return {};
    return std::string(FileName.substr(dot));
}

std::string DDKChangeFileExt(std::string_view FileName, std::string_view Extension)
{
    const std::size_t extensionLength = DDKExtractFileExt(FileName).size();
    std::string result(FileName.substr(0, FileName.size() - extensionLength));
    result += Extension;
    return result;
}

std::string DDKIncludeTrailingPathDelimiter(std::string_view Path)
{
    std::string result(Path);
    if (result.empty() || result.back() != '/')
        result += '/';
    return result;
}

std::string DDKExcludeTrailingPathDelimiter(std::string_view Path)
{
    std::string result(Path);
    if (result.size() > 1 && result.back() == '/')
        result.pop_back();
    return result;
}

// --- Folder entries ----------------------------------------------------------

const TDDKFolderEntry* TDDKFolderListing::Find(std::string_view Name) const
{
    for (const TDDKFolderEntry& entry : FEntries)
        if (entry.Name == Name)
            return &entry;
    return nullptr;
}

TDDKReadFolderEntries DDKReadFolderEntries = ::getdents64;

TDDKFolderListing DDKListFolder(std::string_view Dir, TDDKFolderIdentity* Identity)
{
    int readError = 0;
    TDDKFolderListing listing = DDKListFolder(Dir, Identity, readError);
    if (readError != 0)
        throw EDDKError(DDKFormat("[DDKListFolder] Le dossier \"%s\" n'a pas pu être lu jusqu'au bout : %s",
                                  DDKExcludeTrailingPathDelimiter(Dir).c_str(),
                                  DDKSysErrorMessage(readError).c_str()));
    return listing;
}

TDDKFolderListing DDKListFolder(std::string_view Dir, TDDKFolderIdentity* Identity, int& ReadError)
{
    ReadError = 0;
    TDDKFolderListing listing;
    // An empty folder name would turn into "/" and hand the whole disc to
    // ListFiles and DeleteFolder.
    if (Dir.empty())
        return listing;
    // Read straight from the folder: the directory stream of the C library
    // would look at the folder once more just to open it. Opened first as the
    // name itself, not what it may lead to, so that the opening tells
    // whether the name is a link; a link is then followed, as a trailing '/'
    // makes the system do.
    constexpr int Flags = O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC;
    // The name without its trailing '/', in room kept from one listing to
    // the next.
    thread_local std::string unslashed;
    unslashed.assign(Dir);
    if (unslashed.size() > 1 && unslashed.back() == '/')
        unslashed.pop_back();
    int fd = ::open(unslashed.c_str(), Flags | O_NOFOLLOW);
    if (fd < 0 && (errno == ENOTDIR || errno == ELOOP)) {
        fd = ::open(DDKIncludeTrailingPathDelimiter(Dir).c_str(), Flags);
        listing.FThroughLink = fd >= 0;
    }
    TFileHandle folder(fd);
    if (!folder.Valid())
        return listing;
    listing.FOpened = true;
    if (Identity != nullptr) {
        // The folder opened, not the entry that named it: a mount point or a
        // link shows here what it leads to.
        TStat status = {};
        if (::fstat(folder.Get(), &status) == 0)
            *Identity = {status.st_dev, status.st_ino};
    }
    // Gathered in buffers kept from one listing to the next, then copied
    // into two allocations of the right size.
    thread_local std::vector<TDDKFolderEntry> entries;
    thread_local std::vector<char> names;
    thread_local std::vector<std::size_t> starts;
    entries.clear();
    names.clear();
    starts.clear();
    alignas(dirent64) char buffer[32768];
    for (;;) {
        const ssize_t size = DDKReadFolderEntries(folder.Get(), buffer, sizeof buffer);
        if (size < 0 && errno == EINTR)
            continue;
        if (size < 0)
            ReadError = errno; // no end of the folder: the caller is told
        if (size <= 0)
            break;
        for (ssize_t at = 0; at < size;) {
            const auto* item = reinterpret_cast<const dirent64*>(buffer + at);
            at += item->d_reclen;
            const std::string_view name = item->d_name;
            if (name == "." || name == "..")
                continue;
            TDDKFolderEntry entry;
            entry.IsHidden = name.front() == '.';
            // The listing names the kind of most entries; only links, which
            // lead elsewhere, and entries of a kind it does not know need a look.
            if (item->d_type == DT_LNK || item->d_type == DT_UNKNOWN) {
                TStat status = {};
                if (::fstatat(folder.Get(), item->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
                    continue; // vanished since it was listed
                entry.IsSymLink = S_ISLNK(status.st_mode);
                // A link leads to what it names; a dangling one is neither
                // file nor folder.
                if (entry.IsSymLink && ::fstatat(folder.Get(), item->d_name, &status, 0) != 0)
                    status.st_mode = S_IFLNK;
                entry.IsDirectory = S_ISDIR(status.st_mode);
                entry.IsRegular = S_ISREG(status.st_mode);
            } else {
                entry.IsDirectory = item->d_type == DT_DIR;
                entry.IsRegular = item->d_type == DT_REG;
            }
            starts.push_back(names.size());
            names.insert(names.end(), name.begin(), name.end());
            entries.push_back(entry);
        }
    }
    listing.FNames.assign(names.begin(), names.end());
    listing.FEntries.assign(entries.begin(), entries.end());
    // The names stay where they are now, also when the listing moves.
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : listing.FNames.size();
        listing.FEntries[i].Name = {listing.FNames.data() + starts[i], end - starts[i]};
    }
    if (entries.capacity() > 4096) { // only an ordinary folder's room is kept
        std::vector<TDDKFolderEntry>().swap(entries);
        std::vector<char>().swap(names);
        std::vector<std::size_t>().swap(starts);
    }
    return listing;
}

// --- Files -------------------------------------------------------------------

std::int32_t DDKGetFileSize(const std::string& FileName)
{
    TFileHandle file(::open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    TStat status = {};
    if (!file.Valid() || ::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode))
        return -1;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(status.st_size));
}

TDDKFileLook DDKLookAtFile(const std::string& FileName)
{
    TStat status = {};
    if (DDKBlank(FileName) || ::stat(FileName.c_str(), &status) != 0 || S_ISDIR(status.st_mode))
        return {};
    // A plain file with bytes is filled whether or not it can be opened; any
    // other is asked the long way.
    return {true, (S_ISREG(status.st_mode) && status.st_size > 0) || DDKGetFileSize(FileName) != 0};
}

bool DDKFileFilled(const std::string& FileName)
{
    return DDKLookAtFile(FileName).Filled;
}

void DDKWriteLine(const std::string& FileName, std::string_view Line, bool Overwrite)
{
    DDKTagged(DDKFormat("[%s][FileName=%s] ", "DDKWriteLine", FileName.c_str()), [&] {
        std::string bytes(Line);
        bytes += "\r\n";
        WriteToFile(FileName, bytes, Overwrite);
    });
}

void DDKWriteText(const std::string& FileName, std::string_view Text, bool Overwrite)
{
    WriteToFile(FileName, Text, Overwrite);
}

std::string DDKLoadFile(const std::string& FileName, std::size_t MaxSize)
{
    TStat status = {};
    return DDKLoadFile(FileName, status, MaxSize);
}

std::string DDKLoadFile(const std::string& FileName, struct stat& Status, std::size_t MaxSize)
{
    // Opened without waiting: a pipe would otherwise hold the caller until
    // someone writes into it, which may be never.
    TFileHandle file(::open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.Get() < 0 || ::fstat(file.Get(), &Status) != 0)
        throw EDDKError(DDKFormat("Unable to open the file \"%s\": %s", FileName.c_str(),
                                  DDKSysErrorMessage(errno).c_str()));
    if (!S_ISREG(Status.st_mode))
        throw EDDKError(DDKFormat("Unable to open the file \"%s\": not a plain file", FileName.c_str()));
    const auto tooLarge = [&] {
        return EDDKError(
            DDKFormat("Unable to read the file \"%s\": larger than %zu bytes", FileName.c_str(), MaxSize));
    };
    if (static_cast<std::uintmax_t>(Status.st_size) > MaxSize)
        throw tooLarge();
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(file.Get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            throw EDDKError(DDKFormat("Unable to read the file \"%s\": %s", FileName.c_str(),
                                      DDKSysErrorMessage(errno).c_str()));
        if (count == 0)
            return bytes;
        // The file may grow while it is read.
        if (static_cast<std::size_t>(count) > MaxSize - bytes.size())
            throw tooLarge();
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
}

bool DDKFileExists(const std::string& FileName)
{
    TStat status = {};
    return !DDKBlank(FileName) && ::stat(FileName.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

TDDKFileState DDKFileState(const std::string& FileName, int& Error)
{
    Error = 0;
    TStat status = {};
    if (::stat(FileName.c_str(), &status) == 0)
        return S_ISDIR(status.st_mode) ? TDDKFileState::Gone : TDDKFileState::Present;
    if (errno != ENOENT && errno != ENOTDIR) {
        Error = errno;
        return TDDKFileState::Unknown;
    }
    // Missing. A link that leads nowhere most likely leads to a disc that is
    // not mounted now; the file's own folder can tell that the file is gone;
    // a folder missing on the way may belong to a volume not there for now.
    if (::lstat(FileName.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
        Error = ENOMEDIUM;
        return TDDKFileState::Unknown;
    }
    std::string folder = DDKExcludeTrailingPathDelimiter(DDKExtractFilePath(FileName));
    for (bool ownFolder = true; !folder.empty(); ownFolder = false) {
        if (::stat(folder.c_str(), &status) == 0) {
            // An empty folder above a missing one is what an unmounted
            // volume leaves of itself: its mount point. One entry read is
            // enough to tell it is not empty; a read that fails before any
            // tells nothing.
            int readError = 0;
            if (ownFolder || !S_ISDIR(status.st_mode) || !DDKListFolder(folder, nullptr, readError).empty())
                return TDDKFileState::Gone;
            Error = readError != 0 ? readError : ENOMEDIUM;
            return TDDKFileState::Unknown;
        }
        if (errno != ENOENT) {
            Error = errno;
            return TDDKFileState::Unknown;
        }
        if (::lstat(folder.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
            Error = ENOMEDIUM;
            return TDDKFileState::Unknown;
        }
        if (folder == "/")
            break;
        folder = DDKExcludeTrailingPathDelimiter(DDKExtractFilePath(folder));
    }
    return TDDKFileState::Gone;
}

std::string DDKClearPath(std::string_view Path, std::string_view Replace, bool IsFileName)
{
    return DDKTagged("[DDKClearPath] ", [&] {
        const std::string trimmed = DDKTrim(Path);
        std::string cleaned;
        cleaned.reserve(trimmed.size());
        for (std::size_t position = 0; position < trimmed.size();) {
            const std::size_t start = position;
            const char32_t character = DDKNextChar(trimmed, position);
            if (IsForbidden(character, IsFileName))
                cleaned += Replace;
            else
                cleaned.append(trimmed, start, position - start);
        }
        if (IsFileName)
            return cleaned;

        TDDKStringList parts;
        DDKSplit(parts, cleaned, "/");
        std::string result;
        for (int index = 0; index < parts.Count(); ++index) {
            if (index > 0)
                result += '/';
            result += ClearPathPart(parts[index]);
        }
        return result;
    });
}

// --- Listing and deleting ----------------------------------------------------

std::string DDKGetRealFileName(std::string_view Dir, std::string_view Name)
{
    return DDKGetRealFileName(Dir, Name, DDKListFolder(Dir));
}

std::string DDKGetRealFileName(std::string_view Dir, std::string_view Name,
                               const TDDKFolderListing& Entries)
{
    // The file system gives no stable order; the first in sorted order is taken
    // so that the same folder always gives the same answer.
    const TDDKWildcard mask(Name);
    std::string best;
    for (const TDDKFolderEntry& entry : Entries)
        if (entry.IsRegular && !entry.IsSymLink && mask.Matches(entry.Name) &&
            (best.empty() || DDKLocaleCompareText(entry.Name, best) < 0))
            best = entry.Name;
    return best.empty() ? best : DDKIncludeTrailingPathDelimiter(Dir) + best;
}

std::int32_t ListFiles(std::string_view Dir, std::string_view Mask, bool Recursive, TDDKStringList& List)
{
    const std::string folder = DDKIncludeTrailingPathDelimiter(Dir);
    std::int32_t count = 0;
    for (const TDDKFolderEntry& entry : DDKListFolder(Dir)) {
        if (!DDKMatchWildcard(entry.Name, Mask))
            continue;
        // A link is removed as itself: following it would reach files outside
        // the tree (and loop for ever on a link to a parent).
        const bool isFolder = entry.IsDirectory && !entry.IsSymLink;
        if (isFolder) {
            if (Recursive)
                count += ListFiles(std::string(folder).append(entry.Name), Mask, true, List);
            continue;
        }
        List.Add(std::string(folder).append(entry.Name));
        ++count;
    }
    return count;
}

bool DeleteFiles(std::string_view Dir, std::string_view Mask, bool Recursive)
{
    TDDKStringList files;
    ListFiles(Dir, Mask, Recursive, files);
    files.SetSorted(true);
    for (const TDDKStringItem& file : files)
        if (::unlink(file.String.c_str()) != 0)
            return false;
    return true;
}

bool DeleteFolder(std::string_view Dir)
{
    DeleteFiles(Dir, "*", true);
    return ::rmdir(DDKExcludeTrailingPathDelimiter(Dir).c_str()) == 0;
}

// --- Putting files in place --------------------------------------------------

namespace {

// The copies DDKSaveFileAtomic writes: ".vantry-<process id>-<count>.tmp".
constexpr std::string_view TemporaryPrefix = ".vantry-";
constexpr std::string_view TemporarySuffix = ".tmp";

std::string TemporaryName(const std::string& Folder, unsigned Count)
{
    return Folder + std::string(TemporaryPrefix) + std::to_string(::getpid()) + "-" + std::to_string(Count) +
           std::string(TemporarySuffix);
}

// The process that wrote the copy Name, or 0 when Name is no such copy.
pid_t WriterOfTemporary(std::string_view Name)
{
    if (!Name.starts_with(TemporaryPrefix) || !Name.ends_with(TemporarySuffix))
        return 0;
    Name = Name.substr(TemporaryPrefix.size(), Name.size() - TemporaryPrefix.size() - TemporarySuffix.size());
    const std::size_t dash = Name.find('-');
    if (dash == std::string_view::npos || dash == 0 || dash + 1 == Name.size() ||
        Name.find_first_not_of("0123456789-") != std::string_view::npos ||
        Name.find('-', dash + 1) != Name.npos)
        return 0;
    return static_cast<pid_t>(DDKStrToIntDef(Name.substr(0, dash), 0));
}

// Where the bytes of a save go, and the permissions they get: a link is
// followed to the file it leads to, and a file replaced hands on its mode.
struct TSaveTarget
{
    std::string Path;
    bool Replaces = false;
    mode_t Mode = 0;
};

TSaveTarget SaveTarget(const std::string& FileName)
{
    TStat status = {};
    if (::lstat(FileName.c_str(), &status) != 0) {
        if (errno != ENOENT)
            RaiseSystemError(errno);
        return {FileName};
    }
    TSaveTarget target{FileName, true, 0};
    if (S_ISLNK(status.st_mode)) {
        char* real = ::realpath(FileName.c_str(), nullptr);
        if (real == nullptr)
            throw EDDKError(
                DDKFormat("a symbolic link that leads nowhere (%s)", DDKSysErrorMessage(errno).c_str()));
        target.Path = real;
        std::free(real);
        if (::stat(target.Path.c_str(), &status) != 0)
            RaiseSystemError(errno);
    }
    if (!S_ISREG(status.st_mode))
        throw EDDKError("not a plain file");
    target.Mode = status.st_mode & 07777;
    return target;
}

} // namespace

void DDKSaveFileAtomic(const std::string& FileName, std::string_view Bytes, bool Durable)
{
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    try {
        const TSaveTarget target = SaveTarget(FileName);
        const std::string folder = DDKExtractFilePath(target.Path);
        int fd = -1;
        // A name of our own rather than mkstemp's, so that a new file gets the
        // usual permissions (0666 less the umask) and not mkstemp's 0600. Not
        // derived from the target's name, which may already be as long as a
        // name can be.
        for (int attempt = 0; fd < 0; ++attempt) {
            temporary = TemporaryName(folder, counter.fetch_add(1));
            fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && (errno != EEXIST || attempt > 100)) {
                temporary.clear();
                RaiseSystemError(errno);
            }
        }
        TFileHandle file(fd);
        WriteAll(file.Get(), Bytes);
        if ((target.Replaces && ::fchmod(file.Get(), target.Mode) != 0) ||
            (Durable && ::fsync(file.Get()) != 0) || !file.Close() ||
            ::rename(temporary.c_str(), target.Path.c_str()) != 0)
            RaiseSystemError(errno);
    } catch (...) {
        const std::string message = DDKCurrentErrorMessage();
        if (!temporary.empty())
            ::unlink(temporary.c_str());
        throw EDDKError(DDKFormat("%s: %s", FileName.c_str(), message.c_str()));
    }
}

bool DDKRemoveStaleTemporaryFile(const std::string& FileName)
{
    const pid_t writer = WriterOfTemporary(DDKExtractFileName(FileName));
    // A process that still runs may be about to rename its copy; one that
    // the system no longer knows never will.
    if (writer <= 0 || writer == ::getpid() || ::kill(writer, 0) == 0 || errno != ESRCH)
        return false;
    TStat status = {};
    return ::lstat(FileName.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           ::unlink(FileName.c_str()) == 0;
}

int DDKRemoveStaleTemporaryFiles(std::string_view Dir)
{
    int count = 0;
    const std::string folder = DDKIncludeTrailingPathDelimiter(Dir);
    for (const TDDKFolderEntry& entry : DDKListFolder(Dir))
        if (entry.IsRegular && !entry.IsSymLink && WriterOfTemporary(entry.Name) > 0)
            count += DDKRemoveStaleTemporaryFile(std::string(folder).append(entry.Name));
    return count;
}

bool DDKRenameNoReplace(const std::string& OldName, const std::string& NewName)
{
    if (::renameat2(AT_FDCWD, OldName.c_str(), AT_FDCWD, NewName.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return false;
    // The file system cannot refuse an existing target by itself: a hard link
    // can (it fails on an existing name), then the old name goes.
    if (::link(OldName.c_str(), NewName.c_str()) == 0) {
        if (::unlink(OldName.c_str()) == 0)
            return true;
        const int code = errno;
        ::unlink(NewName.c_str());
        errno = code;
        return false;
    }
    if (errno == EEXIST)
        return false;
    // No hard links here (or a folder): test first, then rename.
    TStat status = {};
    if (::lstat(NewName.c_str(), &status) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(OldName.c_str(), NewName.c_str()) == 0;
}

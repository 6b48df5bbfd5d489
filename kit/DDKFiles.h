// File and folder helpers: path text, sizes, appending text, cleaning names,
// listing and deleting, and the two safe ways of putting a file in place
// (atomic save, rename that never replaces). Paths use '/' as separator.
#pragma once

#include "DDKStringList.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

// --- Path text ---------------------------------------------------------------

// The folder part of FileName, with its trailing '/' ("" when there is none).
std::string DDKExtractFilePath(std::string_view FileName);
// The part after the last '/'.
std::string DDKExtractFileName(std::string_view FileName);
// The extension of the name part, dot included ("" when the name has no dot).
std::string DDKExtractFileExt(std::string_view FileName);
// FileName with its extension replaced by Extension (dot included, may be empty).
std::string DDKChangeFileExt(std::string_view FileName, std::string_view Extension);
// Path with exactly the trailing '/' it had, or one added when it had none.
std::string DDKIncludeTrailingPathDelimiter(std::string_view Path);
// Path without its trailing '/' ("/" itself stays).
std::string DDKExcludeTrailingPathDelimiter(std::string_view Path);

// --- Folder entries ----------------------------------------------------------

struct TDDKFolderEntry
{
    std::string_view Name;    // valid as long as the listing it came from
    bool IsDirectory = false; // a folder, or a symbolic link to one
    bool IsRegular = false;   // a plain file, or a symbolic link to one
    bool IsSymLink = false;
    bool IsHidden = false; // the name starts with a dot
};

// What a folder is on disc, whatever path leads to it.
struct TDDKFolderIdentity
{
    dev_t Device = 0;
    ino_t Inode = 0;
    auto operator<=>(const TDDKFolderIdentity&) const = default;
    bool operator==(const TDDKFolderIdentity&) const = default;
};

// The entries of one folder, their names kept together in one buffer rather
// than one string each: most entries listed are looked at and let go.
class TDDKFolderListing
{
public:
    TDDKFolderListing() = default;
    TDDKFolderListing(TDDKFolderListing&&) noexcept = default;
    TDDKFolderListing& operator=(TDDKFolderListing&&) noexcept = default;
    // Entries point into the names: a copy would point into the original.
    TDDKFolderListing(const TDDKFolderListing&) = delete;
    TDDKFolderListing& operator=(const TDDKFolderListing&) = delete;

    bool empty() const { return FEntries.empty(); }
    std::size_t size() const { return FEntries.size(); }
    std::vector<TDDKFolderEntry>::const_iterator begin() const { return FEntries.begin(); }
    std::vector<TDDKFolderEntry>::const_iterator end() const { return FEntries.end(); }
    // The entry named exactly Name, or null.
    const TDDKFolderEntry* Find(std::string_view Name) const;
    // Whether the folder could be opened, and whether the name it was listed
    // by is itself a symbolic link to it: what a look at that name would tell.
    bool Opened() const { return FOpened; }
    bool ThroughLink() const { return FThroughLink; }

private:
    friend TDDKFolderListing DDKListFolder(std::string_view Dir, TDDKFolderIdentity* Identity,
                                           int& ReadError);
    std::vector<char> FNames;
    std::vector<TDDKFolderEntry> FEntries;
    bool FOpened = false;
    bool FThroughLink = false;
};

// The entries of folder Dir in the order the file system gives them, "." and
// ".." left out; empty when the folder cannot be opened or Dir is empty.
// Only entries whose kind the listing does not tell (links, unknown kinds)
// cost a look of their own. Identity, when given, receives what the folder
// listed is (and is left alone when it cannot be listed); it costs the only
// other look. A folder opened but not read to its end raises
// "[DDKListFolder] Le dossier \"<Dir>\" n'a pas pu être lu jusqu'au bout : <reason>":
// what is missing from a short listing is no more gone than the rest.
TDDKFolderListing DDKListFolder(std::string_view Dir, TDDKFolderIdentity* Identity = nullptr);
// The same without raising, for a caller that has a way of its own to say
// "cannot tell": ReadError receives the system's error number when the
// folder was not read to its end (the entries read before are kept), else 0.
TDDKFolderListing DDKListFolder(std::string_view Dir, TDDKFolderIdentity* Identity, int& ReadError);

// The system call that reads a folder's entries, getdents64 unless a test
// puts in one that fails as a failing disc does.
using TDDKReadFolderEntries = ssize_t (*)(int Fd, void* Buffer, std::size_t Size);
extern TDDKReadFolderEntries DDKReadFolderEntries;

// --- Files -------------------------------------------------------------------

// Size in bytes (low 32 bits), or -1 when FileName cannot be opened as a
// plain file (pipes, sockets and devices included).
std::int32_t DDKGetFileSize(const std::string& FileName);
// What one look at a file tells: whether it is there (DDKFileExists), and
// whether it holds bytes or cannot be opened (DDKGetFileSize != 0), so that
// a file we fill and find empty is filled again while one we cannot read is
// left alone.
struct TDDKFileLook
{
    bool Exists = false;
    bool Filled = false;
};
// Most often one look; a file that is not plain or is empty is opened too.
TDDKFileLook DDKLookAtFile(const std::string& FileName);
// DDKLookAtFile(FileName).Filled: whether a file we fill is there and not
// left empty.
bool DDKFileFilled(const std::string& FileName);

// Appends Line and CR LF to FileName (Overwrite: the file is emptied first).
// Failures raise "[DDKWriteLine][FileName=<name>] <system message>".
void DDKWriteLine(const std::string& FileName, std::string_view Line, bool Overwrite);
// Appends Text unchanged (Overwrite: the file is emptied first); failures raise
// the system's message.
void DDKWriteText(const std::string& FileName, std::string_view Text, bool Overwrite);

// The whole content of the plain file FileName; failures raise "Unable to
// open the file \"<name>\": <system message>" (or "Unable to read ...").
// A pipe, a socket or a device is refused without waiting on it, and so is a
// file of more than MaxSize bytes, before more than that is read.
std::string DDKLoadFile(const std::string& FileName, std::size_t MaxSize = SIZE_MAX);
// The same; Status receives what the file read was when it was opened.
std::string DDKLoadFile(const std::string& FileName, struct stat& Status, std::size_t MaxSize = SIZE_MAX);

// True when FileName names an existing entry that is not a folder.
bool DDKFileExists(const std::string& FileName);

// Whether a file is there now. Only a missing entry counts as gone: a file
// that cannot be examined for the moment (no permission, an I/O error, a
// volume that is not mounted) is Unknown, with the system's error number in
// Error (ENOMEDIUM for a volume that is not there). A folder counts as gone.
enum class TDDKFileState { Present, Gone, Unknown };
TDDKFileState DDKFileState(const std::string& FileName, int& Error);

// Path trimmed and cleaned of the characters a file name may not hold, each
// replaced by Replace (may be empty). IsFileName: '/' is forbidden too;
// otherwise every part between '/' is trimmed and loses its trailing dots and
// blanks ("." and ".." stay). Bytes that are not UTF-8 pass unchanged.
std::string DDKClearPath(std::string_view Path, std::string_view Replace, bool IsFileName);

// Dir + '/' + the name, as stored on disc, of the first plain file of Dir
// matching the wildcard Name; "" when none does. Folders, symbolic links,
// pipes and devices are passed over. Raises when Dir cannot be read to its
// end (DDKListFolder).
std::string DDKGetRealFileName(std::string_view Dir, std::string_view Name);
// The same, from Entries already listed from Dir.
std::string DDKGetRealFileName(std::string_view Dir, std::string_view Name,
                               const TDDKFolderListing& Entries);

// Adds to List the full paths of Dir's files matching Mask ('*' is every name).
// Recursive: also the files of the subfolders whose own name matches Mask; a
// symbolic link is listed as a file and never followed. Returns the number added.
// A folder of the tree that cannot be read to its end raises (DDKListFolder).
std::int32_t ListFiles(std::string_view Dir, std::string_view Mask, bool Recursive, TDDKStringList& List);
// Deletes the files ListFiles gives, in sorted order, stopping at the first
// failure; true when every one was deleted. Everything is listed before
// anything is deleted, so a folder of the tree that cannot be read to its end
// raises with nothing deleted.
bool DeleteFiles(std::string_view Dir, std::string_view Mask, bool Recursive);
// Deletes every file of the tree below Dir, then removes Dir itself; true when
// Dir was removed (never when a subfolder is left). Raises, with nothing
// deleted, as DeleteFiles does.
bool DeleteFolder(std::string_view Dir);

// --- Putting files in place --------------------------------------------------

// Writes Bytes beside FileName, flushes them to disc and renames the copy over
// FileName, so a reader sees the old file or the new one, never a part. A
// file replaced keeps its permissions, and a symbolic link stays: the file it
// leads to is the one replaced. Anything but a plain file at FileName (a
// folder, a pipe, a link that leads nowhere) is refused. On failure nothing
// is left behind and EDDKError carries the system's message. Durable false
// skips the flush to disc, for a file that a later run fetches again when a
// crash left it missing or empty.
void DDKSaveFileAtomic(const std::string& FileName, std::string_view Bytes, bool Durable = true);

// Removes the copies that DDKSaveFileAtomic left in Dir when its process was
// stopped before the rename; the copies of processes still running stay.
// Returns how many were removed. Raises, with nothing removed, when Dir
// cannot be read to its end.
int DDKRemoveStaleTemporaryFiles(std::string_view Dir);
// The same for one file: true when FileName was such a copy and is removed.
bool DDKRemoveStaleTemporaryFile(const std::string& FileName);

// Renames OldName to NewName unless NewName exists (then errno is EEXIST).
// False on failure with errno set, as the system's own rename call does.
bool DDKRenameNoReplace(const std::string& OldName, const std::string& NewName);

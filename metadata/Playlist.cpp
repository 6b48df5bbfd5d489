// The playlist movie.asx of a library folder. It names the movie file, or both
// part files of a two-file movie in part order, and is also the library's
// memory of which movie file belongs to which folder.
#include "MetadataValues.h"
#include "UnitMetadata.h"

#include "DDKError.h"
#include "DDKFiles.h"
#include "DDKOpenTable.h"
#include "DDKStrings.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include <sys/stat.h>

namespace {

constexpr const char* PlaylistTemplate = "<asx version=\"3.0\"></asx>";

// Whether Node is an element named Name, a-z case ignored, as the playlist's
// readers have always matched names.
bool IsElement(const pugi::xml_node& Node, std::string_view Name)
{
    return Node.type() == pugi::node_element && DDKSameText(Node.name(), Name);
}

} // namespace

// The references to movie files, in document order: the "href" attributes of
// the "ref" elements of the "entry" elements of the root "asx" element.
// Walked rather than searched: it is read for every playlist of the library.
TMetadata::TReferences TMetadata::FileReferences() const
{
    TReferences references;
    for (const pugi::xml_node& asx : FXmlModel.children())
        if (IsElement(asx, "asx"))
            for (const pugi::xml_node& entry : asx.children())
                if (IsElement(entry, "entry"))
                    for (const pugi::xml_node& ref : entry.children())
                        if (IsElement(ref, "ref"))
                            for (const pugi::xml_attribute& href : ref.attributes())
                                if (DDKSameText(href.name(), "href"))
                                    references.push_back(href);
    return references;
}

namespace {

void AppendEntry(pugi::xml_node Entry, const TMovieInfo& Movie)
{
    Entry.append_child("title").text().set(Movie.Title.c_str());
    Entry.append_child("ref").append_attribute("href").set_value(Movie.FileName.c_str());
}

} // namespace

TMetadata::TFileStamp TMetadata::StampOf(const struct stat& Status)
{
    return {static_cast<std::int64_t>(Status.st_dev),          static_cast<std::int64_t>(Status.st_ino),
            static_cast<std::int64_t>(Status.st_size),         static_cast<std::int64_t>(Status.st_mtim.tv_sec),
            static_cast<std::int64_t>(Status.st_mtim.tv_nsec), static_cast<std::int64_t>(Status.st_ctim.tv_sec),
            static_cast<std::int64_t>(Status.st_ctim.tv_nsec)};
}

std::optional<std::string_view> TMetadata::RememberedPlaylist(const std::string& FileName, TFileStamp& Stamp,
                                                              bool& Exists) const
{
    struct stat status = {};
    Exists = false;
    if (::stat(FileName.c_str(), &status) != 0) {
        Stamp = {};
        return std::nullopt;
    }
    // As DDKFileExists tells it.
    Exists = !S_ISDIR(status.st_mode) && !DDKBlank(FileName);
    Stamp = StampOf(status);
    return Remembered(Stamp);
}

namespace {

// A playlist is found by its file's identity: device and inode.
std::uint64_t IdentityHash(const std::array<std::int64_t, 7>& Stamp)
{
    return DDKIdentityHash(static_cast<std::uint64_t>(Stamp[0]), static_cast<std::uint64_t>(Stamp[1]));
}

// Whether a remembered playlist's slot is that of the file stamped Stamp.
auto HoldsFile(const std::array<std::int64_t, 7>& Stamp)
{
    return [&Stamp](const auto& Slot) { return Slot.Stamp[0] == Stamp[0] && Slot.Stamp[1] == Stamp[1]; };
}

} // namespace

std::optional<std::string_view> TMetadata::Remembered(const TFileStamp& Stamp) const
{
    const TPlaylistSlot* slot = FPlaylists.Find(IdentityHash(Stamp), HoldsFile(Stamp));
    if (slot == nullptr || !slot->Used || slot->Stamp != Stamp)
        return std::nullopt;
    return std::string_view(FPlaylistText).substr(slot->Start, slot->Length);
}

void TMetadata::RememberPlaylist(const TFileStamp& Stamp, const TReferences& References)
{
    // A file that could not be stamped is never taken as unchanged.
    if (Stamp == TFileStamp{})
        return;
    // File times move in steps of a few milliseconds: a file changed in the
    // same step as it was read would keep its stamp. Only a file left alone
    // for a while is remembered.
    if (static_cast<std::int64_t>(::time(nullptr)) - std::max(Stamp[3], Stamp[5]) <
        PlaylistSettleTime.count())
        return;
    // A run reads every playlist of the library, then each movie's once more:
    // enough for the libraries people keep (a few hundred bytes each), while
    // one past all reason does not keep every playlist in memory. A playlist
    // read again leaves its former text behind, which counts too.
    constexpr std::size_t MostKept = 65536;
    std::size_t length = 0;
    for (const pugi::xml_attribute& reference : References)
        length += std::strlen(reference.value()) + 1;
    const TPlaylistSlot* found = FPlaylists.Find(IdentityHash(Stamp), HoldsFile(Stamp));
    bool known = found != nullptr && found->Used;
    if ((FPlaylists.Count() >= MostKept && !known) || FPlaylistText.size() + length > PlaylistMemoryBytes) {
        FPlaylists.Clear();
        FPlaylistText.clear();
        known = false;
        if (length > PlaylistMemoryBytes)
            return;
    }
    if (!known)
        FPlaylists.MakeRoom([](const TPlaylistSlot& Slot) { return IdentityHash(Slot.Stamp); });
    TPlaylistSlot& slot = *FPlaylists.Find(IdentityHash(Stamp), HoldsFile(Stamp));
    if (!slot.Used)
        FPlaylists.Filled();
    slot.Used = true;
    slot.Stamp = Stamp;
    slot.Start = FPlaylistText.size();
    slot.Length = length;
    for (const pugi::xml_attribute& reference : References) {
        FPlaylistText += reference.value();
        FPlaylistText += '\0';
    }
}

void TMetadata::ForEachReference(std::string_view References,
                                 const std::function<bool(std::string_view Reference)>& Visit)
{
    for (std::size_t start = 0; start < References.size();) {
        const std::size_t end = References.find('\0', start);
        if (!Visit(References.substr(start, end - start)))
            return;
        start = end + 1;
    }
}

void TMetadata::CreateAsx(const std::string& FileName, const TMovieInfo& Movie, bool Overwrite)
{
    const auto tag = [&] {
        return DDKFormat(
            "[CreateAsx] [Erreur sur l'enregistrement du nom de fichier \"%s\" dans le fichier ASX \"%s\"] ",
            Movie.FileName.c_str(), FileName.c_str());
    };
    DDKTaggedBy(tag, [&] {
        // One look tells whether the playlist is there and whether it changed
        // since it was last read.
        TFileStamp stamp;
        bool exists = false;
        const std::optional<std::string_view> known =
            Overwrite ? std::nullopt : RememberedPlaylist(FileName, stamp, exists);
        if (!exists) {
            LoadXml(PlaylistTemplate);
            pugi::xml_node root = FXmlModel.document_element();
            pugi::xml_node param = root.append_child("param");
            param.append_attribute("name").set_value("encoding");
            param.append_attribute("value").set_value("UTF-8");
            AppendEntry(root.append_child("entry"), Movie);
            SaveXml(FileName);
            return;
        }

        bool listed = false;
        if (known)
            ForEachReference(*known, [&](std::string_view Reference) {
                listed = DDKSameText(Reference, Movie.FileName);
                return !listed;
            });
        if (listed)
            return; // already there: the file stays as it is
        struct stat status = {};
        LoadXml(DDKLoadFile(FileName, status), true);
        const TReferences references = FileReferences();
        RememberPlaylist(StampOf(status), references);
        if (references.empty())
            throw EDDKError("0 entry");
        for (const pugi::xml_attribute& reference : references)
            if (DDKSameText(reference.value(), Movie.FileName))
                return; // already there: the file stays as it is
        if (Movie.CdNumber == 0)
            throw EDDKError("1CD and already 1 entry");
        if (references.size() >= 2)
            throw EDDKError(DDKFormat("CD%d and already 2 entry", Movie.CdNumber));
        if (!DDKSameText(references.front().value(), Movie.OtherCdFile))
            throw EDDKError(DDKFormat("CD%d and bad twin file for the existing entry", Movie.CdNumber));

        // Part 1 goes before the entry already there, part 2 after it, so the
        // order never depends on which part was handled first.
        pugi::xml_node root = FXmlModel.document_element();
        pugi::xml_node entry =
            Movie.CdNumber == 1
                ? root.insert_child_before("entry", XmlSelect(FXmlModel, "/asx/entry").first().node())
                : root.append_child("entry");
        AppendEntry(entry, Movie);
        SaveXml(FileName);
    });
}

void TMetadata::ReadAsxEntries(const std::string& AsxFile, TDDKStringList& Strings)
{
    // Stamped by the look that opens it for reading; a playlist unchanged
    // since it was last read is not parsed again.
    struct stat status = {};
    const std::string bytes = DDKLoadFile(AsxFile, status);
    const TFileStamp stamp = StampOf(status);
    if (const std::optional<std::string_view> known = Remembered(stamp)) {
        ForEachReference(*known, [&](std::string_view Reference) {
            Strings.Add(std::string(Reference));
            return true;
        });
        return;
    }
    LoadXml(bytes, true);
    const TReferences references = FileReferences();
    for (const pugi::xml_attribute& reference : references)
        Strings.Add(reference.value());
    RememberPlaylist(stamp, references);
}

void TMetadata::RenameAsxEntry(const std::string& AsxFile, const std::string& OldHref,
                               const std::string& NewHref)
{
    LoadXmlFile(AsxFile);
    for (pugi::xml_attribute reference : FileReferences()) {
        if (DDKSameText(reference.value(), OldHref)) {
            reference.set_value(NewHref.c_str());
            break;
        }
    }
    // Saved also when nothing matched, so the file is always in our own form.
    SaveXml(AsxFile);
}

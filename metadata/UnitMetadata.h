// TMetadata reads every answer of the two movie services into movie records
// and search lists, and writes every file a media centre reads: the
// information files, the playlist, XBMC's setting, anomaly records and the
// poster cache.
//
// One object per owner (worker thread, search thread, main window); it is not
// shared between threads. Its one XML document is reused by every method:
// each load or template replaces what the document held before.
//
// Answers and files travel as byte buffers (std::string). Text stays UTF-8.
#pragma once

#include "DDKOpenTable.h"
#include "UnitTypes.h"

#include <pugixml.hpp>
#include <sys/stat.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class THttpObject;

class TMetadata
{
public:
    TMetadata();
    virtual ~TMetadata();
    TMetadata(const TMetadata&) = delete;
    TMetadata& operator=(const TMetadata&) = delete;

    // --- Movie records --------------------------------------------------------

    // ReadFicheAc on the whole content of FileName (a cached "allocine.*").
    // A file that cannot be read fails with the file layer's message, untagged.
    bool ReadFicheAcFile(const std::string& FileName, TMovieInfo& Movie);
    // Fills Movie from an AlloCine "movie" answer; true when it was JSON,
    // false when XML. Failures carry "[TMetadata.ReadFicheAc] ".
    bool ReadFicheAc(const std::string& Stream, TMovieInfo& Movie);
    // Fills BackdropUrl, TmdbId and Translated from a TMDb movie answer;
    // true when JSON. Failures carry "[TMetadata.ReadFicheTmdb] ".
    bool ReadFicheTmdb(const std::string& Stream, TMovieInfo& Movie);
    // S without simple markup tags: br tags become one blank, other plain
    // tags vanish, tags with attributes and entities stay.
    static std::string StripTags(std::string_view S);

    // --- Search answers -------------------------------------------------------

    // Empty List, then one record per result in answer order (Code, Title,
    // OriginalTitle). Failures carry "[TMetadata.ReadSearchAc] ".
    void ReadSearchAc(const std::string& Stream, TMovieList& List);
    // Empty List, then one record per result; Code holds the TMDb id.
    // Failures carry "[TMetadata.ReadSearchTmdb] ".
    void ReadSearchTmdb(const std::string& Stream, TMovieList& List);

    // --- Media-centre files (Overwrite false keeps an existing file) ---------

    void CreateNfo(const std::string& FileName, const TMovieInfo& Movie, bool Overwrite);
    void CreateMovieXml(const std::string& FileName, const TMovieInfo& Movie, bool Overwrite);
    void CreateStrm(const std::string& FileName, bool Overwrite);
    void CreateDvdId(const std::string& FileName, const std::string& Name, std::int32_t Id, bool Overwrite);
    void CreateDvdInfoCache(const std::string& FileName, const TMovieInfo& Movie, bool Overwrite);
    // Makes sure XBMC's settings file names backdrop.jpg as fanart; an
    // existing file is extended, never replaced: its comments, document type,
    // permissions and symbolic link stay.
    void CreateXbmcSettings(const std::string& FileName);

    // --- Playlist movie.asx ---------------------------------------------------

    // Writes a one-entry playlist, or adds the other part's entry to an
    // existing one so that part 1 always comes first.
    void CreateAsx(const std::string& FileName, const TMovieInfo& Movie, bool Overwrite);
    // Appends every entry's file reference to Strings, in document order.
    void ReadAsxEntries(const std::string& AsxFile, TDDKStringList& Strings);
    // Gives the first reference equal to OldHref the value NewHref; the
    // playlist is saved again in every case.
    void RenameAsxEntry(const std::string& AsxFile, const std::string& OldHref, const std::string& NewHref);
    // A playlist read is remembered, and not parsed again while unchanged on
    // disc, only once its file has been left alone this long.
    std::chrono::seconds PlaylistSettleTime{2};
    // The most bytes of references the playlists remembered keep; past it
    // they are forgotten and remembered anew.
    std::size_t PlaylistMemoryBytes = std::size_t{64} << 20;

    // --- Anomaly records and poster cache -------------------------------------

    // The name of the anomaly record of Movie for Source, in its ".xml" form:
    // the movie file's name for AlloCine, the AlloCine code for TMDb.
    static std::string AnomalyFileName(TSource Source, const TMovieInfo& Movie);
    // True while such a record waits for the user, in either of its forms.
    static bool AnomalyWaiting(TSource Source, const TMovieInfo& Movie);
    // Stores a search answer as an anomaly record (nothing when one exists).
    void AddAnomaly(const std::string& Stream, TSource Source, const TMovieInfo& Movie,
                    const std::string& McDir, const std::string& Words);
    // Downloads the missing thumbnail of every result into the cache folder.
    void SavePosterCache(const std::string& Stream, TSource Source, THttpObject& Http);
    // The largest thumbnail fetched into the cache, and read from it: one
    // weighs a few kilobytes, where a backdrop may weigh megabytes.
    static constexpr std::size_t ThumbnailLimit = std::size_t(256) << 10;

    // --- The document, for callers and tests ----------------------------------

    // The current document as it is saved: UTF-8 byte-order mark, the
    // declaration it was loaded or built with (if any), indented elements,
    // characters beyond ASCII written as themselves.
    std::string XmlBytes() const;

private:
    // Replaces the document by the one in Bytes (or the file). A document that
    // is not well-formed raises. Nothing is ever fetched nor any entity
    // expanded. Answers lose their comments, processing instructions and
    // DOCTYPE; files (and KeepMarkup) keep them, so that a file written back
    // stays the user's.
    void LoadXml(std::string_view Bytes, bool KeepMarkup = false);
    void LoadXmlFile(const std::string& FileName);
    // XmlBytes() to FileName, atomically: no reader sees a half-written file.
    void SaveXml(const std::string& FileName) const;

    void ReadFicheAcJson(const std::string& Stream, TMovieInfo& Movie);
    void ReadFicheAcXml(const std::string& Stream, TMovieInfo& Movie);
    // The replacement of one tag matched by StripTags, from its name.
    static std::string StripTagsReplace(std::string_view TagName);

    // One result's thumbnail into the cache folder; errors are dropped.
    void DownloadPoster(THttpObject& Http, std::string& Buffer, const std::string& Url,
                        const std::string& ServiceWord, const std::string& CodeText);

    // The file references of playlists read in this object's life, with the
    // file's identity and times when read: a playlist unchanged on disc is
    // not parsed again. Kept by the file's identity rather than its name,
    // and each playlist's references in one string, each ended by a null
    // character (which no reference holds): a run remembers every playlist
    // of the library at once.
    using TFileStamp = std::array<std::int64_t, 7>;
    // One remembered playlist, found by the file's identity (device and inode, Stamp[0] and Stamp[1]);
    // its references are Length bytes of FPlaylistText from Start.
    struct TPlaylistSlot
    {
        TFileStamp Stamp{};
        std::size_t Start = 0;
        std::size_t Length = 0;
        bool Used = false;
        bool Free() const { return !Used; }
    };
    static TFileStamp StampOf(const struct stat& Status);
    // The remembered references of FileName when it is unchanged, else null;
    // Stamp receives the file's stamp now (all zero when it cannot be read)
    // and Exists whether it is there, as DDKFileExists tells it.
    std::optional<std::string_view> RememberedPlaylist(const std::string& FileName, TFileStamp& Stamp,
                                                       bool& Exists) const;
    // The references remembered of the file stamped Stamp, when unchanged.
    std::optional<std::string_view> Remembered(const TFileStamp& Stamp) const;
    // Remembers References, those of the document just read from the file
    // stamped Stamp.
    using TReferences = std::vector<pugi::xml_attribute>;
    void RememberPlaylist(const TFileStamp& Stamp, const TReferences& References);
    // The movie files the playlist in FXmlModel names, in its order.
    TReferences FileReferences() const;
    // Calls Visit on each remembered reference in order, until it returns false.
    static void ForEachReference(std::string_view References,
                                 const std::function<bool(std::string_view Reference)>& Visit);

    pugi::xml_document FXmlModel;
    TDDKOpenTable<TPlaylistSlot> FPlaylists;
    std::string FPlaylistText;
};

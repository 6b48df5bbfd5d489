// Anomaly records: the search answer of a movie that could not be settled,
// kept in the anomaly folder with what the anomaly window needs to finish the
// movie later (the file, the library, the words searched, the volume).
#include "UnitMetadata.h"

#include "DDKConversion.h"
#include "DDKError.h"
#include "DDKFiles.h"
#include "DDKStrings.h"
#include "MetadataValues.h"
#include "MovieFileName.h"
#include "UnitConfig.h"
#include "VolumeInfo.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <climits>
#include <initializer_list>
#include <openssl/sha.h>
#include <unistd.h>

namespace {

// Member order is part of the record: the added members follow the answer's own.
using TOrderedJson = nlohmann::ordered_json;

void AddText(pugi::xml_node Parent, const char* Name, const std::string& Value)
{
    Parent.append_child(Name).text().set(Value.c_str());
}

void AddVolume(pugi::xml_node Parent, const std::string& VolumeName, const std::string& Serial)
{
    pugi::xml_node Volume = Parent.append_child("volume");
    AddText(Volume, "name", VolumeName);
    AddText(Volume, "serial", Serial);
}

// The answer's own root-level elements that bear the name of one we add, in
// any letter case (the window reads the first of each so): a search answer
// must never choose the file renamed or the folder made for the movie.
void RemoveOwnNames(pugi::xml_node Root, std::initializer_list<const char*> Names)
{
    for (pugi::xml_node Child = Root.first_child(); Child;) {
        const pugi::xml_node Next = Child.next_sibling();
        if (Child.type() == pugi::node_element &&
            std::any_of(Names.begin(), Names.end(),
                        [&](const char* Name) { return DDKSameText(Child.name(), Name); }))
            Root.remove_child(Child);
        Child = Next;
    }
}

TOrderedJson VolumeObject(const std::string& VolumeName, const std::string& Serial)
{
    TOrderedJson Volume = TOrderedJson::object();
    Volume["name"] = VolumeName;
    Volume["serial"] = Serial;
    return Volume;
}

// A file name that is not UTF-8 must not cost the movie its record: such bytes
// are written as U+FFFD rather than refused.
std::string JsonRecordText(const TOrderedJson& Record)
{
    return Record.dump(-1, ' ', false, TOrderedJson::error_handler_t::replace);
}

// Name, or when Name and an extension would not fit in a file name of the
// anomaly folder, its start (whole characters) and a digest of it all.
std::string FittingRecordName(const std::string& Name)
{
    // The longer of the record's two forms ends in ".json".
    constexpr std::size_t Extension = 5;
    long Most = ::pathconf(Config.AnomalyDir.c_str(), _PC_NAME_MAX);
    if (Most <= 0)
        Most = NAME_MAX;
    if (Name.size() + Extension <= static_cast<std::size_t>(Most))
        return Name;
    // A movie file's name may take every byte a name may have: such a record
    // keeps the start of its name and, so that two long names never share
    // one, a digest of the whole.
    unsigned char Digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(Name.data()), Name.size(), Digest);
    std::string Suffix = "~";
    for (int Index = 0; Index < 8; ++Index)
        Suffix += DDKFormat("%02x", Digest[Index]);
    std::size_t Kept =
        std::min(Name.size(), static_cast<std::size_t>(std::max<long>(Most, 64)) - Extension - Suffix.size());
    // Cut before a character, never inside one.
    while (Kept > 0 && (static_cast<unsigned char>(Name[Kept]) & 0xC0) == 0x80)
        --Kept;
    return Name.substr(0, Kept) + Suffix;
}

} // namespace

std::string TMetadata::AnomalyFileName(TSource Source, const TMovieInfo& Movie)
{
    const std::string Name = Source == SourceAllocine ? "allocine-" + DDKExtractFileName(Movie.FileName)
                                                      : DDKFormat("tmdb-%d", Movie.Code);
    return Config.AnomalyDir + "/" + FittingRecordName(Name) + ".xml";
}

bool TMetadata::AnomalyWaiting(TSource Source, const TMovieInfo& Movie)
{
    const std::string RecordName = AnomalyFileName(Source, Movie);
    return DDKFileExists(RecordName) || DDKFileExists(DDKChangeFileExt(RecordName, ".json"));
}

void TMetadata::AddAnomaly(const std::string& Stream, TSource Source, const TMovieInfo& Movie,
                           const std::string& McDir, const std::string& Words)
{
    DDKTagged("[TMetadata.AddAnomaly] ", [&] {
        std::string VolumeName, Serial;
        GetVolumeInfo(Movie.FileName, VolumeName, Serial);
        const bool IsJson = IsJsonStream(Stream);
        std::string RecordName = AnomalyFileName(Source, Movie);
        // A record of either form already waiting for the user wins.
        if (DDKFileExists(RecordName))
            return;

        if (IsJson) {
            RecordName = DDKChangeFileExt(RecordName, ".json");
            if (DDKFileExists(RecordName))
                return;
            TOrderedJson Record = JsonParseBounded<TOrderedJson>(Stream);
            if (Source == SourceAllocine) {
                TOrderedJson& Feed = Record.at("feed");
                if (!Feed.is_object())
                    throw EDDKError("The member \"feed\" is not an object");
                Feed["filename"] = Movie.FileName;
                Feed["mcdir"] = McDir;
                Feed["words"] = Words;
                Feed["volume"] = VolumeObject(VolumeName, Serial);
            } else {
                Record["code"] = Movie.Code;
                Record["title"] = Movie.Title;
                Record["originalTitle"] = Movie.OriginalTitle;
                Record["productionYear"] = Movie.ProductionYear;
                Record["realeaseDate"] = DDKDateTimeToString(1, Movie.ReleaseDate);
                Record["moviedir"] = Movie.MovieDir;
                Record["words"] = Words;
                Record["volume"] = VolumeObject(VolumeName, Serial);
            }
            DDKSaveFileAtomic(RecordName, JsonRecordText(Record));
            return;
        }

        LoadXml(Stream);
        XmlCheckDepth(FXmlModel);
        pugi::xml_node Root = FXmlModel.document_element();
        if (Source == SourceAllocine) {
            RemoveOwnNames(Root, {"filename", "mcdir", "words", "volume"});
            AddText(Root, "filename", Movie.FileName);
            AddText(Root, "mcdir", McDir);
            AddText(Root, "words", Words);
        } else {
            // The anomaly window takes the words of an XML record from the answer itself.
            RemoveOwnNames(Root, {"code", "title", "originalTitle", "productionYear", "realeaseDate",
                                  "moviedir", "volume"});
            AddText(Root, "code", std::to_string(Movie.Code));
            AddText(Root, "title", Movie.Title);
            AddText(Root, "originalTitle", Movie.OriginalTitle);
            AddText(Root, "productionYear", Movie.ProductionYear);
            AddText(Root, "realeaseDate", DDKDateTimeToString(1, Movie.ReleaseDate));
            AddText(Root, "moviedir", Movie.MovieDir);
        }
        AddVolume(Root, VolumeName, Serial);
        try {
            SaveXml(RecordName);
        } catch (const std::exception&) {
            throw EDDKError(DDKFormat("Unable to save the file \"%s\"", RecordName.c_str()));
        }
    });
}

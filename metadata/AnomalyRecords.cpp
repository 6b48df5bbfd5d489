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
#include <vector>

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
std::string JsonText(const TOrderedJson& Value)
{
    return Value.dump(-1, ' ', false, TOrderedJson::error_handler_t::replace);
}

// Writes a JSON answer back as a record in one pass, without a tree of it, so
// that the longest answer costs no more than its text: every value as the
// JSON facility writes it, and Members last in the object that receives them
// (the root object, or the root's object Parent), where the answer's own
// members by those names are left out.
class TRecordWriter : public nlohmann::json_sax<TOrderedJson>
{
public:
    TRecordWriter(std::string& Text, const char* Parent, const TOrderedJson& Members)
        : FText(Text), FParent(Parent), FMembers(Members)
    {
    }

    // Raises when the answer had no object to receive the members.
    void Finish() const
    {
        if (!FReceived)
            throw EDDKError(FParent ? DDKFormat("The member \"%s\" is missing", FParent)
                                    : std::string("The answer is not an object"));
    }

    bool null() override { return Scalar("null"); }
    bool boolean(bool Flag) override { return Scalar(Flag ? "true" : "false"); }
    bool number_integer(number_integer_t Number) override { return Scalar(std::to_string(Number)); }
    bool number_unsigned(number_unsigned_t Number) override { return Scalar(std::to_string(Number)); }
    // Not the token as read: the reader puts the locale's decimal mark in it.
    bool number_float(number_float_t Number, const string_t&) override { return Scalar(JsonText(Number)); }
    bool string(string_t& Text) override { return Scalar(JsonText(Text)); }
    bool binary(binary_t&) override { return Scalar("null"); } // never in a JSON text
    bool start_object(std::size_t) override { return Open(true); }
    bool start_array(std::size_t) override { return Open(false); }
    bool end_object() override { return Close(); }
    bool end_array() override { return Close(); }
    bool key(string_t& Name) override
    {
        if (FSkipped > 0)
            return true;
        TFrame& Frame = FFrames.back();
        Frame.Key = Name;
        if (Frame.Receives && FMembers.contains(Name)) {
            FSkipNext = true;
            return true;
        }
        if (!Frame.First)
            FText += ',';
        Frame.First = false;
        FText += JsonText(Name);
        FText += ':';
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& Error) override
    {
        throw EDDKError(Error.what());
    }

private:
    struct TFrame
    {
        bool IsObject = false;
        bool First = true;
        bool Receives = false;
        std::string Key; // of the member being read, in an object
    };

    // Whether the next value is one to leave out, with all it holds.
    bool Skipping()
    {
        if (FSkipped > 0)
            return true;
        if (!FSkipNext)
            return false;
        FSkipNext = false;
        return true;
    }

    // The comma before an item of a list; a member's comes before its key.
    void BeforeValue()
    {
        if (!FFrames.empty() && !FFrames.back().IsObject) {
            if (!FFrames.back().First)
                FText += ',';
            FFrames.back().First = false;
        }
    }

    // Whether the next value is the root's member Parent, which must be an
    // object: of members named alike, the reader takes the last.
    bool AtParent() const
    {
        return FParent != nullptr && FSkipped == 0 && FFrames.size() == 1 && FFrames[0].IsObject &&
               FFrames[0].Key == FParent;
    }

    void CheckParent(bool IsObject) const
    {
        if (AtParent() && !IsObject)
            throw EDDKError(DDKFormat("The member \"%s\" is not an object", FParent));
    }

    bool Scalar(std::string_view Text)
    {
        CheckParent(false);
        if (!Skipping()) {
            BeforeValue();
            FText += Text;
        }
        return true;
    }

    bool Open(bool IsObject)
    {
        if (FFrames.size() + FSkipped >= static_cast<std::size_t>(MaxAnswerDepth))
            RaiseTooDeep();
        if (Skipping()) {
            ++FSkipped;
            return true;
        }
        CheckParent(IsObject);
        BeforeValue();
        TFrame Frame;
        Frame.IsObject = IsObject;
        Frame.Receives = IsObject && (FParent ? AtParent() : FFrames.empty());
        FText += IsObject ? '{' : '[';
        FFrames.push_back(std::move(Frame));
        return true;
    }

    bool Close()
    {
        if (FSkipped > 0) {
            --FSkipped;
            return true;
        }
        TFrame& Frame = FFrames.back();
        if (Frame.Receives) {
            for (const auto& [Name, Value] : FMembers.items()) {
                if (!Frame.First)
                    FText += ',';
                Frame.First = false;
                FText += JsonText(Name) + ':' + JsonText(Value);
            }
            FReceived = true;
        }
        FText += Frame.IsObject ? '}' : ']';
        FFrames.pop_back();
        return true;
    }

    std::string& FText;
    const char* FParent;
    const TOrderedJson& FMembers;
    std::vector<TFrame> FFrames;
    std::size_t FSkipped = 0; // containers open inside a value left out
    bool FSkipNext = false;   // the next value is left out
    bool FReceived = false;
};

// The record of a JSON answer: see TRecordWriter.
std::string JsonRecordText(std::string_view Answer, const char* Parent, const TOrderedJson& Members)
{
    std::string Text;
    Text.reserve(Answer.size() + 1024);
    TRecordWriter Writer(Text, Parent, Members);
    TOrderedJson::sax_parse(Answer.begin(), Answer.end(), &Writer);
    Writer.Finish();
    return Text;
}

// Name, or when Name and an extension would not fit in a file name of the
// anomaly folder, its start (whole characters) and a digest of it all.
std::string FittingRecordName(const std::string& Name)
{
    // The longer of the record's two forms ends in ".json".
    constexpr std::size_t Extension = 5;
    // A synchronisation asks for every movie: the folder's answer is kept
    // while the folder stays the same, and asked again while it has none.
    thread_local std::string AskedDir;
    thread_local long Answer = -1;
    if (Answer <= 0 || AskedDir != Config.AnomalyDir) {
        AskedDir = Config.AnomalyDir;
        Answer = ::pathconf(Config.AnomalyDir.c_str(), _PC_NAME_MAX);
    }
    const long Most = Answer > 0 ? Answer : NAME_MAX;
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
    // Asked for every movie of a run: built by appending, not formatted.
    std::string Name = Source == SourceAllocine ? "allocine-" : "tmdb-";
    if (Source == SourceAllocine)
        Name += DDKExtractFileName(Movie.FileName);
    else
        Name += std::to_string(Movie.Code);
    const std::string Fitting = FittingRecordName(Name);
    std::string RecordName;
    RecordName.reserve(Config.AnomalyDir.size() + Fitting.size() + 6);
    return RecordName.append(Config.AnomalyDir).append("/").append(Fitting).append(".xml");
}

bool TMetadata::AnomalyWaiting(TSource Source, const TMovieInfo& Movie)
{
    std::string RecordName = AnomalyFileName(Source, Movie);
    if (DDKFileExists(RecordName))
        return true;
    // The same name in its other form: ".xml" becomes ".json".
    RecordName.replace(RecordName.size() - 4, 4, ".json");
    return DDKFileExists(RecordName);
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
            TOrderedJson Members = TOrderedJson::object();
            if (Source == SourceAllocine) {
                Members["filename"] = Movie.FileName;
                Members["mcdir"] = McDir;
                Members["words"] = Words;
            } else {
                Members["code"] = Movie.Code;
                Members["title"] = Movie.Title;
                Members["originalTitle"] = Movie.OriginalTitle;
                Members["productionYear"] = Movie.ProductionYear;
                Members["realeaseDate"] = DDKDateTimeToString(1, Movie.ReleaseDate);
                Members["moviedir"] = Movie.MovieDir;
                Members["words"] = Words;
            }
            Members["volume"] = VolumeObject(VolumeName, Serial);
            DDKSaveFileAtomic(RecordName,
                              JsonRecordText(Stream, Source == SourceAllocine ? "feed" : nullptr, Members));
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

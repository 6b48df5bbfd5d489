// The files media centres read for a movie (movie.nfo, movie.xml, movie.strm,
// wmc.dvdid.xml, the DvdInfoCache file) and XBMC's fanart setting.
//
// Each writer builds its document in the object's model and saves it in one
// atomic step, so a reader never meets a half-written file.
#include "UnitMetadata.h"

#include "DDKConversion.h"
#include "DDKError.h"
#include "DDKFiles.h"
#include "DDKStrings.h"
#include "MetadataValues.h"
#include "MovieFileName.h"

#include <cmath>
#include <filesystem>

namespace {

constexpr std::string_view NfoTemplate = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><movie/>";
constexpr std::string_view MovieXmlTemplate = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Title/>";
constexpr std::string_view DvdIdTemplate = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Disc/>";
constexpr std::string_view DvdInfoTemplate = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><METADATA/>";
constexpr std::string_view XbmcSettingsTemplate =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><advancedsettings/>";
constexpr const char* FanartPicture = "backdrop.jpg";

// Media centres reject a whole document for one character XML cannot carry,
// so a stray byte of a name that is not UTF-8 becomes U+FFFD and control
// characters other than tab and line ends are left out.
std::string XmlCharacters(std::string_view S)
{
    std::string Result;
    Result.reserve(S.size());
    std::size_t Position = 0;
    while (Position < S.size()) {
        const std::size_t Start = Position;
        const char32_t Character = DDKNextChar(S, Position);
        if (Character >= DDKInvalidByteBase)
            Result += "\xEF\xBF\xBD";
        else if (Character >= 0x20 || Character == '\t' || Character == '\n' || Character == '\r')
            Result.append(S.substr(Start, Position - Start));
    }
    return Result;
}

pugi::xml_node AddElement(pugi::xml_node Parent, const char* Name)
{
    return Parent.append_child(Name);
}

void AddText(pugi::xml_node Parent, const char* Name, std::string_view Value)
{
    AddElement(Parent, Name).text().set(XmlCharacters(Value).c_str());
}

void AddEach(pugi::xml_node Parent, const char* Name, const TDDKStringList& List)
{
    for (const TDDKStringItem& Item : List)
        AddText(Parent, Name, Item.String);
}

// Out of ten from the two five-point ratings; a rating given alone counts
// twice, so a movie the public has not rated yet is not marked down by half. One
// decimal, exact halves to the even digit.
std::string TenPointRating(const TMovieInfo& Movie)
{
    const double Rating = Movie.PressRating > 0 && Movie.UserRating > 0 ? Movie.PressRating + Movie.UserRating
                          : Movie.PressRating > 0                       ? 2 * Movie.PressRating
                                                                        : 2 * Movie.UserRating;
    return DDKFloatToStr(std::nearbyint(Rating / 0.1) * 0.1);
}

// movie.nfo and movie.xml open with the same six values, each under its own names.
struct TSummaryNames
{
    const char *Title, *OriginalTitle, *Year, *Runtime, *Rating, *Plot;
};

void AddSummary(pugi::xml_node Root, const TMovieInfo& Movie, const TSummaryNames& Names)
{
    AddText(Root, Names.Title, Movie.Title);
    AddText(Root, Names.OriginalTitle, Movie.OriginalTitle);
    AddText(Root, Names.Year, Movie.ProductionYear);
    AddText(Root, Names.Runtime, std::to_string(Movie.Runtime));
    AddText(Root, Names.Rating, TenPointRating(Movie));
    AddText(Root, Names.Plot, Movie.Synopsis);
}

bool KeepExisting(const std::string& FileName, bool Overwrite)
{
    return !Overwrite && DDKFileExists(FileName);
}

} // namespace

void TMetadata::CreateNfo(const std::string& FileName, const TMovieInfo& Movie, bool Overwrite)
{
    if (KeepExisting(FileName, Overwrite))
        return;
    LoadXml(NfoTemplate);
    pugi::xml_node Root = FXmlModel.document_element();
    AddSummary(Root, Movie, {"title", "originaltitle", "year", "runtime", "rating", "plot"});
    AddEach(Root, "country", Movie.Nationalities);
    AddEach(Root, "genre", Movie.Genres);
    AddEach(Root, "director", Movie.Directors);
    for (const TDDKStringItem& Actor : Movie.Actors)
        AddText(AddElement(Root, "actor"), "name", Actor.String);
    SaveXml(FileName);
}

void TMetadata::CreateMovieXml(const std::string& FileName, const TMovieInfo& Movie, bool Overwrite)
{
    if (KeepExisting(FileName, Overwrite))
        return;
    LoadXml(MovieXmlTemplate);
    pugi::xml_node Root = FXmlModel.document_element();
    AddSummary(Root, Movie,
               {"LocalTitle", "OriginalTitle", "ProductionYear", "RunningTime", "IMDBrating", "Description"});
    if (!Movie.Nationalities.Empty())
        AddEach(AddElement(Root, "Studios"), "Studio", Movie.Nationalities);
    if (!Movie.Genres.Empty())
        AddEach(AddElement(Root, "Genres"), "Genre", Movie.Genres);
    if (!Movie.Directors.Empty() || !Movie.Actors.Empty()) {
        pugi::xml_node Persons = AddElement(Root, "Persons");
        const auto AddPersons = [&](const TDDKStringList& People, const char* Type) {
            for (const TDDKStringItem& Person : People) {
                pugi::xml_node Element = AddElement(Persons, "Person");
                AddText(Element, "Name", Person.String);
                AddText(Element, "Type", Type);
            }
        };
        AddPersons(Movie.Directors, "Director");
        AddPersons(Movie.Actors, "Actor");
    }
    SaveXml(FileName);
}

void TMetadata::CreateStrm(const std::string& FileName, bool Overwrite)
{
    if (KeepExisting(FileName, Overwrite))
        return;
    // The media centre follows this one line to the movie's playlist.
    DDKSaveFileAtomic(FileName, "movie.asx");
}

void TMetadata::CreateDvdId(const std::string& FileName, const std::string& Name, std::int32_t Id,
                            bool Overwrite)
{
    if (KeepExisting(FileName, Overwrite))
        return;
    LoadXml(DvdIdTemplate);
    pugi::xml_node Root = FXmlModel.document_element();
    AddText(Root, "Name", Name);
    AddText(Root, "ID", std::to_string(Id));
    SaveXml(FileName);
}

void TMetadata::CreateDvdInfoCache(const std::string& FileName, const TMovieInfo& Movie, bool Overwrite)
{
    if (KeepExisting(FileName, Overwrite))
        return;
    LoadXml(DvdInfoTemplate);
    pugi::xml_node Dvd = AddElement(FXmlModel.document_element(), "MDR-DVD");
    AddText(Dvd, "version", "5.0");
    AddText(Dvd, "dvdTitle", Movie.Title);
    // Media Center shows this field as the year.
    AddText(Dvd, "releaseDate", Movie.ProductionYear);
    const std::string Released =
        DDKFormat("%s (%s)", DDKFormatDateTime("dd mmmm yyyy", Movie.ReleaseDate).c_str(),
                  GetRuntime(Movie.Runtime).c_str());
    const std::string Directed =
        DDKFormat("réalisé par %s (%s)", DDKListToString(Movie.Directors, -1).c_str(),
                  DDKListToString(Movie.Nationalities, -1).c_str());
    const std::string Cast = DDKFormat("avec %s", DDKListToString(Movie.Actors, -1).c_str());
    AddText(Dvd, "MPAARating", Released + "\r\n" + Directed + "\r\n" + Cast);
    AddText(Dvd, "genre", DDKListToString(Movie.Genres, -1));
    AddText(AddElement(Dvd, "title"), "synopsis", Movie.Synopsis);
    SaveXml(FileName);
}

void TMetadata::CreateXbmcSettings(const std::string& FileName)
{
    DDKTagged("[TMetadata.CreateXbmcSettings] ", [&] {
        if (DDKFileExists(FileName)) {
            // The user's own settings stay; only a missing fanart entry is added.
            // The entry is looked for under whatever root the file has, since
            // that is where it goes: otherwise a file with another root would
            // gain one more entry at every start.
            LoadXmlFile(FileName);
            const pugi::xpath_node_set Fanarts = XmlSelect(FXmlModel, "/*/fanart");
            if (Fanarts.empty())
                AddText(AddElement(FXmlModel.document_element(), "fanart"), "add", FanartPicture);
            else if (XmlSelect(FXmlModel, "/*/fanart[add='backdrop.jpg']").empty())
                AddText(Fanarts.first().node(), "add", FanartPicture);
            else
                return;
        } else {
            if (const std::string Folder = DDKExtractFilePath(FileName); !Folder.empty())
                std::filesystem::create_directories(Folder);
            LoadXml(XbmcSettingsTemplate);
            AddText(AddElement(FXmlModel.document_element(), "fanart"), "add", FanartPicture);
        }
        // Copies left by a program stopped half-way through an earlier save.
        DDKRemoveStaleTemporaryFiles(DDKExtractFilePath(FileName));
        SaveXml(FileName);
    });
}

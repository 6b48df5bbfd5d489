#include "MovieFileName.h"

#include "DDKError.h"
#include "DDKFiles.h"
#include "DDKRegExpr.h"
#include "DDKStrings.h"
#include "DDKSystem.h"

#include <filesystem>
#include <system_error>

namespace {

// The markers of a two-file movie, tried in this order; group 1 is the whole
// marker, group 2 its digit. The first three need a neighbour that is neither
// letter nor digit on each side ("Film.cd1.avi", "Film_part2.avi"); the last
// one is a bracketed digit just before the extension ("Alien [2].mkv"), group 3
// being that extension.
struct TCdPatterns
{
    TDDKRegExpr Marked[3] = {
        TDDKRegExpr("[^a-z0-9](cd([1-2]))[^a-z0-9]", false, false, true, false),
        TDDKRegExpr("[^a-z0-9](part([1-2]))[^a-z0-9]", false, false, true, false),
        TDDKRegExpr("[^a-z0-9](disc([1-2]))[^a-z0-9]", false, false, true, false),
    };
    TDDKRegExpr Bracketed{"([\\(\\[]([1-2])[\\)\\]])(\\.\\w+)$", false, false, true, false};
};

const TCdPatterns& CdPatterns()
{
    static const TCdPatterns Patterns;
    return Patterns;
}

// The leftmost marker of Name, if any pattern finds one.
bool FindCdMarker(std::string_view Name, std::string_view Ext, TDDKMatch& Match)
{
    for (const auto& Pattern : CdPatterns().Marked)
        if (Pattern.Exec(Name, Match))
            return true;
    return CdPatterns().Bracketed.Exec(Name, Match) && Match.Group(3) == Ext;
}

std::string WithoutExtension(std::string_view Name)
{
    return DDKChangeFileExt(Name, "");
}

} // namespace

void GetCdNumber(TMovieInfo& Movie)
{
    DDKTagged("[GetCdNumber] ", [&] {
        const std::string Name = DDKExtractFileName(Movie.FileName);
        const std::string Ext = DDKExtractFileExt(Movie.FileName);
        Movie.CdNumber = 0;
        Movie.OtherCdFile = Movie.FileName;
        Movie.SearchTitle = CleanTitle(WithoutExtension(Name));

        TDDKMatch Match;
        if (!FindCdMarker(Name, Ext, Match))
            return;

        Movie.CdNumber = Match.Group(2)[0] - '0';
        const char OtherDigit = Movie.CdNumber == 2 ? '1' : '2';
        // Only the marker's digit changes; its letters keep their case.
        std::string OtherName = Name;
        OtherName[Match.Position(2)] = OtherDigit;
        Movie.OtherCdFile = DDKExtractFilePath(Movie.FileName) + OtherName;

        std::string Unmarked = Name;
        Unmarked.erase(Match.Position(1), Match.Length(1));
        Movie.SearchTitle = CleanTitle(WithoutExtension(Unmarked));
    });
}

std::string CleanTitle(std::string_view S)
{
    return DDKTagged("[CleanTitle] ", [&] {
        // The words are the runs of ASCII small letters, digits and
        // apostrophes; every other byte, whole character or not, parts them.
        const auto InWord = [](char C) {
            return (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '\'';
        };
        const std::string Text = DDKLowerCase(DDKRemoveAccents(S));
        std::string Result;
        Result.reserve(Text.size());
        for (std::size_t Start = 0; Start < Text.size();) {
            if (!InWord(Text[Start])) {
                ++Start;
                continue;
            }
            std::size_t End = Start + 1;
            while (End < Text.size() && InWord(Text[End]))
                ++End;
            if (!Result.empty())
                Result += ' ';
            Result.append(Text, Start, End - Start);
            Start = End;
        }
        return Result;
    });
}

void MakeMovieDir(TMovieInfo& Movie, const std::string& BasePath)
{
    std::string Name = Movie.Title;
    if (!Movie.ProductionYear.empty())
        Name += " (" + Movie.ProductionYear + ")";
    Name += DDKFormat(" #%d", Movie.Code);
    // "Face / Off" loses its slash and the double blank left behind.
    Name = VisibleName(DDKCollapseBlanks(DDKClearPath(Name, "", true)));

    Movie.MovieDir = DDKIncludeTrailingPathDelimiter(BasePath) + Name;
    std::error_code Error;
    if (std::filesystem::is_directory(Movie.MovieDir, Error))
        return;
    std::filesystem::create_directories(Movie.MovieDir, Error);
    if (Error)
        throw EDDKError(DDKSysErrorMessage(Error.value()));
}

std::string VisibleName(std::string_view Name)
{
    const std::size_t Start = Name.find_first_not_of(". ");
    return Start == std::string_view::npos ? std::string() : std::string(Name.substr(Start));
}

std::string GetRuntime(int Minutes)
{
    return DDKTagged("[GetRuntime] ", [&] { return DDKFormat("%dh%2.2d", Minutes / 60, Minutes % 60); });
}

bool IsJsonStream(std::string_view Stream)
{
    return !Stream.empty() && Stream.front() == '{';
}

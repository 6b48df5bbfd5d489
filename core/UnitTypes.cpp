#include "UnitTypes.h"

#include "DDKError.h"
#include "DDKStrings.h"
#include "MovieFileName.h"

void TMovieInfo::Clear()
{
    Directors.Clear();
    Actors.Clear();
    Genres.Clear();
    Nationalities.Clear();
    FileName.clear();
    SearchTitle.clear();
    MovieDir.clear();
    Code = 0;
    TmdbId = 0;
    Title.clear();
    OriginalTitle.clear();
    ReleaseDate = 0;
    Runtime = 0;
    ProductionYear.clear();
    Synopsis.clear();
    PosterUrl.clear();
    BackdropUrl.clear();
    WebUrl.clear();
    PressRating = 0;
    UserRating = 0;
    UserRatingCount = 0;
    CdNumber = 0;
    OtherCdFile.clear();
    Translated = false;
}

void TMovieInfo::SetFileName(const std::string& Value)
{
    FileName = Value;
    GetCdNumber(*this);
}

int TMovieList::Add(std::unique_ptr<TMovieInfo> Movie)
{
    FItems.push_back(std::move(Movie));
    return Count() - 1;
}

void TMovieList::Delete(int Index)
{
    CheckIndex(Index);
    FItems.erase(FItems.begin() + Index);
}

TMovieInfo& TMovieList::Items(int Index) const
{
    CheckIndex(Index);
    return *FItems[Index];
}

void TMovieList::CheckIndex(int Index) const
{
    if (Index < 0 || Index >= Count())
        throw EDDKError(DDKFormat("List index out of bounds (%d)", Index));
}

#include "UnitTypes.h"

#include "DDKError.h"
#include "DDKStrings.h"
#include "MovieFileName.h"

// The member initialisers are the empty state, so no field can be forgotten.
void TMovieInfo::Clear()
{
    *this = TMovieInfo();
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

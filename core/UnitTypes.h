// The record that carries one movie through the whole program, from its file
// name to the services' answers and on to the files written for it, and the
// list that owns such records.
#pragma once

#include "DDKConversion.h"
#include "DDKStringList.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Which movie service an answer or a search belongs to.
enum TSource : int { SourceAllocine = 0, SourceTmdb = 1 };

// What a worker does: a full synchronisation, or the handling of one anomaly
// record resolved on AlloCine or on TMDb.
enum TMode : int { ModeSynch = 0, ModeAnomalyAllocine = 1, ModeAnomalyTmdb = 2 };

class TMovieInfo
{
public:
    // Every text empty, every number zero, the four lists empty.
    void Clear();
    // Stores the movie file's full path and works out from its name the CD
    // part, the twin file and the words to search for (GetCdNumber).
    void SetFileName(const std::string& Value);

    // Name lists in the order of the answer; each entry's object is the
    // person's, genre's or country's numeric code on the service.
    TDDKStringList Directors;
    TDDKStringList Actors; // at most 5 from an AlloCine record
    TDDKStringList Genres;
    TDDKStringList Nationalities;

    std::string FileName;    // full path of the movie file (set with SetFileName)
    std::string SearchTitle; // CleanTitle of the name without extension and CD marker
    std::string MovieDir;    // the movie's folder in the library (MakeMovieDir)
    std::int32_t Code = 0;   // AlloCine code; the TMDb id in a list read from a TMDb search
    std::int32_t TmdbId = 0;
    std::string Title; // local (French) title
    std::string OriginalTitle;
    TDateTime ReleaseDate = 0;  // 0 when unknown
    std::int32_t Runtime = 0;   // whole minutes
    std::string ProductionYear; // four digits as text, such as "1972"
    std::string Synopsis;
    std::string PosterUrl;   // AlloCine poster picture
    std::string BackdropUrl; // original-size TMDb backdrop picture
    std::string WebUrl;      // the movie's page on the AlloCine web site
    double PressRating = 0;  // 0 to 5; 0 when absent
    double UserRating = 0;   // 0 to 5; 0 when absent
    std::int32_t UserRatingCount = 0;
    std::int32_t CdNumber = 0; // 0: one file; 1 or 2: part of a two-file movie
    std::string OtherCdFile;   // the twin file; FileName itself when CdNumber is 0
    bool Translated = false;   // the TMDb record has an overview in the asked language
};

// A list that owns its records: deleting an entry, clearing or destroying the
// list destroys them.
class TMovieList
{
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    // Takes ownership; returns the new entry's index.
    int Add(std::unique_ptr<TMovieInfo> Movie);
    void Delete(int Index);
    void Clear() { FItems.clear(); }

    // Raises EDDKError "List index out of bounds (n)" outside 0 .. Count-1.
    TMovieInfo& Items(int Index) const;

private:
    void CheckIndex(int Index) const;

    std::vector<std::unique_ptr<TMovieInfo>> FItems;
};

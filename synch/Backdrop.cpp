// The backdrop of a movie identified on AlloCine: a wide picture from TMDb,
// kept as "backdrop.jpg" and once more as "fanart.jpg". "tmdb.json" in the
// movie's folder, or a waiting TMDb anomaly record, ends every TMDb search for
// that movie.
#include "DDKError.h"
#include "DDKFiles.h"
#include "DDKStrings.h"
#include "ServiceSettings.h"
#include "ServiceUrls.h"
#include "UnitThread.h"

#include <filesystem>
#include <system_error>

void TSynchThread::CheckBackdrop(TMovieInfo& Movie)
{
    const std::string Backdrop = Movie.MovieDir + "/backdrop.jpg";
    // One look tells both whether the backdrop is there and whether it holds
    // bytes; a backdrop that cannot be opened (size -1) counts as filled.
    const TDDKFileLook Look = DDKLookAtFile(Backdrop);
    if (Look.Exists && !MovieFileExists(Movie.MovieDir, "fanart.jpg")) {
        // A copy put in place whole; a failed copy is tried again next run.
        try {
            DDKSaveFileAtomic(Movie.MovieDir + "/fanart.jpg", DDKLoadFile(Backdrop));
        } catch (const EDDKError&) {
        }
    }
    if (Look.Filled)
        return;
    std::error_code Ignored;
    std::filesystem::remove(Backdrop, Ignored);
    if (MovieFileExists(Movie.MovieDir, "tmdb.json") || TMetadata::AnomalyWaiting(SourceTmdb, Movie))
        return;

    const std::int32_t Id = SearchBackdrop(Movie);
    if (Id > 0) {
        SaveBackdrop(Id, Movie);
    } else {
        FMetadata->AddAnomaly(FStreamTmdb, SourceTmdb, Movie, "", GetTmdbQuery(Movie));
        FMetadata->SavePosterCache(FStreamTmdb, SourceTmdb, *FHttp);
    }
}

std::int32_t TSynchThread::SearchBackdrop(TMovieInfo& Movie)
{
    return DDKTagged("[TSynchThread.SearchBackdrop] ", [&] {
        TMovieList List;
        GetSearchTmdb(GetTmdbQuery(Movie));
        FMetadata->ReadSearchTmdb(FStreamTmdb, List);
        return List.Count() > 0 ? ScanListTmdb(Movie, List) : -1;
    });
}

std::int32_t TSynchThread::ScanListTmdb(TMovieInfo& Movie, TMovieList& List)
{
    return DDKTagged("[TSynchThread.ScanListTmdb] ", [&] {
        // One candidate per kind of match; a second match of the same kind
        // makes that kind ambiguous for the rest of the list.
        struct TCandidate
        {
            std::int32_t Code = -1;
            bool Seen = false;
            void Take(std::int32_t Value)
            {
                Code = Seen ? -1 : Value;
                Seen = true;
            }
        } ByDate, ByTitle;
        for (int Index = 0; Index < List.Count(); ++Index) {
            const TMovieInfo& Result = List.Items(Index);
            if (Result.ReleaseDate > 0 && Movie.ReleaseDate > 0 && Result.ReleaseDate == Movie.ReleaseDate)
                ByDate.Take(Result.Code);
            else if (DDKSameText(Result.Title, Movie.Title) ||
                     DDKSameText(Result.OriginalTitle, Movie.OriginalTitle))
                ByTitle.Take(Result.Code);
        }
        if (ByDate.Code >= 0)
            return ByDate.Code;
        return ByTitle.Code >= 0 ? ByTitle.Code : -1;
    });
}

void TSynchThread::GetSearchTmdb(const std::string& Query)
{
    DDKTagged("[TSynchThread.GetSearchTmdb] ", [&] {
        FStreamTmdb.clear();
        // A quiet failure leaves the answer empty for the reader to judge.
        AskService(GetTmdbSearchUrl(Query, ""), FStreamTmdb);
    });
}

void TSynchThread::GetFicheTmdb(std::int32_t Id, std::string& Stream)
{
    DDKTagged("[TSynchThread.GetFicheTmdb] ", [&] {
        const std::string Url =
            DDKFormat("http://%s/3/movie/%d?api_key=%s&language=fr", TmdbApiHost, Id, TmdbApiKey);
        AskService(Url, Stream);
    });
}

void TSynchThread::SaveBackdrop(std::int32_t Id, TMovieInfo& Movie)
{
    DDKTagged("[TSynchThread.SaveBackdrop] ", [&] {
        CheckMovieFolder(Movie.MovieDir);
        std::string Answer;
        GetFicheTmdb(Id, Answer);
        // "tmdb.json" ends every TMDb search for this movie, so after a
        // success it is kept only once the pictures it stands for are on
        // disc: a run killed while fetching them searches again next time.
        // After a failure it is kept at once, or every later run would search
        // again, and a movie resolved by hand would come back as an anomaly.
        // What is written goes into the folder as it is after the last wait:
        // it is looked at again before the first file.
        const std::string RecordFile = Movie.MovieDir + "/tmdb.json";
        try {
            if (Answer.empty() && FHttp->NotFound())
                throw EDDKError(UnknownCodeText(Id));
            FMetadata->ReadFicheTmdb(Answer, Movie);
            std::string Picture;
            if (!Movie.BackdropUrl.empty())
                AskService(Movie.BackdropUrl, Picture);
            CheckMovieFolder(Movie.MovieDir);
            if (!Movie.BackdropUrl.empty()) {
                DDKSaveFileAtomic(Movie.MovieDir + "/backdrop.jpg", Picture);
                DDKSaveFileAtomic(Movie.MovieDir + "/fanart.jpg", Picture);
            }
        } catch (...) {
            try {
                CheckMovieFolder(Movie.MovieDir);
                DDKSaveFileAtomic(RecordFile, Answer);
            } catch (...) {
                // The first failure is the one to report.
            }
            throw;
        }
        DDKSaveFileAtomic(RecordFile, Answer);
    });
}

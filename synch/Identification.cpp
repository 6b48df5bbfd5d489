// Identification of one movie file: its AlloCine code, cheapest source first
// (the library's playlist link, "#code" at the end of the name, the first
// part's link for a second part, then a search), then either the library
// folder or an AlloCine anomaly record.
#include "DDKError.h"
#include "DDKFiles.h"
#include "DDKRegExpr.h"
#include "DDKStrings.h"
#include "MovieFileName.h"
#include "ServiceUrls.h"
#include "UnitThread.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

namespace {

// Words of release names that say nothing about the movie; they only make a
// search miss.
constexpr std::array<std::string_view, 19> StopWords = {
    "dvdrip", "xvid",  "divx",   "bdrip",     "rip",     "dvd",    "cd1", "cd2",    "french", "truefrench",
    "fr",     "emule", "repack", "subforced", "unrated", "ripped", "vvf", "proper", "film"};

// At most this many of the file's words go into a query.
constexpr std::size_t MaxSearchWords = 5;

bool IsStopWord(std::string_view Word)
{
    return std::any_of(StopWords.begin(), StopWords.end(),
                       [Word](std::string_view Stop) { return DDKSameText(Word, Stop); });
}

// The words of S separated by blanks or commas, without empty ones.
std::vector<std::string> SplitWords(std::string_view S)
{
    std::vector<std::string> Words;
    std::string Word;
    for (char C : S) {
        if (C == ' ' || C == ',') {
            if (!Word.empty())
                Words.push_back(std::move(Word));
            Word.clear();
        } else {
            Word += C;
        }
    }
    if (!Word.empty())
        Words.push_back(std::move(Word));
    return Words;
}

std::string JoinWords(const std::vector<std::string>& Words)
{
    std::string Text;
    for (const std::string& Word : Words) {
        if (!Text.empty())
            Text += '+';
        Text += Word;
    }
    return Text;
}

// The code that a renamed file carries right before its extension, or -1.
std::int32_t CodeFromFileName(const std::string& FileName)
{
    const std::string Digits =
        DDKSubExpr(DDKExtractFileName(FileName), "#(\\d+)\\.\\w{3}$", 1, false, false, true, false, "");
    return DDKStrToIntDef(Digits, -1);
}

// Why the path of a movie file cannot be written into a playlist or an
// anomaly record (XML and JSON carry neither stray bytes nor controls), or ""
// when it can.
std::string UnwritablePath(std::string_view Path)
{
    // Most paths are printable ASCII through and through.
    if (std::all_of(Path.begin(), Path.end(), [](char C) { return C >= 0x20 && C < 0x7F; }))
        return {};
    for (std::size_t Position = 0; Position < Path.size();) {
        const char32_t Character = DDKNextChar(Path, Position);
        if (Character >= DDKInvalidByteBase)
            return "Le nom du fichier n'est pas en UTF-8 valide";
        if (Character < 0x20 || (Character >= 0x7F && Character <= 0x9F))
            return "Le nom du fichier contient des caractères de contrôle";
    }
    return {};
}

} // namespace

void TSynchThread::SynchFile(const std::string& FileName)
{
    std::int32_t FoundCode = -1;
    // The answer and words of an earlier file must never reach this file's
    // anomaly record.
    FStreamAc.clear();
    FSearchText.clear();
    FListedDir.clear();
    try {
        if (const std::string Reason = UnwritablePath(FileName); !Reason.empty())
            throw EDDKError(DDKFormat("[TSynchThread.SynchFile] %s : il ne peut figurer ni dans une liste de "
                                      "lecture ni dans une fiche d'anomalie, rien n'est fait pour lui",
                                      Reason.c_str()));
        TMovieInfo Record;
        Record.SetFileName(FileName);
        // The user has not resolved this file's record yet.
        if (TMetadata::AnomalyWaiting(SourceAllocine, Record))
            return;

        if (GoodFileName(Record.FileName, Record))
            FoundCode = Record.Code;
        if (FoundCode < 0)
            FoundCode = CodeFromFileName(Record.FileName);
        if (FoundCode < 0) {
            // Only a second part borrows its first part's library folder; a
            // first part is searched on its own.
            bool NeedSearch = true;
            if (Record.CdNumber >= 2 && GoodFileName(Record.OtherCdFile, Record)) {
                FoundCode = Record.Code;
                NeedSearch = false;
            }
            if (NeedSearch)
                FoundCode = SearchMovie(Record.SearchTitle);
        }

        if (FoundCode >= 1) {
            SaveMovieInfo(FoundCode, Record);
        } else {
            FMetadata->AddAnomaly(FStreamAc, SourceAllocine, Record, FLibraryDir, FSearchText);
            FMetadata->SavePosterCache(FStreamAc, SourceAllocine, *FHttp);
        }
    } catch (...) {
        Log(DDKFormat("\"%s\" /ERROR #%d > %s", FileName.c_str(), FoundCode,
                      DDKCurrentErrorMessage().c_str()));
    }
}

std::int32_t TSynchThread::SearchMovie(const std::string& Words)
{
    return DDKTagged("[TSynchThread.SearchMovie] ", [&] {
        std::int32_t Result = -1;
        std::vector<std::string> List = SplitWords(Words);
        if (List.size() > MaxSearchWords)
            List.resize(MaxSearchWords);
        std::erase_if(List, [](const std::string& Word) { return IsStopWord(Word); });

        TMovieList Results;
        while (!List.empty() && Result < 0) {
            FSearchText = JoinWords(List);
            GetSearchAc(FSearchText);
            FMetadata->ReadSearchAc(FStreamAc, Results);
            // An answer with results is final, even when none of them fits:
            // fewer words would only find more movies that do not fit either.
            if (Results.Count() > 0)
                return ScanListAc(Words, Results);
            List.pop_back();
        }
        return Result;
    });
}

std::int32_t TSynchThread::ScanListAc(const std::string& Words, TMovieList& Movies)
{
    return DDKTagged("[TSynchThread.ScanListAc] ", [&] {
        std::int32_t Result = -1;
        bool Seen = false;
        auto Begins = [&Words](const std::string& Title) {
            const std::string Clean = CleanTitle(Title);
            return !Clean.empty() && Words.starts_with(Clean);
        };
        for (int Index = 0; Index < Movies.Count(); ++Index) {
            const TMovieInfo& Candidate = Movies.Items(Index);
            if (!Begins(Candidate.Title) && !Begins(Candidate.OriginalTitle))
                continue;
            // A second match makes the choice ambiguous for good.
            Result = Seen ? -1 : Candidate.Code;
            Seen = true;
        }
        return Result;
    });
}

void TSynchThread::GetSearchAc(const std::string& Query)
{
    DDKTagged("[TSynchThread.GetSearchAc] ", [&] {
        FStreamAc.clear();
        const std::string Url =
            GetAllocineUrl("search", DDKFormat("format=json&filter=movie&count=10&q=%s", Query.c_str()));
        // A quiet failure leaves the answer empty, and reading it fails.
        AskService(Url, FStreamAc);
    });
}

#include "ThreadSearch.h"

#include "DDKRegExpr.h"
#include "DDKStrings.h"
#include "MovieFileName.h"
#include "ServiceUrls.h"
#include "SevenButton.h"
#include "UnitAnomaly.h"

#include <QLineEdit>
#include <QPointer>

#include <memory>

TSearchQuery SearchQuery(const std::string& Text)
{
    TDDKStringList Words;
    if (const std::string Cleaned = CleanTitle(Text); !Cleaned.empty())
        DDKSplit(Words, Cleaned, " ");
    TSearchQuery Result;
    // A year is asked for as "/1988" at the very end of the text; its digits
    // are a word of the cleaned text, the last one.
    Result.Year = DDKSubExpr(Text, "/(\\d{4})$", 1, false, false, true, false, "");
    if (!Result.Year.empty() && Words.Count() > 0)
        Words.Delete(Words.Count() - 1);
    for (int Index = 0; Index < Words.Count(); ++Index)
        Result.Query += (Index > 0 ? "+" : "") + Words[Index];
    return Result;
}

std::string SearchUrl(TSource Source, const TSearchQuery& Query)
{
    return Source == SourceAllocine
               ? GetAllocineUrl("search", "format=json&filter=movie&count=10&q=" + Query.Query)
               : GetTmdbSearchUrl(Query.Query, Query.Year);
}

// --- The thread ---------------------------------------------------------------------

TThreadSearch::TThreadSearch(TMainThreadDispatcher& Dispatcher, std::chrono::milliseconds RetryPause,
                             std::chrono::milliseconds Deadline)
    : TWorkerThread(Dispatcher), FDeadline(Deadline)
{
    FHttp.RetryPause = RetryPause;
    // The user waits for the whole search: up to ten thumbnails, each of which
    // a slow picture server could otherwise hold for minutes.
    FHttp.Aborted = [this] { return Terminated() || std::chrono::steady_clock::now() >= FEnd; };
}

void TThreadSearch::Execute()
{
    FEnd = std::chrono::steady_clock::now() + FDeadline;
    // A 404 or a busy service leaves Stream empty; the window then shows no
    // result. Errors end the body here and the window takes what came; past
    // the deadline, every thumbnail still missing fails at once.
    FHttp.CallHttp(Url, Stream);
    FMetadata.SavePosterCache(Stream, Source, FHttp);
}

// --- The window's side --------------------------------------------------------------

void TFormAnomaly::BtSearchClick()
{
    const TSearchQuery Query = SearchQuery(EdSearch->text().toStdString());
    if (Query.Query.empty())
        return;
    EnableControls(false);
    try {
        auto Thread = std::make_unique<TThreadSearch>(FDispatcher, SearchRetryPause, SearchDeadline);
        // The window may be gone when the answer comes (the program ending):
        // the answer then goes nowhere.
        Thread->OnTerminate = [Window = QPointer<TFormAnomaly>(this)](TWorkerThread* Sender) {
            if (Window)
                Window->SearchDone(static_cast<TThreadSearch&>(*Sender));
        };
        Thread->Url = SearchUrl(FSource, Query);
        Thread->Source = FSource;
        Thread->Start();
        FSearch = Thread.release(); // it frees itself once SearchDone has run
    } catch (...) {
        EnableControls(true);
        throw;
    }
}

void TFormAnomaly::StopSearch()
{
    if (FSearch)
        FSearch->Terminate();
}

void TFormAnomaly::SearchDone(TThreadSearch& Sender)
{
    FSearch = nullptr;
    FResultCount = 0;
    try {
        // A search the user stopped has failed, whatever it had fetched.
        if (Sender.Terminated())
            FResults.Clear();
        else if (IsJsonStream(Sender.Stream))
            FResults.LoadJson(Sender.Stream, FSource);
        else
            FResults.LoadXml(Sender.Stream, FSource);
        CountResults();
    } catch (...) {
        // An empty answer (a 404), one that is neither JSON nor XML, or one
        // nested without end: no result, and the user may search again.
        FResults.Clear();
        FResultCount = 0;
    }
    EnableControls(true);
    RefreshGrid();
}

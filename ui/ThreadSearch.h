// The manual search of the anomaly window: what the search box's text asks
// for, and the thread that fetches the answer and caches the posters of its
// results away from the windows.
#pragma once

#include "HttpObject.h"
#include "UnitMetadata.h"
#include "UnitTypes.h"
#include "WorkerThread.h"

#include <chrono>
#include <string>

// The words of a search box's text joined by '+', and the year it ends with
// ("le grand bleu/1988"), which is not one of the words. Query is empty when
// the text holds no word to search for.
struct TSearchQuery
{
    std::string Query;
    std::string Year;
};

TSearchQuery SearchQuery(const std::string& Text);
// The service's search address for Query; AlloCine is not told the year.
std::string SearchUrl(TSource Source, const TSearchQuery& Query);

// Fetches Url into Stream, then the missing thumbnails of its results into
// the poster cache. It touches no window: its termination callback takes the
// answer on the main thread. A stop request (Terminate) ends the request in
// progress at once; so does Deadline, counted from the start, for whatever is
// still missing then. It frees itself once the callback has run.
class TThreadSearch : public TWorkerThread
{
public:
    // Suspended; RetryPause is the wait of its HTTP client after a busy answer.
    TThreadSearch(TMainThreadDispatcher& Dispatcher, std::chrono::milliseconds RetryPause,
                  std::chrono::milliseconds Deadline);

private:
    TMetadata FMetadata;
    THttpObject FHttp;
    const std::chrono::milliseconds FDeadline;
    std::chrono::steady_clock::time_point FEnd; // set when the body starts

public:
    std::string Stream; // the answer, read by the termination callback
    std::string Url;
    TSource Source = SourceAllocine;

protected:
    void Execute() override;
};

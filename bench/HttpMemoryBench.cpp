// Peak memory of the HTTP client against answers that never end: a plain
// body and a gzip bomb, fetched as a service answer and as a picture, each
// until its limit stops it. The growth of the peak over the limit shows that
// an answer is held once, and never beyond its limit.
//
//     http_memory_bench
//
// Each case runs in a process of its own, so that its peak is its own; the
// loopback services in that process count too (a chunk or two of the body).
#include "FakeServices.h"
#include "HttpObject.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

double PeakMiB()
{
    rusage Usage{};
    getrusage(RUSAGE_SELF, &Usage);
    return double(Usage.ru_maxrss) / 1024; // kibibytes on Linux
}

void RunCase(const char* Name, const std::string& Path, FakeAnswer::TEncoding Encoding)
{
    FakeServices Fake;
    THttpObject Http;
    const char Filler = Encoding == FakeAnswer::Identity ? 'x' : '\0';
    Fake.Default("bench.example.com", Path, FakeAnswer::Endless(std::string(1 << 20, Filler), Encoding));
    const bool Picture = Path.ends_with(".jpg");
    const double Limit = double(Picture ? Http.PictureLimit : Http.AnswerLimit) / (1 << 20);

    const double Before = PeakMiB();
    const auto Start = std::chrono::steady_clock::now();
    std::string Stream, Outcome = "no error";
    try {
        Http.CallHttp("http://bench.example.com" + Path, Stream);
    } catch (const std::exception& Error) {
        Outcome = Error.what();
        Outcome = Outcome.substr(Outcome.find("] ") + 2);
    }
    const double Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    const double Growth = PeakMiB() - Before;
    std::printf("%-22s limit %5.1f MiB  peak %6.1f MiB (+%5.1f MiB, %.1f x the limit)  %5.2f s  %s\n", Name,
                Limit, PeakMiB(), Growth, Growth / Limit, Seconds, Outcome.c_str());
    std::fflush(stdout);
}

} // namespace

int main()
{
    struct TCase
    {
        const char* Name;
        const char* Path;
        FakeAnswer::TEncoding Encoding;
    };
    const TCase Cases[] = {
        {"endless answer", "/rest/v3/search", FakeAnswer::Identity},
        {"endless gzip answer", "/rest/v3/search", FakeAnswer::Gzip},
        {"endless poster", "/medias/poster.jpg", FakeAnswer::Identity},
        {"endless gzip poster", "/medias/poster.jpg", FakeAnswer::Gzip},
    };
    for (const TCase& Case : Cases) {
        std::fflush(stdout);
        const pid_t Child = fork();
        if (Child == 0) {
            RunCase(Case.Name, Case.Path, Case.Encoding);
            _exit(0);
        }
        int Status = 0;
        if (Child < 0 || waitpid(Child, &Status, 0) != Child || !WIFEXITED(Status) ||
            WEXITSTATUS(Status) != 0) {
            std::fprintf(stderr, "%s: the case did not end normally\n", Case.Name);
            return 1;
        }
    }
    return 0;
}

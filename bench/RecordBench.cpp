// An anomaly record of many results, from the answer to the window: the time
// and peak memory of reading the search answer as the worker does, of writing
// it as a record, and of opening that record in the anomaly window (offscreen)
// until the window shows its rows. Each step runs in a process of its own, so
// that its peak memory is its own; each figure is the median of five runs
// after one warm-up (peak memory: the largest of the five).
//
// The answers: N results with a code each, in both forms, and answers as
// large as the HTTP client accepts made of empty results, the most results
// (and tree nodes) an answer can carry.
//
//     record_bench [N]      (default: 100000 results)
#include "DDKFiles.h"
#include "DDKStrings.h"
#include "HttpObject.h"
#include "ModalForm.h"
#include "QtDispatcher.h"
#include "ScriptedPrompts.h"
#include "TempFolder.h"
#include "UnitAnomaly.h"
#include "UnitConfig.h"
#include "UnitMetadata.h"
#include "VantryApplication.h"

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point Start)
{
    return std::chrono::duration<double>(Clock::now() - Start).count();
}

struct TCase
{
    std::string Name;
    std::string Answer;
};

std::vector<TCase> Cases(int Results)
{
    std::string Json = "{\"feed\":{\"totalResults\":" + std::to_string(Results) + ",\"movie\":[";
    std::string Xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?><feed>";
    for (int Code = 1; Code <= Results; ++Code) {
        Json += DDKFormat("%s{\"code\":%d}", Code > 1 ? "," : "", Code);
        Xml += DDKFormat("<movie code=\"%d\"/>", Code);
    }
    Json += "]}}";
    Xml += "</feed>";

    // Empty results up to the limit of an answer.
    const std::size_t Limit = THttpObject().AnswerLimit;
    const std::string Head = "{\"feed\":{\"movie\":[", Tail = "]}}";
    std::string Empty = Head + "{}";
    const std::size_t Count = (Limit - Head.size() - Tail.size() - 2) / 3;
    Empty.reserve(Limit);
    for (std::size_t Index = 0; Index < Count; ++Index)
        Empty += ",{}";
    Empty += Tail;

    std::string EmptyXml = "<feed>";
    const std::size_t XmlCount = (Limit - 13) / 8;
    EmptyXml.reserve(Limit);
    for (std::size_t Index = 0; Index < XmlCount; ++Index)
        EmptyXml += "<movie/>";
    EmptyXml += "</feed>";

    return {{DDKFormat("%d results, JSON", Results), Json},
            {DDKFormat("%d results, XML", Results), Xml},
            {DDKFormat("%zu empty results, JSON", Count + 1), Empty},
            {DDKFormat("%zu empty results, XML", XmlCount), EmptyXml}};
}

TMovieInfo Movie(const std::string& Folder)
{
    TMovieInfo Movie;
    Movie.SetFileName(Folder + "/Films/Le film.avi");
    return Movie;
}

// --- One step, in a child process -------------------------------------------------

double ReadStep(const std::string& Answer)
{
    TMetadata Metadata;
    TMovieList List;
    const auto Start = Clock::now();
    Metadata.ReadSearchAc(Answer, List);
    return SecondsSince(Start);
}

double RecordStep(const std::string& Folder, const std::string& Answer)
{
    TMetadata Metadata;
    const auto Start = Clock::now();
    Metadata.AddAnomaly(Answer, SourceAllocine, Movie(Folder), Folder + "/Films/@Vantry", "le+film");
    return SecondsSince(Start);
}

double OpenStep(const std::string& Record)
{
    int Argc = 1;
    char Name[] = "record_bench";
    char* Argv[] = {Name, nullptr};
    TScriptedPrompts Prompts; // answers no and cancels
    TVantryApplication Application(Argc, Argv, Prompts);
    TQtDispatcher Dispatcher;
    TFormAnomaly Form(Dispatcher, Prompts);
    double Seconds = 0;
    const auto Start = Clock::now();
    // The first turn of the modal loop comes once the window shows its rows.
    QTimer::singleShot(0, &Form, [&] {
        Seconds = SecondsSince(Start);
        Form.done(mrCancel);
    });
    Form.Execute(Record, SourceAllocine);
    return Seconds;
}

struct TRun
{
    double Seconds = 0;
    double PeakMiB = 0;
};

// Runs Step in a child process; its time as it measured it, its peak memory
// as the system counted it.
template <class TStep> TRun InChild(TStep Step)
{
    int Pipe[2];
    if (::pipe(Pipe) != 0)
        std::exit(1);
    std::fflush(stdout);
    const pid_t Child = ::fork();
    if (Child == 0) {
        ::close(Pipe[0]);
        double Seconds = -1;
        try {
            Seconds = Step();
        } catch (const std::exception& Error) {
            std::fprintf(stderr, "%s\n", Error.what());
        }
        (void)!::write(Pipe[1], &Seconds, sizeof Seconds);
        ::_exit(0);
    }
    ::close(Pipe[1]);
    TRun Run;
    if (::read(Pipe[0], &Run.Seconds, sizeof Run.Seconds) != sizeof Run.Seconds)
        Run.Seconds = -1;
    ::close(Pipe[0]);
    int Status = 0;
    rusage Usage{};
    if (::wait4(Child, &Status, 0, &Usage) != Child)
        std::exit(1);
    Run.PeakMiB = double(Usage.ru_maxrss) / 1024; // kibibytes on Linux
    return Run;
}

template <class TStep> TRun Measure(TStep Step)
{
    InChild(Step); // warm-up
    std::vector<double> Times;
    double Peak = 0;
    for (int Index = 0; Index < 5; ++Index) {
        const TRun Run = InChild(Step);
        Times.push_back(Run.Seconds);
        Peak = std::max(Peak, Run.PeakMiB);
    }
    std::sort(Times.begin(), Times.end());
    return {Times[Times.size() / 2], Peak};
}

} // namespace

int main(int argc, char** argv)
{
    const int Results = argc > 1 ? std::atoi(argv[1]) : 100000;
    std::setlocale(LC_ALL, "");
    qputenv("QT_QPA_PLATFORM", "offscreen");

    TempFolder Temp;
    Config = TConfig(Temp.Write("app/vantry", "program"));
    Temp.Write("Films/Le film.avi", "movie");
    const std::string Folder = Temp.Path().string();

    std::printf("%-32s %10s %8s %10s %10s\n", "answer", "size MiB", "step", "median s", "peak MiB");
    for (const TCase& Case : Cases(Results)) {
        const double Size = double(Case.Answer.size()) / (1 << 20);
        const auto Show = [&](const char* Step, const TRun& Run) {
            std::printf("%-32s %10.2f %8s %10.3f %10.1f\n", Case.Name.c_str(), Size, Step, Run.Seconds,
                        Run.PeakMiB);
            std::fflush(stdout);
        };
        Show("read", Measure([&] { return ReadStep(Case.Answer); }));
        // Each run writes the record anew.
        const std::string Record = DDKChangeFileExt(TMetadata::AnomalyFileName(SourceAllocine, Movie(Folder)),
                                                    Case.Answer.front() == '{' ? ".json" : ".xml");
        Show("record", Measure([&] {
                 std::remove(Record.c_str());
                 return RecordStep(Folder, Case.Answer);
             }));
        Show("open", Measure([&] { return OpenStep(Record); }));
        std::remove(Record.c_str());
    }
    return 0;
}

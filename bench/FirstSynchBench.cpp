// A first synchronisation of N movies against the fake services, each answer
// held back by a fixed delay: the wall time beside the network floor
// (requests x delay), and the processor time per movie.
//
//     first_synch_bench [N [DELAY_MS]]      (default: 100 movies, 20 ms)
//
// The processor time is the whole process's, the loopback services included.
#include "DDKStrings.h"
#include "FakeServices.h"
#include "ServiceSettings.h"
#include "SynchRun.h"
#include "TempFolder.h"
#include "UnitConfig.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double ProcessSeconds()
{
    timespec Now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &Now);
    return double(Now.tv_sec) + double(Now.tv_nsec) / 1e9;
}

// Every answer that movie I ("Movie I.avi") leads to: one search and one
// record on each service, its poster and its backdrop.
void ScriptMovie(FakeServices& Fake, int I, std::chrono::milliseconds Delay)
{
    auto Text = [Delay](std::string Body) {
        FakeAnswer Answer = FakeAnswer::Text(std::move(Body));
        Answer.Delay = Delay;
        return Answer;
    };
    const std::string Title = DDKFormat("Movie %d", I);
    Fake.Default(
        AllocineApiHost, "/rest/v3/search",
        Text(DDKFormat("{\"feed\":{\"movie\":[{\"code\":%d,\"title\":\"%s\",\"originalTitle\":\"%s\"}]}}", I,
                       Title.c_str(), Title.c_str())),
        DDKFormat("q=movie+%d&", I));
    Fake.Default(AllocineApiHost, "/rest/v3/movie",
                 Text(DDKFormat("{\"movie\":{\"code\":%d,\"title\":\"%s\",\"originalTitle\":\"%s\","
                                "\"productionYear\":2000,\"release\":{\"releaseDate\":\"2000-01-%02d\"},"
                                "\"genre\":[{\"code\":1,\"$\":\"Drame\"}],\"poster\":{\"href\":"
                                "\"http://images.allocine.test/medias/%d.jpg\"}}}",
                                I, Title.c_str(), Title.c_str(), 1 + I % 28, I)),
                 DDKFormat("code=%d&", I));
    Fake.Default("images.allocine.test", DDKFormat("/medias/%d.jpg", I), Text(std::string(30000, 'p')));
    Fake.Default(TmdbApiHost, "/3/search/movie",
                 Text(DDKFormat("{\"results\":[{\"id\":%d,\"title\":\"%s\",\"original_title\":\"%s\","
                                "\"release_date\":\"\",\"backdrop_path\":null,\"poster_path\":null}]}",
                                100000 + I, Title.c_str(), Title.c_str())),
                 DDKFormat("query=movie+%d&", I));
    Fake.Default(
        TmdbApiHost, DDKFormat("/3/movie/%d", 100000 + I),
        Text(DDKFormat("{\"id\":%d,\"backdrop_path\":\"/b%d.jpg\",\"overview\":\"x\"}", 100000 + I, I)));
    Fake.Default(TmdbImageHost, DDKFormat("/t/p/original/b%d.jpg", I), Text(std::string(100000, 'b')));
}

} // namespace

int main(int argc, char** argv)
{
    const int Movies = argc > 1 ? std::atoi(argv[1]) : 100;
    const std::chrono::milliseconds Delay(argc > 2 ? std::atoi(argv[2]) : 20);

    TempFolder Temp;
    setenv("XDG_CONFIG_HOME", (Temp / "config").c_str(), 1);
    Config = TConfig(Temp.Write("app/vantry", "program"));
    FakeServices Fake;
    for (int I = 1; I <= Movies; ++I) {
        ScriptMovie(Fake, I, Delay);
        Temp.Write(DDKFormat("Films/Movie %d.avi", I), "movie");
    }

    const double CpuStart = ProcessSeconds();
    const auto Start = Clock::now();
    const auto Lines = RunSynchronisation(Temp / "Films", true);
    const double Wall = std::chrono::duration<double>(Clock::now() - Start).count();
    const double Cpu = ProcessSeconds() - CpuStart;

    const std::size_t Requests = Fake.Requests().size();
    const double Floor = double(Requests) * double(Delay.count()) / 1000.0;
    std::printf("%8s %9s %9s %10s %10s %10s %14s %10s\n", "movies", "requests", "delay ms", "floor s",
                "wall s", "wall-floor", "cpu ms/movie", "log lines");
    std::printf("%8d %9zu %9lld %10.2f %10.2f %10.2f %14.2f %10zu\n", Movies, Requests,
                static_cast<long long>(Delay.count()), Floor, Wall, Wall - Floor, 1000.0 * Cpu / Movies,
                Lines.size());
    return 0;
}

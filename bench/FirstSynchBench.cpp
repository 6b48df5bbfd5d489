// A first synchronisation of N movies against the fake services, each answer
// held back by a fixed delay: the wall time beside its floor (requests x the
// round trip of one request that the same service answers after the same
// delay, made alone), and the processor time per movie. One warm-up, then the
// median of five runs, each on a fresh movie folder. It prints, last,
// "ratio <wall / floor>".
//
//     first_synch_bench [N [DELAY_MS]]      (default: 100 movies, 20 ms)
//
// The processor time is the whole process's, the loopback services included.
#include "DDKStrings.h"
#include "FakeServices.h"
#include "HttpObject.h"
#include "ScriptedMovies.h"
#include "ServiceSettings.h"
#include "SynchRun.h"
#include "TempFolder.h"
#include "UnitConfig.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double ProcessSeconds()
{
    timespec Now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &Now);
    return double(Now.tv_sec) + double(Now.tv_nsec) / 1e9;
}

// Seconds of one request answered after Delay with a one-byte body, through
// the program's own client and the same fake service: median of many.
double RoundTrip(FakeServices& Fake, std::chrono::milliseconds Delay)
{
    const int Trips = Delay.count() > 0 ? 51 : 201;
    Fake.Default("bench.invalid", "/bare", FakeAnswer::Slow(Delay, "x"));
    THttpObject Http;
    std::string Stream;
    std::vector<double> Times;
    for (int I = 0; I < Trips + 1; ++I) {
        const auto Start = Clock::now();
        Http.CallHttp("http://bench.invalid/bare", Stream);
        if (I > 0) // the first one also opens the connection
            Times.push_back(std::chrono::duration<double>(Clock::now() - Start).count());
    }
    std::nth_element(Times.begin(), Times.begin() + Trips / 2, Times.end());
    return Times[Trips / 2];
}

struct TRun
{
    double Wall = 0, Floor = 0, Cpu = 0, RoundTrip = 0;
    std::size_t Requests = 0, Lines = 0;
};

// Temp stays until the end of the benchmark: removing thousands of files just
// before the next run would slow down the file system under that run.
TRun FirstSynchronisation(int Movies, std::chrono::milliseconds Delay, const TempFolder& Temp)
{
    setenv("XDG_CONFIG_HOME", (Temp / "config").c_str(), 1);
    Config = TConfig(Temp.Write("app/vantry", "program"));
    FakeServices Fake;
    for (int I = 1; I <= Movies; ++I) {
        ScriptMovie(Fake, I, Delay);
        Temp.Write(DDKFormat("Films/Movie %d.avi", I), "movie");
    }

    TRun Run;
    const double CpuStart = ProcessSeconds();
    const auto Start = Clock::now();
    Run.Lines = RunSynchronisation(Temp / "Films", true).size();
    Run.Wall = std::chrono::duration<double>(Clock::now() - Start).count();
    Run.Cpu = ProcessSeconds() - CpuStart;
    Run.Requests = Fake.Requests().size();
    Run.RoundTrip = RoundTrip(Fake, Delay);
    Run.Floor = double(Run.Requests) * Run.RoundTrip;
    return Run;
}

} // namespace

int main(int argc, char** argv)
{
    const int Movies = argc > 1 ? std::atoi(argv[1]) : 100;
    const std::chrono::milliseconds Delay(argc > 2 ? std::atoi(argv[2]) : 20);

    constexpr int Runs = 5;
    std::vector<TRun> Measured;
    std::vector<std::unique_ptr<TempFolder>> Folders;
    for (int I = 0; I <= Runs; ++I) {
        TRun Run = FirstSynchronisation(Movies, Delay, *Folders.emplace_back(std::make_unique<TempFolder>()));
        if (I > 0) // the first one is a warm-up
            Measured.push_back(Run);
    }
    const auto Median = [&Measured](double TRun::*Field) {
        std::vector<double> Values;
        for (const TRun& Run : Measured)
            Values.push_back(Run.*Field);
        std::nth_element(Values.begin(), Values.begin() + Values.size() / 2, Values.end());
        return Values[Values.size() / 2];
    };
    const double Wall = Median(&TRun::Wall), Floor = Median(&TRun::Floor);
    std::printf("%8s %9s %9s %10s %10s %10s %14s %10s\n", "movies", "requests", "delay ms", "floor s",
                "wall s", "wall-floor", "cpu ms/movie", "log lines");
    std::printf("%8d %9zu %9lld %10.2f %10.2f %10.2f %14.2f %10zu\n", Movies, Measured.back().Requests,
                static_cast<long long>(Delay.count()), Floor, Wall, Wall - Floor,
                1000.0 * Median(&TRun::Cpu) / Movies, Measured.back().Lines);
    std::printf("round trip of one request %.3f ms\n", 1000.0 * Median(&TRun::RoundTrip));
    std::printf("ratio %.2f\n", Floor > 0 ? Wall / Floor : 0.0);
    return 0;
}

// A stop request made while the worker waits for a service that trickles its
// answer: the request ends at once, the movie gets its failure line and the
// walk stops before the next file.
#include "ServiceSettings.h"
#include "SynchRun.h"
#include "SynchScenario.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(StopDuringTransferTest, AStopRequestEndsTheTransferAndTheWalkWithinASecond)
{
    using namespace std::chrono;
    TSynchScenario Scenario;
    Scenario.Temp.Write("Films/Brazil.avi", "movie");
    Scenario.Temp.Write("Films/Zelig.avi", "movie");
    const std::string Search = "/rest/v3/search";
    Scenario.Fake.Default(AllocineApiHost, Search, FakeAnswer::Trickle("{", seconds(1), 5), "q=brazil&");
    Scenario.Fake.Default(AllocineApiHost, Search,
                          FakeAnswer::File(AnswerData("allocine-search-noresult.json")));

    std::jthread Stopper;
    std::atomic<steady_clock::time_point> Stopped{};
    const std::vector<std::string> Lines =
        RunSynchronisation(Scenario.MovieDir(), false, [&](TSynchThread& Worker) {
            Stopper = std::jthread([&Scenario, &Stopped, Worker = &Worker] {
                Scenario.Fake.WaitForRequests(1);
                std::this_thread::sleep_for(milliseconds(300));
                Stopped = steady_clock::now();
                Worker->Terminate(); // the worker cannot end before this
            });
        });
    const steady_clock::time_point Ended = steady_clock::now();
    Stopper.join();

    EXPECT_LT(Ended - Stopped.load(), milliseconds(1000));
    ASSERT_EQ(Lines.size(), 1u);
    EXPECT_TRUE(Lines[0].starts_with("\"" + Scenario.Movie("Brazil.avi") +
                                     "\" /ERROR #-1 > [TSynchThread.SearchMovie] [TSynchThread.GetSearchAc] "
                                     "[CallHttp \"http://"))
        << Lines[0];
    EXPECT_TRUE(Lines[0].ends_with("\"] La requête a été arrêtée à la demande de l'utilisateur")) << Lines[0];
    EXPECT_EQ(Scenario.Fake.Requests().size(), 1u);
}

TEST(StopDuringTransferTest, ThePositionReachedIsShownWhileTheWorkerWaitsForAService)
{
    using namespace std::chrono;
    TSynchScenario Scenario;
    for (const std::string Name : {"Amadeus.avi", "Babel.avi"}) { // records waiting: no request
        Scenario.Temp.Write("Films/" + Name, "movie");
        Scenario.Temp.Write("app/Anomaly/allocine-" + Name + ".xml", "<x/>");
    }
    Scenario.Temp.Write("Films/Brazil.avi", "movie");
    Scenario.Fake.Default(AllocineApiHost, "/rest/v3/search", FakeAnswer::Trickle("{", seconds(1), 5));

    // The stop is asked only once the main thread has seen the second
    // position, which the worker may hold back for a moment.
    const auto Started = steady_clock::now();
    const std::vector<std::string> Lines =
        RunSynchronisation(Scenario.MovieDir(), false, [](TSynchThread& Worker) {
            Worker.OnProgress = [&Worker](std::int32_t Position) {
                if (Position == 2)
                    Worker.Terminate();
            };
        });
    EXPECT_LT(steady_clock::now() - Started, milliseconds(2500)); // the answer takes 5 s
    ASSERT_EQ(Lines.size(), 1u);
    EXPECT_TRUE(Lines[0].ends_with("\"] La requête a été arrêtée à la demande de l'utilisateur")) << Lines[0];
}

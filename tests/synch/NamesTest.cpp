// Names: titles the service leaves out or begins with dots, movie files whose
// names no playlist or record can carry, and log lines that stay one line.
#include "LogWriter.h"
#include "SynchRun.h"
#include "SynchScenario.h"

#include "DDKStrings.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using Strings = std::vector<std::string>;

TEST(NamesTest, BuiltNamesStandForTheMovieAndOddFileNamesAreRefusedInOneLine)
{
    TSynchScenario Scenario;
    // AlloCine leaves the title out when it equals the original one.
    for (const auto& [Code, Members] : std::vector<std::pair<int, std::string>>{
             {53751, "\"originalTitle\":\"Iron Man\",\"productionYear\":2008"},
             {7045, "\"title\":\".45\",\"originalTitle\":\".45\",\"productionYear\":2006"},
             {1811, "\"title\":\"...Comme elle respire\",\"originalTitle\":\"...Comme elle respire\","
                    "\"productionYear\":1998"}})
        Scenario.Fake.Default(
            AllocineApiHost, "/rest/v3/movie",
            FakeAnswer::Text(DDKFormat("{\"movie\":{\"code\":%d,%s}}", Code, Members.c_str())),
            DDKFormat("code=%d&", Code));
    Scenario.Fake.Default(AllocineApiHost, "/rest/v3/movie",
                          FakeAnswer::File(AnswerData("allocine-movie-12345.json")), "code=12345&");
    Scenario.Fake.Default(TmdbApiHost, "/3/search/movie",
                          FakeAnswer::File(AnswerData("tmdb-search-empty.json")));
    for (const char* Name :
         {"iron man #53751.avi", "quarante-cinq #7045.avi", "respire #1811.avi", "bad \xE9t\xE9 #12345.avi",
          "forged\n2024-01-01 00:00:00 | \"x\" /OK #1 \"y\" #12345.avi"})
        Scenario.Temp.Write("Films/" + std::string(Name), "movie");

    Strings Lines;
    RunSynchronisation(Scenario.MovieDir(), true, [&Lines](TSynchThread& Worker) {
        Worker.OnLog = [&Lines](const std::string& Line) {
            Lines.push_back(Line);
            WriteLog(Line);
        };
    });

    EXPECT_EQ(Scenario.LibraryFolders(),
              (Strings{"45 (2006) #7045", "Comme elle respire (1998) #1811", "Iron Man (2008) #53751"}));
    for (const char* Name : {"Iron Man (2008) () #53751.avi", "45 (2006) () #7045.avi",
                             "Comme elle respire (1998) () #1811.avi"})
        EXPECT_EQ(ReadWholeFile(Scenario.Movie(Name)), "movie") << Name;
    EXPECT_NE(
        ReadWholeFile(Scenario.Library("Iron Man (2008) #53751/movie.nfo")).find("<title>Iron Man</title>"),
        std::string::npos);

    // The two files no playlist can name (nothing written for them, see the
    // library's folders above): one line each.
    for (const char* Reason : {"n'est pas en UTF-8 valide", "contient des caractères de contrôle"})
        EXPECT_EQ(
            CountHolding(Lines,
                         std::string(" /ERROR #-1 > [TSynchThread.SynchFile] Le nom du fichier ") + Reason),
            1)
            << ::testing::PrintToString(Lines);

    // One message, one line of the log, whatever its name holds.
    Strings Logged;
    std::ifstream Log(Config.LogFile);
    for (std::string Line; std::getline(Log, Line);)
        Logged.push_back(Line);
    ASSERT_EQ(Logged.size(), Lines.size());
    EXPECT_EQ(CountHolding(Logged, "forged\\n2024-01-01 00:00:00 | "), 1);
}

} // namespace

#include "ScriptedMovies.h"

#include "DDKStrings.h"
#include "ServiceSettings.h"

#include <string>

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

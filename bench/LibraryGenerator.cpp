#include "LibraryGenerator.h"

#include "DDKFiles.h"
#include "DDKStrings.h"
#include "DDKSystem.h"
#include "UnitMetadata.h"

#include <filesystem>

namespace {

// A cached AlloCine answer with what the media-centre files show.
std::string AllocineAnswer(int Code, const std::string& Title)
{
    return DDKFormat("{\"movie\":{\"code\":%d,\"title\":\"%s\",\"originalTitle\":\"%s\","
                     "\"productionYear\":2001,\"runtime\":5400,"
                     "\"release\":{\"releaseDate\":\"2001-05-16\"},"
                     "\"genre\":[{\"code\":13008,\"$\":\"Drame\"}],"
                     "\"castMember\":[{\"person\":{\"code\":1,\"name\":\"Un Réalisateur\"},"
                     "\"activity\":{\"code\":8002,\"$\":\"Réalisateur\"}}],"
                     "\"synopsis\":\"Un film.\"}}",
                     Code, Title.c_str(), Title.c_str());
}

} // namespace

TGeneratedLibrary GenerateSynchronisedLibrary(const std::string& MovieFolder, int Count)
{
    namespace fs = std::filesystem;
    const std::string library = MovieFolder + "/@Vantry";
    const std::string dvdInfoCache = DDKGetSpecialFolder(DDKFolderAppData) + "/Microsoft/eHome/DvdInfoCache";
    fs::create_directories(library);
    fs::create_directories(dvdInfoCache);

    TMetadata metadata;
    for (int i = 1; i <= Count; ++i) {
        const int code = 100000 + i;
        const std::string title = DDKFormat("Titre %05d", i);
        const std::string movieFile = DDKFormat("%s/%s.avi", MovieFolder.c_str(), title.c_str());
        const std::string movieDir = DDKFormat("%s/%s (2001) #%d", library.c_str(), title.c_str(), code);
        DDKWriteText(movieFile, "movie", true);
        fs::create_directory(movieDir);

        const std::string answer = AllocineAnswer(code, title);
        DDKWriteText(movieDir + "/allocine.json", answer, true);
        TMovieInfo movie;
        movie.SetFileName(movieFile);
        metadata.ReadFicheAc(answer, movie);
        movie.MovieDir = movieDir;

        metadata.CreateAsx(movieDir + "/movie.asx", movie, true);
        metadata.CreateNfo(movieDir + "/movie.nfo", movie, true);
        metadata.CreateMovieXml(movieDir + "/movie.xml", movie, true);
        metadata.CreateStrm(movieDir + "/movie.strm", true);
        metadata.CreateDvdId(movieDir + "/wmc.dvdid.xml", movie.Title, movie.Code, true);
        metadata.CreateDvdInfoCache(DDKFormat("%s/%d.xml", dvdInfoCache.c_str(), code), movie, true);
        for (const char* picture : {"folder.jpg", "backdrop.jpg", "fanart.jpg"})
            DDKWriteText(movieDir + "/" + picture, "\xFF\xD8picture", true);
        DDKWriteText(movieDir + "/tmdb.json", "{\"id\":1}", true);
    }
    return {MovieFolder, Count};
}

// Builds a movie folder whose library is already complete, as a finished
// synchronisation leaves it: every movie file linked by its playlist, its
// cached answers, media-centre files and pictures in place.
#pragma once

#include <string>

struct TGeneratedLibrary
{
    std::string MovieFolder; // holds the movie files and "@Vantry"
    int Movies = 0;
};

// Creates MovieFolder with Count movies. The DvdInfoCache files go under the
// application-data folder of the running process (set XDG_CONFIG_HOME first).
TGeneratedLibrary GenerateSynchronisedLibrary(const std::string& MovieFolder, int Count);

// The movie's library folder, renaming, metadata files and poster.
#include "UnitThread.h"

void TSynchThread::SaveMovieInfo(std::int32_t, TMovieInfo&) {}
void TSynchThread::GetFicheAc(std::int32_t, std::string&) {}
bool TSynchThread::RenameMovieFile(TMovieInfo&)
{
    return false;
}
void TSynchThread::WriteMetadataFiles(TMovieInfo&, bool) {}
void TSynchThread::SavePoster(TMovieInfo&) {}

// Backdrop and fanart from TMDb.
#include "UnitThread.h"

void TSynchThread::CheckBackdrop(TMovieInfo&) {}
std::int32_t TSynchThread::SearchBackdrop(TMovieInfo&)
{
    return -1;
}
std::int32_t TSynchThread::ScanListTmdb(TMovieInfo&, TMovieList&)
{
    return -1;
}
void TSynchThread::GetSearchTmdb(const std::string&) {}
void TSynchThread::GetFicheTmdb(std::int32_t, std::string&) {}
void TSynchThread::SaveBackdrop(std::int32_t, TMovieInfo&) {}

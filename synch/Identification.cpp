// Identification of one movie file: its AlloCine code from the library, its
// name or a search, then the library folder or an anomaly record.
#include "UnitThread.h"

void TSynchThread::SynchFile(const std::string&) {}
std::int32_t TSynchThread::SearchMovie(const std::string&)
{
    return -1;
}
std::int32_t TSynchThread::ScanListAc(const std::string&, TMovieList&)
{
    return -1;
}
void TSynchThread::GetSearchAc(const std::string&) {}

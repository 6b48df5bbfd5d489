// Any bytes given to one reader of TMetadata, chosen when building with
// FUZZ_READER: a record, a list or a tagged EDDKError, nothing else.
#include "DDKError.h"
#include "UnitMetadata.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

[[maybe_unused]] void Read(bool (TMetadata::*Reader)(const std::string&, TMovieInfo&), TMetadata& Metadata,
                           const std::string& Bytes)
{
    TMovieInfo movie;
    (Metadata.*Reader)(Bytes, movie);
}

[[maybe_unused]] void Read(void (TMetadata::*Reader)(const std::string&, TMovieList&), TMetadata& Metadata,
                           const std::string& Bytes)
{
    TMovieList list;
    (Metadata.*Reader)(Bytes, list);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    static TMetadata Metadata; // reused, as its owners do
    try {
        Read(&TMetadata::FUZZ_READER, Metadata, std::string(reinterpret_cast<const char*>(Data), Size));
    } catch (const EDDKError&) {
    }
    return 0;
}

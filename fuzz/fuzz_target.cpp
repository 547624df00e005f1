// One libFuzzer target; TOLMERA_FUZZ_READER names the entry it drives.
#include "fuzz/reader_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzz_entry::TOLMERA_FUZZ_READER(data, size);
}

// Bytes as a LAS file, parsed as oxreader parses them.
#include "pointFuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A record takes at least 20 bytes.
    return checkPointParse(oxPointReaders::Format::Las, data, size, 20);
}

// Bytes as a PCD file, parsed as oxreader parses them.
#include "pointFuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A point takes at least three one-character values (ASCII) or 12 bytes (binary).
    return checkPointParse(oxPointReaders::Format::Pcd, data, size, 5);
}

// Bytes as an XYZ/CSV file (first byte even) or a PTS file (odd), parsed as oxreader parses them.
#include "pointFuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const auto format = data[0] % 2 ? oxPointReaders::Format::Pts : oxPointReaders::Format::Text;
    // A row takes at least five characters ("1 2 3" has no line end only at the end).
    return checkPointParse(format, data + 1, size - 1, 5);
}

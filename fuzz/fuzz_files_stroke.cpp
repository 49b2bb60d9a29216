// Fuzzes the stroke file reader and its writer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "files/stroke_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TTraining t;
    ClearTraining(t);
    TFileInfo info{"/fuzz/input.str", 45000.5, int64_t(size)};
    if (ParseStrokeFile(info, data, size, t)) {
        if (StrokeFileBytes(t).size() != kStrokeFileSize) std::abort();
    }
    return 0;
}

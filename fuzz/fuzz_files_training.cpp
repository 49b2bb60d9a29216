// Fuzzes the training file reader and writes back whatever it accepted.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "files/training_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TTraining t;
    ClearTraining(t);
    if (ParseTrainingFile(data, size, t)) {
        // What was read writes back and reads again to the same session.
        std::vector<uint8_t> image = TrainingFileBytes(t);
        TTraining again;
        ClearTraining(again);
        if (!ParseTrainingFile(image.data(), image.size(), again)) std::abort();
        // (A file without raw samples reads with none; written, it has the
        // reserved slot 0.)
        if (again.Strokes.size() != t.Strokes.size() || again.Intervals.size() != t.Intervals.size() ||
            std::max<size_t>(again.RawSamples.size(), 1) != std::max<size_t>(t.RawSamples.size(), 1))
            std::abort();
        if (TrainingFileBytes(again) != image) std::abort();
    }
    return 0;
}

// Fuzzes the three Brax importers; the first byte chooses which.
#include <cstddef>
#include <cstdint>

#include "files/brax_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const uint8_t which = data[0] % 3;
    ++data;
    --size;
    TTraining t;
    ClearTraining(t);
    TFileInfo info{"/fuzz/input.bx", 45000.5, int64_t(size)};
    switch (which) {
    case 0: ParseBraxUser(info, data, size, t); break;
    case 1: ParseBraxStroke(info, data, size, t); break;
    default: ParseBraxSession(info, data, size, t); break;
    }
    return 0;
}

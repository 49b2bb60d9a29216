// Fuzzes the RowingData CSV importer.
#include <cstddef>
#include <cstdint>
#include <string>

#include "files/rowcsv_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TTraining t;
    ClearTraining(t);
    TFileInfo info{"/fuzz/input.csv", 45000.5, int64_t(size)};
    std::string error;
    ParseRowingCsv(info, data, size, t, error);
    return 0;
}

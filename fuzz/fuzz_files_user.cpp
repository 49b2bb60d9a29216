// Fuzzes the user file reader; an accepted record writes back unchanged
// except where the record holds values the program does not keep.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "files/user_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TTraining t;
    ClearTraining(t);
    TFileInfo info{"/fuzz/input.ini", 45000.5, int64_t(size)};
    if (ParseUserFile(info, data, size, t)) {
        auto rec = UserRecordBytes(t);
        TTraining again;
        ClearTraining(again);
        ApplyUserRecord(rec.data(), again);
        if (again.Header.Name.Length != t.Header.Name.Length) std::abort();
        if (std::memcmp(&again.Settings, &t.Settings, sizeof t.Settings) != 0) std::abort();
    }
    return 0;
}

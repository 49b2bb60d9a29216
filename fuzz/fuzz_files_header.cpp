// Fuzzes the header-only reader of training files (both header layouts).
#include <cstddef>
#include <cstdint>

#include "files/training_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TTrainingHeader header{};
    uint32_t version = 0;
    if (ParseTrainingFileHeader(data, size, header, version)) {
        // Every text of the header decodes.
        (void)header.Title.Text();
        (void)header.FileName.Text();
        (void)header.InterfaceText.Text();
    }
    return 0;
}

// Fuzzes the FIT importer. An input whose first byte is odd is taken as the
// messages of a file and given a valid header and CRCs, so that the fuzzer
// reaches the message reader instead of stopping at the CRC; an even first
// byte passes the rest as a whole file.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "files/fit_file.h"
#include "files/fit_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const bool wrap = data[0] & 1;
    ++data;
    --size;
    std::vector<uint8_t> file;
    if (wrap) {
        file.assign(14, 0);
        file[0] = 14;
        file[1] = 0x20;
        for (int i = 0; i < 4; ++i) file[size_t(4 + i)] = uint8_t(size >> (8 * i));
        std::memcpy(&file[8], ".FIT", 4);
        const uint16_t headerCrc = fit::Crc16(0, file.data(), 12);
        file[12] = uint8_t(headerCrc);
        file[13] = uint8_t(headerCrc >> 8);
        file.insert(file.end(), data, data + size);
        const uint16_t crc = fit::Crc16(0, file.data(), file.size());
        file.push_back(uint8_t(crc));
        file.push_back(uint8_t(crc >> 8));
    } else {
        file.assign(data, data + size);
    }
    TTraining t;
    ClearTraining(t);
    TFileInfo info{"/fuzz/input.fit", 45000.5, int64_t(file.size())};
    std::string error;
    ParseFitFile(info, file.data(), file.size(), t, error);
    return 0;
}

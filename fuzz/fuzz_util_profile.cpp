// Settings files are user-editable text: any bytes must load and answer queries.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "util/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::string path = [] {
        char tmpl[] = "/tmp/catchline-fuzz-ini-XXXXXX";
        int fd = mkstemp(tmpl);
        if (fd >= 0) close(fd);
        return std::string(tmpl);
    }();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    TProfileFile p(path);
    p.Reload();
    for (const auto& s : p.ReadSections()) {
        for (const auto& k : p.ReadSection(s)) {
            p.ReadInteger(s, k, 0);
            p.ReadFloat(s, k, 0);
        }
        p.ReadSectionValueList(s);
    }
    p.WriteString("Recent", "1", "/x.stg");
    auto lines = NormaliseProfileLines(SplitLines(std::string(reinterpret_cast<const char*>(data), size)));
    (void)lines;
    return 0;
}

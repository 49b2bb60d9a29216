// catchline-demogen: writes the built-in demo recording and its per-stroke truth.
//   catchline-demogen [--out FILE] [--truth FILE] [--seed N]
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/demogen/row_sim.h"
#include "util/paths.h"

int main(int argc, char** argv)
{
    std::string out = "catchline.dat", truth;
    TSimParameters p;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--out" || a == "--truth" || a == "--seed") && i + 1 < argc) {
            const std::string v = argv[++i];
            if (a == "--out") out = v;
            else if (a == "--truth") truth = v;
            else p.Seed = std::strtoull(v.c_str(), nullptr, 10);
        } else {
            std::fprintf(stderr, "Usage: catchline-demogen [--out FILE] [--truth FILE] [--seed N]\n");
            return 2;
        }
    }
    const TSimResult r = SimulateSession(p);
    const auto bytes = RecordingBytes(r);
    int error = 0;
    if (!WriteFileAtomically(out, bytes.data(), bytes.size(), error)) {
        std::fprintf(stderr, "catchline-demogen: cannot write \"%s\": %s\n", out.c_str(), std::strerror(error));
        return 1;
    }
    const std::string csv = TruthCsv(r);
    if (!truth.empty() && !WriteFileAtomically(truth, csv.data(), csv.size(), error)) {
        std::fprintf(stderr, "catchline-demogen: cannot write \"%s\": %s\n", truth.c_str(), std::strerror(error));
        return 1;
    }
    std::fprintf(stderr, "%zu samples, %zu strokes, %.1f s\n", r.Samples.size(), r.Strokes.size(), r.Duration);
    return 0;
}

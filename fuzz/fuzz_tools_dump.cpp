// Fuzzes the JSON of catchline-cli dump over whatever the training file reader
// accepts: the streamed text is one JSON document with an element for every
// record, laid out exactly as a tree of the same document prints.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/catalogue.h"
#include "files/training_file.h"
#include "tools/cli/cli_json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool catalogues = (BuildCatalogues(), true);
    (void)catalogues;
    TTraining t;
    ClearTraining(t);
    if (!ParseTrainingFile(data, size, t)) return 0;
    std::string text;
    const bool written = WriteTrainingJson(t, true, [&text](const char* p, size_t n) {
        text.append(p, n);
        return true;
    });
    if (!written) std::abort();
    const TJson j = TJson::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object()) std::abort();
    auto count = [&j](const char* key) {
        const auto it = j.find(key);
        return it == j.end() || !it->is_array() ? ~size_t(0) : it->size();
    };
    if (count("Strokes") != t.Strokes.size() || count("Curves") != t.Curves.size() ||
        count("Intervals") != t.Intervals.size() || count("RawSamples") != t.RawSamples.size() ||
        count("StrokeTexts") != t.Strokes.size())
        std::abort();
    if (JsonText(j) + "\n" != text) std::abort();
    return 0;
}

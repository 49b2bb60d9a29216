#include "testutil_files.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "core/values.h"

namespace fs = std::filesystem;

TTempDir::TTempDir()
{
    std::string templ = (fs::temp_directory_path() / "catchline-files-XXXXXX").string();
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    Folder = std::string(buf.data()) + "/";
}

TTempDir::~TTempDir()
{
    std::error_code ec;
    // Make everything removable again (tests may make folders read-only).
    for (auto it = fs::recursive_directory_iterator(Folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::permissions(Folder, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(Folder, ec);
}

std::vector<std::string> TTempDir::Entries() const
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string DataFile(const std::string& relative) { return std::string(CATCHLINE_TEST_DATA) + "/" + relative; }

std::vector<uint8_t> FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void PutFileBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

void SetImageVersion(std::vector<uint8_t>& image, uint32_t v)
{
    for (int i = 0; i < 4; ++i) image[4 + size_t(i)] = uint8_t(v >> (8 * i));
}

TTraining MakeSession(int n, int rawSamples)
{
    TTraining t;
    ClearTraining(t);
    t.Header = DefaultHeader();
    t.Header.FileType = ftSTG;
    t.Header.ContentKind = ckTraining;
    t.Settings = DefaultSettings();
    SetStrokeCount(t, n);
    for (int k = 1; k <= n; ++k) {
        TStgStrokeData& s = t.Strokes[size_t(k)];
        s.Power = 200.0f + float(k % 17);
        s.StrokeRate = 24.5f;
        s.Time = 2.5f * float(k);
        s.Distance = 10.25f * float(k);
        s.EnergySum = 0.5f * float(k);
        s.StrokeLength = 140;
        s.DriveTime = 0.8f;
        s.RecoverRatio = 1.5f;
        s.DistancePerStroke = 1025;
        TStgForceCurve& c = t.Curves[size_t(k)];
        for (int i = 0; i < 60; ++i) c.Samples[i] = uint16_t(10 * i + k % 7);
        c.HasData = 1;
    }
    SetIntervalCount(t, 1);
    t.Intervals[0].AveragePower = 210;
    t.Intervals[0].Stroke.StrokeNumber = uint16_t(n);
    t.RawSamples.assign(size_t(rawSamples) + 1, TRawSample{});
    for (int i = 1; i <= rawSamples; ++i) t.RawSamples[size_t(i)] = TRawSample{int16_t(i * 7), uint8_t(i)};
    t.Totals = TTrainingTotals{10.25f * float(n), 2.5f * float(n), 0.5f * float(n), 200};
    UpdateAverageStroke(t);
    return t;
}

#include "files/training_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/values.h"
#include "files/byte_buffer.h"
#include "files/file_errors.h"
#include "util/paths.h"
#include "util/version.h"

namespace {

constexpr int32_t kMaxRecords = 65535;  // stroke numbers are uint16

void PutBlockHeader(TByteWriter& w, uint8_t type, uint16_t size, int32_t count)
{
    w.Put(type);
    w.Put(size);
    w.Put(count);
}

struct TBlockHeader {
    uint8_t Type = 0;
    uint16_t Size = 0;
    int32_t Count = 0;
};

template <class R>
bool GetBlockHeader(R& r, TBlockHeader& b)
{
    return r.Get(b.Type) && r.Get(b.Size) && r.Get(b.Count);
}

// Counts the reader allocates for: within the range of stroke numbers, and a
// record size of 0 with records announced is refused (it would loop on
// nothing).
bool PlausibleCount(const TBlockHeader& b)
{
    if (b.Count < 0 || b.Count > kMaxRecords) return false;
    return !(b.Size == 0 && b.Count > 0);
}

// The records of a block that the rest of the file holds (a last record cut
// short counts): a file cut inside a block gives the records before the cut,
// and nothing is allocated for records that are not there.
int32_t BackedCount(const TBlockHeader& b, size_t remaining)
{
    if (b.Size == 0) return 0;
    const uint64_t present = (uint64_t(remaining) + b.Size - 1) / b.Size;
    return int32_t(std::min<uint64_t>(uint64_t(b.Count), present));
}

template <class R>
bool MagicAndVersion(R& r, uint32_t& version)
{
    uint32_t magic = 0;
    version = 0;
    if (!r.Get(magic) || magic != kTrainingMagic) return false;
    if (!r.Get(version)) {
        version = 0;
        return false;
    }
    return version != 0;
}

// Copies the short-string text of a zero-terminated field of the older header,
// byte for byte.
template <size_t N>
void OldText(TShortString<N>& s, const uint8_t* field, size_t fieldSize)
{
    size_t len = 0;
    while (len < fieldSize && field[len] != 0) ++len;
    len = std::min(len, N);
    std::memcpy(s.Data, field, len);
    s.Length = uint8_t(len);
}

template <typename T>
T ValueAt(const uint8_t* p, size_t offset)
{
    T v;
    std::memcpy(&v, p + offset, sizeof(T));
    return v;
}

// The file as pieces in order: the small records in buffers of their own, the
// large arrays written straight from the session, so a save holds no second
// copy of them.
class TTrainingFileParts {
public:
    explicit TTrainingFileParts(const TTraining& t)
    {
        const int32_t strokes = std::max<int32_t>(0, int32_t(t.Strokes.size()) - 1);
        const int32_t curves = std::max<int32_t>(0, int32_t(t.Curves.size()) - 1);
        const int32_t intervals = int32_t(t.Intervals.size());
        const int32_t raw = std::max<int32_t>(0, int32_t(t.RawSamples.size()) - 1);

        TByteWriter& head = Small[0];
        head.Put(kTrainingMagic);
        head.Put(ProgramVersion());
        TTrainingHeader header = t.Header;
        header.CurveSource = 0;  // the interval curve view is not kept in files
        PutBlockHeader(head, tbHeader, sizeof(TTrainingHeader), 1);
        head.Put(header);
        PutBlockHeader(head, tbSettings, sizeof(TTrainingSettings), 1);
        head.Put(t.Settings);
        PutBlockHeader(head, tbStrokes, sizeof(TStgStrokeData), strokes);
        Add(head);
        if (strokes > 0) Add(&t.Strokes[1], sizeof(TStgStrokeData) * size_t(strokes));

        PutBlockHeader(Small[1], tbCurves, sizeof(TStgForceCurve), curves);
        Add(Small[1]);
        if (curves > 0) Add(&t.Curves[1], sizeof(TStgForceCurve) * size_t(curves));

        PutBlockHeader(Small[2], tbIntervals, sizeof(TTrainingInterval), intervals);
        Add(Small[2]);
        if (intervals > 0) Add(t.Intervals.data(), sizeof(TTrainingInterval) * size_t(intervals));

        PutBlockHeader(Small[3], tbTotals, sizeof(TTrainingTotals), 1);
        Small[3].Put(t.Totals);
        PutBlockHeader(Small[3], tbRawSamples, sizeof(TRawSample), raw);
        Add(Small[3]);
        if (raw > 0) Add(&t.RawSamples[1], sizeof(TRawSample) * size_t(raw));
    }
    TTrainingFileParts(const TTrainingFileParts&) = delete;
    TTrainingFileParts& operator=(const TTrainingFileParts&) = delete;

    std::vector<TFilePart> Parts;

private:
    void Add(const TByteWriter& w) { Add(w.Bytes.data(), w.Bytes.size()); }
    void Add(const void* data, size_t size) { Parts.push_back({data, size}); }
    TByteWriter Small[4];
};

// Reading a session from any reader (memory image or open file).
template <class R>
bool ParseTraining(R& r, TTraining& t)
{
    uint32_t version = 0;
    if (!MagicAndVersion(r, version)) return false;
    // Files of the early versions begin with the 1024-byte header, not with
    // blocks; read as blocks they would give an empty session, so they are
    // refused (their header can still be read alone).
    if (version < kOldHeaderLayoutVersion) return false;

    std::vector<uint8_t> buf;
    while (!r.AtEnd()) {
        TBlockHeader b;
        if (!GetBlockHeader(r, b)) return false;
        if (b.Count < 0) return false;
        switch (b.Type) {
        case 0: return false;
        case tbHeader:
            if (r.ReadRecord(buf, b.Size, sizeof(TTrainingHeader)) < b.Size) return false;
            std::memcpy(&t.Header, buf.data(), sizeof(TTrainingHeader));
            break;
        case tbSettings:
            if (r.ReadRecord(buf, b.Size, sizeof(TTrainingSettings)) < b.Size) return false;
            std::memcpy(&t.Settings, buf.data(), sizeof(TTrainingSettings));
            break;
        case tbStrokes: {
            if (!PlausibleCount(b)) return false;
            const int32_t count = BackedCount(b, r.Remaining());
            SetStrokeCount(t, count);
            for (int32_t i = 1; i <= count && !r.AtEnd(); ++i) {
                if (r.ReadRecord(buf, b.Size, sizeof(TStgStrokeData)) < b.Size) {
                    FileBeep(2500, 100);
                    return false;
                }
                // The record's own number says where it belongs.
                uint16_t number = U16At(buf.data(), 0);
                if (number >= 1 && number <= count) std::memcpy(&t.Strokes[number], buf.data(), sizeof(TStgStrokeData));
            }
            break;
        }
        case tbCurves: {
            if (!PlausibleCount(b)) return false;
            const int32_t count = BackedCount(b, r.Remaining());
            SetStrokeCount(t, count);
            for (int32_t i = 1; i <= count && !r.AtEnd(); ++i) {
                if (r.ReadRecord(buf, b.Size, sizeof(TStgForceCurve)) < b.Size) return false;
                std::memcpy(&t.Curves[size_t(i)], buf.data(), sizeof(TStgForceCurve));
            }
            break;
        }
        case tbIntervals: {
            if (!PlausibleCount(b)) return false;
            const int32_t count = BackedCount(b, r.Remaining());
            SetIntervalCount(t, count);
            for (int32_t i = 0; i < count && !r.AtEnd(); ++i) {
                r.ReadRecord(buf, b.Size, sizeof(TTrainingInterval));
                std::memcpy(&t.Intervals[size_t(i)], buf.data(), sizeof(TTrainingInterval));
            }
            break;
        }
        case tbTotals:
            r.ReadRecord(buf, b.Size, sizeof(TTrainingTotals));
            std::memcpy(&t.Totals, buf.data(), sizeof(TTrainingTotals));
            break;
        case tbRawSamples: {
            if (b.Size == 0 && b.Count > 0) return false;
            // Only the samples the rest of the file holds are allocated,
            // whatever the block claims: memory stays within a few times the
            // file's size (three bytes per sample of the shortest record).
            const size_t count = size_t(BackedCount(b, r.Remaining()));
            t.RawSamples.assign(count + 1, TRawSample{});
            if (b.Size >= sizeof(TRawSample)) {
                for (size_t i = 1; i <= count; ++i) {
                    size_t got = r.Read(&t.RawSamples[i], sizeof(TRawSample));
                    if (got < sizeof(TRawSample)) break;
                    r.Skip(b.Size - sizeof(TRawSample));
                }
            } else {
                // Shorter records fill the front of the zeroed samples.
                for (size_t i = 1; i <= count && !r.AtEnd(); ++i) r.Read(&t.RawSamples[i], b.Size);
            }
            break;
        }
        default:
            // A block of a later version: skipped.
            r.Skip(uint64_t(b.Size) * uint64_t(b.Count));
            break;
        }
    }
    UpdateAverageStroke(t);
    t.Magic = kTrainingMagic;
    t.ProgramVersion = version;
    return true;
}

// Reading only the header from any reader.
template <class R>
bool ParseHeader(R& r, TTrainingHeader& header, uint32_t& version)
{
    uint8_t first[kOldHeaderSize];
    version = 0;
    if (!r.ReadExact(first, 4) || U32At(first, 0) != kTrainingMagic) return false;
    if (!r.ReadExact(first + 4, 4)) return false;
    version = U32At(first, 4);
    if (version < kOldHeaderLayoutVersion) {
        if (!r.ReadExact(first + 8, kOldHeaderSize - 8)) return false;
        MapOldHeader(first, header);
        return true;
    }
    std::vector<uint8_t> buf;
    while (!r.AtEnd()) {
        TBlockHeader b;
        if (!GetBlockHeader(r, b)) return false;
        if (b.Count < 0) return false;
        if (b.Type == tbHeader) {
            if (r.ReadRecord(buf, b.Size, sizeof(TTrainingHeader)) < b.Size) return false;
            std::memcpy(&header, buf.data(), sizeof(TTrainingHeader));
        } else {
            r.Skip(uint64_t(b.Size) * uint64_t(b.Count));
        }
    }
    return true;
}

// Runs a reader over a regular file; false with errorCode when the file
// cannot be opened or a read fails.
template <class F>
bool WithFileReader(const std::string& path, int& errorCode, F&& parse, bool& parsed)
{
    parsed = false;
    const int fd = OpenRegularFile(path, O_RDONLY, errorCode);
    if (fd < 0) return false;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        errorCode = errno;
        close(fd);
        return false;
    }
    TFileByteReader r(fd, uint64_t(st.st_size));
    parsed = parse(r);
    close(fd);
    errorCode = r.Error();
    return errorCode == 0;
}

}  // namespace

std::vector<uint8_t> TrainingFileBytes(const TTraining& t)
{
    const TTrainingFileParts parts(t);
    size_t size = 0;
    for (const TFilePart& p : parts.Parts) size += p.Size;
    TByteWriter w;
    w.Reserve(size);
    for (const TFilePart& p : parts.Parts) w.Write(p.Data, p.Size);
    return std::move(w.Bytes);
}

bool ParseTrainingFile(const uint8_t* data, size_t size, TTraining& t)
{
    TByteReader r(data, size);
    return ParseTraining(r, t);
}

void MapOldHeader(const uint8_t* p, TTrainingHeader& h)
{
    h = TTrainingHeader{};
    OldText(h.FileName, p + 8, 260);
    h.FileDate = ValueAt<double>(p, 268);
    h.FileSize = ValueAt<int32_t>(p, 276);
    h.FileType = p[280];
    h.ContentKind = p[281];
    OldText(h.Title, p + 282, 40);
    OldText(h.Name, p + 322, 40);
    OldText(h.Description, p + 362, 40);
    h.DateTime = ValueAt<double>(p, 402);
    OldText(h.TrainingType, p + 410, 20);
    OldText(h.Event, p + 430, 20);
    OldText(h.Note, p + 450, 256);
    OldText(h.OriginalFileName, p + 706, 260);
    h.OriginalDate = ValueAt<double>(p, 966);
    h.OriginalSize = ValueAt<int32_t>(p, 974);
    h.OriginalType = p[978];
    h.OriginalKind = p[979];
    h.Active = p[980];
    h.CurveSource = p[981] != 0 ? 1 : 0;
    h.Color = ValueAt<int32_t>(p, 996);
    h.PenStyle = p[1000];
    h.PenWidth = ValueAt<int32_t>(p, 1001);
    h.Modified = p[1005];
}

bool ParseTrainingFileHeader(const uint8_t* data, size_t size, TTrainingHeader& header, uint32_t& version)
{
    TByteReader r(data, size);
    return ParseHeader(r, header, version);
}

bool WriteTrainingFile(const std::string& path, const TTraining& t, bool verbose)
{
    const TTrainingFileParts parts(t);
    int err = 0;
    if (WriteFileAtomically(path, parts.Parts, err)) return true;
    if (verbose) ShowFileErrorCode(path, err);
    return false;
}

bool ReadTrainingFile(const std::string& path, TTraining& t, bool verbose)
{
    int err = 0;
    bool parsed = false;
    if (!WithFileReader(
            path, err, [&](TFileByteReader& r) { return ParseTraining(r, t); }, parsed)) {
        if (verbose) ShowFileErrorCode(path, err);
        return false;
    }
    if (!parsed) return false;
    t.Header.FileName.SetText(path);
    return true;
}

bool ReadTrainingFileHeader(const std::string& path, TTrainingHeader& header, uint32_t& version, bool verbose)
{
    version = 0;
    int err = 0;
    bool parsed = false;
    if (!WithFileReader(
            path, err, [&](TFileByteReader& r) { return ParseHeader(r, header, version); }, parsed)) {
        if (verbose) ShowFileErrorCode(path, err);
        return false;
    }
    return parsed;
}

#include "files/journal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "core/values.h"
#include "util/date_time.h"
#include "util/paths.h"
#include "util/text.h"
#include "util/version.h"

const char* const kJournalExtension = ".journal";

namespace {

constexpr char kMagic[8] = {'C', 'L', 'J', 'O', 'U', 'R', 'N', 'L'};
constexpr uint8_t kEntryVersion = 1;
constexpr size_t kSessionPayload = sizeof(TTrainingHeader) + sizeof(TTrainingSettings);
constexpr size_t kStrokePayload = 4 + sizeof(TStgStrokeData) + sizeof(TStgForceCurve);
constexpr size_t kIntervalPayload = 4 + sizeof(TTrainingInterval);
constexpr size_t kStatePayload = 1 + sizeof(TTrainingTotals);
// Raw samples per entry: a long stretch without strokes goes in several entries.
constexpr int kRawPerEntry = 65536;
constexpr int kMaxStrokeIndex = 65535;  // stroke numbers are uint16

const std::array<uint32_t, 256>& CrcTable()
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    return table;
}

template <typename T>
void Put(std::vector<uint8_t>& out, const T& v)
{
    const auto* p = reinterpret_cast<const uint8_t*>(&v);
    out.insert(out.end(), p, p + sizeof(T));
}

// Starts an entry in out; the payload follows, then FinishEntry.
size_t BeginEntry(std::vector<uint8_t>& out, TJournalEntryType type)
{
    const size_t start = out.size();
    out.push_back(type);
    out.push_back(kEntryVersion);
    Put(out, uint16_t(0));
    Put(out, uint32_t(0));  // length, filled in by FinishEntry
    Put(out, uint32_t(0));  // checksum
    return start;
}

void FinishEntry(std::vector<uint8_t>& out, size_t start)
{
    const uint32_t length = uint32_t(out.size() - start - kJournalEntryHeaderSize);
    std::memcpy(&out[start + 4], &length, 4);
    uint32_t crc = JournalCrc(&out[start], 8);
    crc = JournalCrc(out.data() + start + kJournalEntryHeaderSize, length, crc);
    std::memcpy(&out[start + 8], &crc, 4);
}

std::vector<uint8_t> SessionPayload(const TTraining& t)
{
    TTrainingHeader h = t.Header;
    h.SelectedStroke = 0;  // follows every stroke; the recovery sets it again
    std::vector<uint8_t> p;
    p.reserve(kSessionPayload);
    Put(p, h);
    Put(p, t.Settings);
    return p;
}

void SyncFolder(const std::string& folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

std::string GuidName(const TGuid& g)
{
    std::string s;
    for (char c : GuidToString(g))
        if (c != '{' && c != '}') s += c;
    return s;
}

template <typename T>
T Get(const uint8_t* p)
{
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}

}  // namespace

uint32_t JournalCrc(const void* data, size_t size, uint32_t crc)
{
    const auto& table = CrcTable();
    const auto* p = static_cast<const uint8_t*>(data);
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::string JournalFolder(bool create)
{
    const std::string folder = UserDataFolder(create) + "Journal/";
    if (create) ForceFolder(folder);
    return folder;
}

// ---- writer -------------------------------------------------------------------------

TJournalWriter::~TJournalWriter() { Close(); }

bool TJournalWriter::Create(const std::string& folder, const TTraining& t)
{
    Close();
    FError = 0;
    FSize = 0;
    FIntervalCount = 0;
    FRawWritten = 0;
    const std::string dir = IncludeTrailingSlash(folder);
    if (!ForceFolder(dir)) {
        FError = errno ? errno : EACCES;
        return false;
    }
    const std::string base = dir + FormatDateTime("yyyymmdd-hhnnss", t.Header.DateTime) + "-" + GuidName(t.Header.Guid);
    for (int n = 1; n < 1000 && FFd < 0; ++n) {
        FPath = base + (n == 1 ? std::string() : "-" + std::to_string(n)) + kJournalExtension;
        FFd = open(FPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
        if (FFd < 0 && errno != EEXIST) break;
    }
    if (FFd < 0) {
        FError = errno;
        FPath.clear();
        return false;
    }
    // Held while the recording writes: others see the journal is in use.
    flock(FFd, LOCK_EX | LOCK_NB);
    // The file's entry in the folder must survive a power cut too.
    SyncFolder(dir);

    std::vector<uint8_t> bytes(kMagic, kMagic + 8);
    Put(bytes, kJournalFormatVersion);
    Put(bytes, uint16_t(kJournalPreambleSize));
    Put(bytes, ProgramVersion());
    Put(bytes, uint32_t(0));
    Put(bytes, JournalCrc(bytes.data(), bytes.size()));
    FHeader = SessionPayload(t);
    const size_t e = BeginEntry(bytes, jtSession);
    bytes.insert(bytes.end(), FHeader.begin(), FHeader.end());
    FinishEntry(bytes, e);
    return Append(bytes);
}

bool TJournalWriter::Record(const TTraining& t, int strokeIndex, int rawCount, uint8_t stateFlags)
{
    if (FFd < 0) return false;
    FBuffer.clear();
    std::vector<uint8_t> header = SessionPayload(t);
    if (header != FHeader) {
        const size_t e = BeginEntry(FBuffer, jtSession);
        FBuffer.insert(FBuffer.end(), header.begin(), header.end());
        FinishEntry(FBuffer, e);
        FHeader = std::move(header);
    }
    // An interval is written when it completes; only the newest may change
    // after that, so the check costs the same at every stroke.
    for (size_t i = FIntervalCount > 0 ? FIntervalCount - 1 : 0; i < t.Intervals.size(); ++i) {
        if (i + 1 == FIntervalCount && std::memcmp(&FLastInterval, &t.Intervals[i], sizeof(TTrainingInterval)) == 0)
            continue;
        const size_t e = BeginEntry(FBuffer, jtInterval);
        Put(FBuffer, int32_t(i));
        Put(FBuffer, t.Intervals[i]);
        FinishEntry(FBuffer, e);
        FLastInterval = t.Intervals[i];
        FIntervalCount = i + 1;
    }
    const int raw = std::min(rawCount, int(t.RawSamples.size()) - 1);
    while (FRawWritten < raw) {
        const int first = FRawWritten + 1;
        const int n = std::min(raw - FRawWritten, kRawPerEntry);
        const size_t e = BeginEntry(FBuffer, jtRaw);
        Put(FBuffer, int32_t(first));
        const auto* p = reinterpret_cast<const uint8_t*>(&t.RawSamples[size_t(first)]);
        FBuffer.insert(FBuffer.end(), p, p + sizeof(TRawSample) * size_t(n));
        FinishEntry(FBuffer, e);
        FRawWritten += n;
    }
    if (strokeIndex >= 1 && strokeIndex <= kMaxStrokeIndex && strokeIndex < int(t.Strokes.size()) &&
        strokeIndex < int(t.Curves.size())) {
        const size_t e = BeginEntry(FBuffer, jtStroke);
        Put(FBuffer, int32_t(strokeIndex));
        Put(FBuffer, t.Strokes[size_t(strokeIndex)]);
        Put(FBuffer, t.Curves[size_t(strokeIndex)]);
        FinishEntry(FBuffer, e);
    }
    if (stateFlags != 0) {
        const size_t e = BeginEntry(FBuffer, jtState);
        FBuffer.push_back(stateFlags);
        Put(FBuffer, t.Totals);
        FinishEntry(FBuffer, e);
    }
    if (FBuffer.empty()) return true;
    return Append(FBuffer);
}

bool TJournalWriter::Append(const std::vector<uint8_t>& bytes)
{
    if (FFd < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(FFd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(errno);
            return false;
        }
        done += size_t(n);
    }
    FSize += bytes.size();
    std::unique_lock<std::mutex> lock(FFlushLock);
    if (FFlushError != 0) {
        // An earlier flush failed: what is on the disk ends somewhere before
        // this entry, so the writer stops as if this append had failed.
        const int error = FFlushError;
        lock.unlock();
        Fail(error);
        return false;
    }
    ++FAppended;
    if (!FFlusher.joinable()) {
        FStopFlushing = false;
        FFlusher = std::thread([this] { FlushLoop(); });
    }
    lock.unlock();
    FFlushWake.notify_all();
    return true;
}

void TJournalWriter::FlushLoop()
{
    std::unique_lock<std::mutex> lock(FFlushLock);
    for (;;) {
        FFlushWake.wait(lock, [this] { return FStopFlushing || FAppended > FFlushed; });
        if (FAppended == FFlushed) return;  // stopped with nothing left to flush
        const uint64_t upTo = FAppended;
        const int fd = FFd;  // closed only after this thread has ended
        lock.unlock();
        const int error = fdatasync(fd) != 0 && errno != EINVAL && errno != EROFS ? errno : 0;
        lock.lock();
        if (error != 0 && FFlushError == 0) FFlushError = error;
        FFlushed = upTo;
        FFlushWake.notify_all();
    }
}

void TJournalWriter::StopFlushing()
{
    {
        std::lock_guard<std::mutex> lock(FFlushLock);
        if (!FFlusher.joinable()) return;
        FStopFlushing = true;
    }
    FFlushWake.notify_all();
    FFlusher.join();  // after the last flush
}

bool TJournalWriter::Flush()
{
    std::unique_lock<std::mutex> lock(FFlushLock);
    FFlushWake.wait(lock, [this] { return FFlushed == FAppended || !FFlusher.joinable(); });
    const int error = FFlushError;
    lock.unlock();
    if (error != 0) {
        Fail(error);
        return false;
    }
    return FFd >= 0;
}

void TJournalWriter::Fail(int error)
{
    StopFlushing();
    FError = error ? error : EIO;
    // What the file holds stays readable up to the entry that failed; nothing
    // more is appended behind it.
    if (FFd >= 0) close(FFd);
    FFd = -1;
}

void TJournalWriter::Close()
{
    StopFlushing();
    if (FFd >= 0) close(FFd);  // releases the lock
    FFd = -1;
    std::lock_guard<std::mutex> lock(FFlushLock);
    if (FFlushError != 0 && FError == 0) FError = FFlushError;
    FAppended = FFlushed = 0;
    FFlushError = 0;
}

bool TJournalWriter::End(TJournalEndReason reason)
{
    if (FPath.empty()) return true;
    if (FFd >= 0) {
        std::vector<uint8_t> bytes;
        const size_t e = BeginEntry(bytes, jtEnd);
        bytes.push_back(reason);
        FinishEntry(bytes, e);
        Append(bytes);
    }
    const bool gone = unlink(FPath.c_str()) == 0 || errno == ENOENT;
    if (!gone) FError = errno;
    Close();
    if (gone) FPath.clear();
    return gone;
}

// ---- reader -------------------------------------------------------------------------

bool RecoverJournal(const uint8_t* data, size_t size, TTraining& t, TJournalReport& report)
{
    ClearTraining(t);
    report = TJournalReport{};
    if (size < kJournalPreambleSize || std::memcmp(data, kMagic, 8) != 0) {
        report.Problem = "not a recording journal";
        report.DroppedBytes = size;
        return false;
    }
    if (JournalCrc(data, 20) != Get<uint32_t>(data + 20)) {
        report.Problem = "the journal's first bytes are damaged";
        report.DroppedBytes = size;
        return false;
    }
    const uint16_t format = Get<uint16_t>(data + 8);
    if (format > kJournalFormatVersion || Get<uint16_t>(data + 10) != kJournalPreambleSize) {
        report.NewerVersion = format > kJournalFormatVersion;
        report.Problem =
            Format("the journal was written in a format this version does not read (format %u)", unsigned(format));
        report.DroppedBytes = size;
        return false;
    }
    report.Readable = true;
    report.ProgramVersion = Get<uint32_t>(data + 12);
    report.GoodBytes = kJournalPreambleSize;

    int lastStroke = 0;
    int rawCount = 0;
    bool haveStateTotals = false;
    TTrainingTotals stateTotals{};
    size_t pos = kJournalPreambleSize;
    while (pos < size) {
        const size_t left = size - pos;
        const uint8_t* e = data + pos;
        auto stop = [&](const std::string& why) {
            report.Problem = Format("%s at byte %zu: %zu bytes dropped", why.c_str(), pos, left);
            report.DroppedBytes = left;
        };
        if (left < kJournalEntryHeaderSize) {
            stop("the journal ends inside an entry");
            break;
        }
        const uint8_t type = e[0];
        const uint8_t version = e[1];
        const uint32_t length = Get<uint32_t>(e + 4);
        if (length > kJournalMaxPayload) {
            stop("a damaged entry");
            break;
        }
        if (length > left - kJournalEntryHeaderSize) {
            stop("the journal ends inside an entry");
            break;
        }
        const uint8_t* p = e + kJournalEntryHeaderSize;
        uint32_t crc = JournalCrc(e, 8);
        crc = JournalCrc(p, length, crc);
        if (crc != Get<uint32_t>(e + 8)) {
            stop("an entry fails its checksum");
            break;
        }
        if (type < jtSession || type > jtEnd || version > kEntryVersion) {
            report.NewerVersion = true;
            stop(Format("an entry of a later version (type %u, version %u)", unsigned(type), unsigned(version)));
            break;
        }
        bool ok = true;
        switch (TJournalEntryType(type)) {
        case jtSession:
            ok = length == kSessionPayload;
            if (ok) {
                std::memcpy(&t.Header, p, sizeof(TTrainingHeader));
                std::memcpy(&t.Settings, p + sizeof(TTrainingHeader), sizeof(TTrainingSettings));
            }
            break;
        case jtStroke: {
            const int32_t k = length == kStrokePayload ? Get<int32_t>(p) : 0;
            ok = k >= 1 && k <= kMaxStrokeIndex;
            if (ok) {
                if (k > t.StrokeCount()) SetStrokeCount(t, k);
                std::memcpy(&t.Strokes[size_t(k)], p + 4, sizeof(TStgStrokeData));
                std::memcpy(&t.Curves[size_t(k)], p + 4 + sizeof(TStgStrokeData), sizeof(TStgForceCurve));
                lastStroke = k;
            }
            break;
        }
        case jtInterval: {
            // Intervals are written in order; an index beyond the next one is damage.
            const int32_t i = length == kIntervalPayload ? Get<int32_t>(p) : -1;
            ok = i >= 0 && i <= t.IntervalCount();
            if (ok) {
                SetIntervalCount(t, i + 1);
                std::memcpy(&t.Intervals[size_t(i)], p + 4, sizeof(TTrainingInterval));
            }
            break;
        }
        case jtRaw: {
            // Raw samples follow on from the ones before; so the session never
            // holds more samples than the journal's bytes.
            const int32_t first = length >= 4 ? Get<int32_t>(p) : 0;
            ok = length >= 4 && (length - 4) % sizeof(TRawSample) == 0 && first >= 1 && first <= rawCount + 1;
            if (ok) {
                const int n = int((length - 4) / sizeof(TRawSample));
                const int last = first + n - 1;
                if (size_t(last) + 1 > t.RawSamples.size()) t.RawSamples.resize(size_t(last) + 1);
                if (n > 0) std::memcpy(&t.RawSamples[size_t(first)], p + 4, size_t(n) * sizeof(TRawSample));
                rawCount = std::max(rawCount, last);
            }
            break;
        }
        case jtState:
            ok = length == kStatePayload;
            if (ok) {
                const uint8_t flags = p[0];
                report.Finished = report.Finished || (flags & jsFinished) != 0;
                report.Closed = report.Closed || (flags & jsClosed) != 0;
                std::memcpy(&stateTotals, p + 1, sizeof(TTrainingTotals));
                haveStateTotals = true;
            }
            break;
        case jtEnd:
            ok = length == 1;
            if (ok) {
                report.Ended = true;
                report.EndReason = p[0];
            }
            break;
        }
        if (!ok) {
            stop(Format("a malformed entry (type %u)", unsigned(type)));
            break;
        }
        ++report.Entries;
        pos += kJournalEntryHeaderSize + length;
        report.GoodBytes = pos;
    }
    if (report.Problem.empty()) report.GoodBytes = size;

    // The recording ends here, as it would have had the device been
    // disconnected after its last stroke; a limit that ended it brought its
    // own totals.
    if (report.Finished && haveStateTotals) t.Totals = stateTotals;
    CloseRecording(t, lastStroke, rawCount, report.Finished);
    UpdateAverageStroke(t);
    t.Header.SelectedStroke = lastStroke;
    t.Header.Modified = 1;
    t.RowStatus = rsFinished;
    t.Live = 0;
    t.Magic = kTrainingMagic;
    t.ProgramVersion = ProgramVersion();
    report.Strokes = t.StrokeCount();
    report.Intervals = t.IntervalCount();
    report.RawSamples = int(t.RawSamples.size()) - 1;
    return true;
}

bool RecoverJournalFile(const std::string& path, TTraining& t, TJournalReport& report)
{
    std::vector<uint8_t> data;
    int err = 0;
    if (!ReadWholeFile(path, data, err)) {
        ClearTraining(t);
        report = TJournalReport{};
        report.Problem = Format("cannot be read: %s", std::strerror(err));
        return false;
    }
    const bool ok = RecoverJournal(data.data(), data.size(), t, report);
    if (ok) t.JournalFile = path;
    return ok;
}

// ---- the journal folder -----------------------------------------------------------

bool JournalInUse(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool busy = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return busy;
}

std::vector<TJournalInfo> FindJournals(const std::string& folder)
{
    std::vector<TJournalInfo> list;
    const std::string dir = IncludeTrailingSlash(folder);
    DIR* d = opendir(dir.c_str());
    if (!d) return list;
    const std::string ext = kJournalExtension;
    while (dirent* entry = readdir(d)) {
        const std::string name = entry->d_name;
        if (name.size() <= ext.size() || name.compare(name.size() - ext.size(), ext.size(), ext) != 0) continue;
        TJournalInfo info;
        info.Path = dir + name;
        struct stat st {};
        if (stat(info.Path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        info.InUse = JournalInUse(info.Path);
        if (!info.InUse) {
            TTraining t;
            RecoverJournalFile(info.Path, t, info.Report);
            info.DateTime = t.Header.DateTime;
            info.Title = t.Header.Title.Text();
        }
        list.push_back(std::move(info));
    }
    closedir(d);
    std::sort(list.begin(), list.end(), [](const TJournalInfo& a, const TJournalInfo& b) {
        if (a.DateTime != b.DateTime) return a.DateTime < b.DateTime;
        return a.Path < b.Path;
    });
    return list;
}

bool EndJournal(const std::string& path, TJournalEndReason reason)
{
    if (path.empty()) return true;
    if (JournalInUse(path)) return false;
    if (unlink(path.c_str()) == 0 || errno == ENOENT) return true;
    // It cannot go (a folder made read-only): marked as ended, it is not
    // offered again.
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd >= 0) {
        std::vector<uint8_t> bytes;
        const size_t e = BeginEntry(bytes, jtEnd);
        bytes.push_back(reason);
        FinishEntry(bytes, e);
        if (write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size())) fdatasync(fd);
        close(fd);
    }
    return false;
}

void EndSessionJournal(TTraining& t, TJournalEndReason reason)
{
    if (EndJournal(t.JournalFile, reason)) t.JournalFile.clear();
}

// ---- texts --------------------------------------------------------------------------

namespace {

std::string RecordingDate(double days)
{
    return FormatDateTime("yyyy-mm-dd", days) + " at " + FormatDateTime("hh:nn", days);
}

std::string Counted(int n, const char* noun) { return Format("%d %s%s", n, noun, n == 1 ? "" : "s"); }

}  // namespace

std::string RecoverQuestionText(const TJournalInfo& info)
{
    std::string text =
        Format("A training session recorded on %s was not saved. Recover it?", RecordingDate(info.DateTime).c_str());
    text += Format("\r\r\"%s\": %s", info.Title.c_str(), Counted(info.Report.Strokes, "stroke").c_str());
    if (info.Report.Intervals > 0) text += ", " + Counted(info.Report.Intervals, "interval");
    text += ".";
    if (!info.Report.Problem.empty())
        text += Format("\rIts journal is damaged; what follows the damage is lost (%s).", info.Report.Problem.c_str());
    return text;
}

std::string JournalSummary(const TJournalInfo& info)
{
    if (info.InUse) return info.Path + ": being recorded";
    if (!info.Report.Readable) return info.Path + ": " + info.Report.Problem;
    std::string s = Format("%s: %s \"%s\", %s", info.Path.c_str(), RecordingDate(info.DateTime).c_str(),
                           info.Title.c_str(), Counted(info.Report.Strokes, "stroke").c_str());
    if (info.Report.Ended) s += info.Report.EndReason == jeSaved ? ", saved" : ", discarded";
    else if (info.Report.Finished) s += ", finished at the limit";
    else if (info.Report.Closed) s += ", disconnected";
    else s += ", cut off while rowing";
    if (!info.Report.Problem.empty()) s += "; damaged: " + info.Report.Problem;
    return s;
}

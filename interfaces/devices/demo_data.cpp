// Raw data files: the demo recording, its playback and the raw data log.
#include "interfaces/devices/demo_data.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "util/paths.h"
#include "util/text.h"

// The built-in recording, generated at build time from resources/demo/catchline.dat.
extern const unsigned char kCatchlineDemoData[];
extern const size_t kCatchlineDemoDataSize;

namespace {

uint32_t ReadU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void PutU32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

}  // namespace

const std::vector<uint8_t>& BuiltInDemoData()
{
    static const std::vector<uint8_t> data(kCatchlineDemoData, kCatchlineDemoData + kCatchlineDemoDataSize);
    return data;
}

std::string DemoDataFileFor(const std::string& programPath)
{
    const size_t slash = programPath.find_last_of('/');
    const size_t dot = programPath.find_last_of('.');
    std::string base = programPath;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) base.resize(dot);
    return base + ".dat";
}

uint16_t IntervalToTicks(double seconds)
{
    const double t = std::nearbyint(seconds * kTicksPerSecond);
    if (!(t > 0)) return 0;
    if (t > 65535) return 65535;
    return uint16_t(t);
}

std::string ParseRawData(const uint8_t* data, size_t size, uint32_t* version, std::vector<TRawDataSample>* samples)
{
    if (samples) samples->clear();
    if (size < size_t(kRawDataHeaderSize)) return "Filesize";
    if (ReadU32(data) != kRawDataMagic) return "Invalid file";
    if (version) *version = ReadU32(data + 4);
    if (samples) {
        const size_t n = (size - kRawDataHeaderSize) / kRawDataSampleSize;
        samples->resize(n);
        const uint8_t* p = data + kRawDataHeaderSize;
        for (size_t i = 0; i < n; ++i, p += 3) (*samples)[i] = {uint16_t(p[0] | p[1] << 8), p[2]};
    }
    return "";
}

std::vector<uint8_t> RawDataBytes(uint32_t version, const std::vector<TRawDataSample>& samples)
{
    std::vector<uint8_t> out(kRawDataHeaderSize + samples.size() * kRawDataSampleSize);
    PutU32(out.data(), kRawDataMagic);
    PutU32(out.data() + 4, version);
    uint8_t* p = out.data() + kRawDataHeaderSize;
    for (const auto& s : samples) {
        *p++ = uint8_t(s.Ticks);
        *p++ = uint8_t(s.Ticks >> 8);
        *p++ = s.Heart;
    }
    return out;
}

// ---- Source ----

TDemoSource::~TDemoSource() { Close(); }

void TDemoSource::Close()
{
    if (File) std::fclose(File);
    File = nullptr;
    Bytes = nullptr;
    Size = -1;
    Position = 0;
}

std::string TDemoSource::CheckHeader(const uint8_t* header, size_t got)
{
    if (got < size_t(kRawDataHeaderSize)) return "Read header";
    if (ReadU32(header) != kRawDataMagic) return "Invalid file";
    HeaderVersion = ReadU32(header + 4);
    Position = kRawDataHeaderSize;
    return "";
}

std::string TDemoSource::OpenFile(const std::string& path)
{
    Close();
    FileKind = true;
    // A pipe or a device has no size and could block the reader for ever:
    // only a regular file is opened.
    int error = 0;
    const int fd = OpenRegularFile(path, O_RDONLY, error);
    if (fd < 0) {
        // A folder opens but has no header to read; a pipe or device has no size.
        if (error == EISDIR) return "Read header";
        if (error == kNotRegularFileError) return "Filesize";
        return "Cannot open file: " + SystemErrorText(error);
    }
    FILE* f = fdopen(fd, "rb");
    if (!f) {
        close(fd);
        return "Cannot open file: " + SystemErrorText(errno);
    }
    int64_t size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    if (size < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
        std::fclose(f);
        return "Filesize";
    }
    if (size < kRawDataHeaderSize) {
        std::fclose(f);
        return "Filesize";
    }
    uint8_t header[kRawDataHeaderSize];
    const size_t got = std::fread(header, 1, sizeof header, f);
    std::string failure = CheckHeader(header, got);
    if (!failure.empty()) {
        std::fclose(f);
        return failure;
    }
    File = f;
    Size = size;
    return "";
}

std::string TDemoSource::OpenBytes(const uint8_t* data, size_t size)
{
    Close();
    FileKind = false;
    if (!data || size < size_t(kRawDataHeaderSize)) return "Filesize";
    std::string failure = CheckHeader(data, size);
    if (!failure.empty()) return failure;
    Bytes = data;
    Size = int64_t(size);
    return "";
}

int TDemoSource::NextRandom5()
{
    // splitmix64: small, fast and the same on every platform.
    uint64_t z = (Rng += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return int(z % 5);
}

TDemoSource::TResult TDemoSource::Read(TRawDataSample& sample, std::string& error)
{
    if (Size < 0) return rsClosed;
    // The recording is over when no whole sample is left.
    if (Position + kRawDataSampleSize > Size) return rsEnd;
    uint8_t b[kRawDataSampleSize];
    if (File) {
        if (std::fread(b, 1, sizeof b, File) < sizeof b) {
            error = "Read data";
            return rsError;
        }
    } else {
        std::memcpy(b, Bytes + Position, sizeof b);
    }
    Position += kRawDataSampleSize;
    sample.Ticks = uint16_t(b[0] | b[1] << 8);
    sample.Heart = b[2];
    if (!FileKind && !StoredHeart && sample.Heart < 50) sample.Heart = uint8_t(150 + NextRandom5());
    return rsSample;
}

// ---- Player ----

TDemoPlayer::TDemoPlayer(TVTPulseInput& input) : In(input) {}

std::string TDemoPlayer::OpenDefault(const std::string& programPath, int64_t nowMs, int* firstMs)
{
    const std::string path = DemoDataFileFor(programPath);
    if (FileExists(path)) return OpenFile(path, nowMs, firstMs);
    const auto& data = BuiltInDemoData();
    return OpenBytes(data.data(), data.size(), nowMs, firstMs);
}

std::string TDemoPlayer::OpenFile(const std::string& path, int64_t nowMs, int* firstMs)
{
    In.DataSeen = false;
    In.ValidSeen = false;
    return Start(Source.OpenFile(path), nowMs, firstMs);
}

std::string TDemoPlayer::OpenBytes(const uint8_t* data, size_t size, int64_t nowMs, int* firstMs)
{
    In.DataSeen = false;
    In.ValidSeen = false;
    return Start(Source.OpenBytes(data, size), nowMs, firstMs);
}

std::string TDemoPlayer::Start(const std::string& failure, int64_t nowMs, int* firstMs)
{
    if (firstMs) *firstMs = -1;
    if (!failure.empty()) {
        const int kind = Source.Kind();
        Source.Close();
        return Format("DemoOpen %d : %s", kind, failure.c_str());
    }
    for (TTarnProtocol p : {vtpDOS, vtpVtw, vtpVT3W}) {
        if (In.ProtocolSet.Contains(p)) {
            In.Protocol = p;
            break;
        }
    }
    FirstSample = true;
    Pending = false;
    PacingClockUs = nowMs * 1000;
    if (Read() && firstMs) *firstMs = SampleMs();
    return "";
}

int TDemoPlayer::SampleMs() const
{
    const double ms = In.CurrentInterval * 1000.0;
    return ms > 0 && ms < 1e9 ? int(ms) : 0;
}

bool TDemoPlayer::Read()
{
    TRawDataSample s;
    std::string error;
    const TDemoSource::TResult r = Source.Read(s, error);
    if (r == TDemoSource::rsClosed) return false;
    if (r == TDemoSource::rsEnd) {
        if (OnEnd) OnEnd();
        return false;
    }
    if (r == TDemoSource::rsSample) {
        In.CurrentInterval = s.Ticks / kTicksPerSecond;
        In.HeartRaw = s.Heart;
        SampleUs = int64_t(s.Ticks) * 1000000 / 614000;
    }
    if (In.CurrentInterval > kLongestInterval) In.PreviousInterval = 0;
    In.DataSeen = true;
    if (r == TDemoSource::rsError) {
        if (OnError) OnError(Format("DemoRead %d : %s", Source.Kind(), error.c_str()));
        return false;
    }
    Pending = true;
    if (FirstSample) {
        FirstSample = false;
        In.ValidSeen = true;
        if (!In.GetState && In.State == vtsOpening) In.State = vtsOpened;
        if (In.OnFirstValid) In.OnFirstValid();
    }
    return true;
}

void TDemoPlayer::Process()
{
    Pending = false;
    In.ProcessDemoSample();
}

int TDemoPlayer::Timer(int64_t nowMs)
{
    if (Pending) Process();
    for (;;) {
        if (In.Dropping()) return 1;  // a handler paused (or is closing)
        if (!Read()) return -1;
        PacingClockUs += SampleUs;
        if (PacingClockUs < nowMs * 1000) {
            Process();
            continue;
        }
        break;
    }
    const int ms = SampleMs();
    return (ms == 0 || Fast) ? 1 : ms;
}

// ---- Raw data log ----

std::string TRawLogWriter::Open(const std::string& path, uint32_t version)
{
    Close();
    // The old log goes; anything that is not a file (a device, a folder) is
    // left alone and opening it for writing decides.
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) std::remove(path.c_str());
    // Not blocking on a pipe without a reader: the open fails instead.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd >= 0) {
        const int fl = fcntl(fd, F_GETFL);
        if (fl >= 0) fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
        File = fdopen(fd, "wb");
        if (!File) close(fd);
    }
    if (!File) return Format("Cannot create file \"%s\": %s", path.c_str(), std::strerror(errno));
    // Unbuffered: a failed write is seen at once, and a log is complete up to
    // the last pulse whenever the program ends.
    std::setvbuf(File, nullptr, _IONBF, 0);
    uint8_t header[kRawDataHeaderSize];
    PutU32(header, kRawDataMagic);
    PutU32(header + 4, version);
    if (std::fwrite(header, 1, sizeof header, File) < sizeof header) {
        Close();
        return "Write header";
    }
    return "";
}

std::string TRawLogWriter::Write(double intervalSeconds, int heartRaw)
{
    if (!File) return "Write data";
    const uint16_t ticks = IntervalToTicks(intervalSeconds);
    const uint8_t b[kRawDataSampleSize] = {uint8_t(ticks), uint8_t(ticks >> 8), uint8_t(heartRaw)};
    if (std::fwrite(b, 1, sizeof b, File) < sizeof b) return "Write data";
    return "";
}

void TRawLogWriter::Close()
{
    if (File) std::fclose(File);
    File = nullptr;
}

void SetUpRecordingInput(TVTPulseInput& in, double weight, const int64_t& ticks)
{
    TStrokeSettings& st = in.Computer.Settings;
    st.Inertia = 0.1088;
    st.ThresHold = 5;
    st.StrokeTrigger = 0;
    st.Weight = weight;
    st.BoatType = vtb1x;
    st.Cog = 11;
    st.Magnets = 4;
    in.ProtocolSet = {vtpVtw};
    in.Computer.DoCalculate = true;
    in.State = vtsOpening;
    in.Computer.Clock = [&ticks] { return ticks * 1000 / 614000; };
}

void PlayRecording(TDemoPlayer& player, TVTPulseInput& in, int firstMs, int64_t& ticks)
{
    if (firstMs < 0) return;
    ticks += std::llround(in.CurrentInterval * 614000.0);
    for (;;) {
        player.Process();
        if (!player.Read()) break;
        ticks += std::llround(in.CurrentInterval * 614000.0);
    }
}

#pragma once
// Raw data files ("MIL " files): the demo recording and the raw data log.
//
// Layout, little-endian: "MIL " (4 bytes), program version (uint32, packed
// major.minor.release.build), then 3-byte samples: uint16 pulse interval in
// ticks of 1/614000 s and one byte of heart rate.
//
//   TDemoSource     reads a recording from a file (kind 1) or from bytes in
//                   memory such as the built-in recording (kind 0). Open checks
//                   give "Filesize" (< 8 bytes), "Read header", "Invalid file"
//                   (magic); a short sample read gives "Read data". A recording
//                   is over when fewer than 3 bytes remain. From the built-in
//                   recording a heart byte below 50 is replaced by 150 + 0..4
//                   (own seeded generator, anew per sample); from a file the
//                   byte is taken as stored.
//   TDemoPlayer     the demo logic of a VT interface over a TVTPulseInput:
//                   Open (DemoOpen without the timer), Read (DemoRead), Process
//                   (DemoProcess), Timer (the pacing loop of DemoTimer: returns
//                   the next timer interval in ms, or -1 when playback stopped),
//                   Continue (pacing clock = now - 1), Close (DemoClose). The Qt
//                   interface owns the timer and reacts to OnEnd (the recording
//                   is over: close the interface) and OnError (ShowError).
//   TRawLogWriter   the raw data log: Open deletes and re-creates the file and
//                   writes the header ("Write header" on failure), Write appends
//                   one sample per pulse ("Write data" on failure).
//   BuiltInDemoData the built-in recording's bytes (embedded at build time from
//                   resources/demo/catchline.dat).
//   DemoDataFileFor the file that replaces it: the program file's name with
//                   the extension ".dat".
//   ParseRawData    a whole file in memory -> samples, with the same checks.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "interfaces/devices/vt_protocol.h"

constexpr uint32_t kRawDataMagic = 0x204C494D;  // "MIL "
constexpr int kRawDataHeaderSize = 8;
constexpr int kRawDataSampleSize = 3;

struct TRawDataSample {
    uint16_t Ticks = 0;
    uint8_t Heart = 0;
};

// The bytes of the built-in recording.
const std::vector<uint8_t>& BuiltInDemoData();
// "<program without extension>.dat".
std::string DemoDataFileFor(const std::string& programPath);

// Whole file in memory: "" and the samples, or "Filesize", "Invalid file".
std::string ParseRawData(const uint8_t* data, size_t size, uint32_t* version, std::vector<TRawDataSample>* samples);
// Header and samples as bytes.
std::vector<uint8_t> RawDataBytes(uint32_t version, const std::vector<TRawDataSample>& samples);
// Interval in seconds -> ticks, rounded and clamped to 0..65535.
uint16_t IntervalToTicks(double seconds);

class TDemoSource {
public:
    TDemoSource() = default;
    ~TDemoSource();
    TDemoSource(const TDemoSource&) = delete;
    TDemoSource& operator=(const TDemoSource&) = delete;

    enum TResult { rsSample, rsEnd, rsError, rsClosed };

    // "" on success, else the failure ("Filesize", "Read header", "Invalid file",
    // or "Cannot open file" with the system's reason).
    std::string OpenFile(const std::string& path);
    // The bytes must outlive the source (the built-in recording does).
    std::string OpenBytes(const uint8_t* data, size_t size);
    void Close();
    bool IsOpen() const { return Size >= 0; }
    int Kind() const { return FileKind ? 1 : 0; }  // 1 = file, 0 = resource
    int64_t SizeInBytes() const { return Size; }
    uint32_t Version() const { return HeaderVersion; }
    // Next sample; error = "Read data" on a short read.
    TResult Read(TRawDataSample& sample, std::string& error);

    // Generator of the replacement heart rates (built-in recording only).
    void Seed(uint64_t seed) { Rng = seed; }
    // Take the heart bytes as stored from memory too (tools that replay the
    // built-in recording as a file would be replayed).
    bool StoredHeart = false;

private:
    std::string CheckHeader(const uint8_t* header, size_t got);
    int NextRandom5();
    FILE* File = nullptr;
    const uint8_t* Bytes = nullptr;
    bool FileKind = false;
    int64_t Size = -1;
    int64_t Position = 0;
    uint32_t HeaderVersion = 0;
    uint64_t Rng = 0x9E3779B97F4A7C15ull;
};

class TDemoPlayer {
public:
    explicit TDemoPlayer(TVTPulseInput& input);

    TDemoSource Source;
    // The pacing clock: when the next sample is due, in microseconds of the tick
    // count (kept finer than the timer's milliseconds so playback keeps real time).
    int64_t PacingClockUs = 0;
    bool Fast = false;  // DemoFast: no real-time pacing

    std::function<void()> OnEnd;                              // recording over: close
    std::function<void(const std::string& message)> OnError;  // "DemoRead %d : %s"

    // DemoOpen without the timer: opens programPath's ".dat" file when it
    // exists, else the built-in recording; or the given file / bytes. Sets
    // Protocol, the pacing clock and reads the first sample. Returns "" on
    // success or "DemoOpen %d : %s". firstMs: the timer interval to start
    // with (the first sample's whole milliseconds), or -1 when no sample
    // could be read (the caller starts a 1000 ms timer without handler).
    std::string OpenDefault(const std::string& programPath, int64_t nowMs, int* firstMs);
    std::string OpenFile(const std::string& path, int64_t nowMs, int* firstMs);
    std::string OpenBytes(const uint8_t* data, size_t size, int64_t nowMs, int* firstMs);

    // DemoRead: true when a sample was read into the input's CurrentInterval
    // and HeartRaw; false at the end (OnEnd) or on an error (OnError).
    bool Read();
    // DemoProcess: the current sample through the pulse handling.
    void Process();
    // DemoTimer steps 2 and 3 (the caller has disabled the timer and checked
    // the state): returns the next timer interval in ms, or -1 when playback
    // stopped. A handler that pauses during a burst of overdue samples ends
    // the burst; the next call (after Continue) goes on with the sample after
    // the last one processed, so none is lost or played twice.
    int Timer(int64_t nowMs);
    // Continue after a pause.
    void Continue(int64_t nowMs) { PacingClockUs = (nowMs - 1) * 1000; }
    // DemoClose.
    void Close() { Source.Close(); }

    // Whole milliseconds of the current sample.
    int SampleMs() const;

private:
    std::string Start(const std::string& failure, int64_t nowMs, int* firstMs);
    TVTPulseInput& In;
    bool FirstSample = true;
    bool Pending = false;  // the current sample was read and not yet processed
    int64_t SampleUs = 0;
};

class TRawLogWriter {
public:
    ~TRawLogWriter() { Close(); }
    // "" on success, else "Write header" or the reason the file could not be created.
    std::string Open(const std::string& path, uint32_t version);
    // "" on success, else "Write data".
    std::string Write(double intervalSeconds, int heartRaw);
    void Close();
    bool IsOpen() const { return File != nullptr; }

private:
    FILE* File = nullptr;
};

// Playing a recording without a clock of its own: the stroke computation of
// a default row-window session on the demo machine (VTW protocol, four
// magnets, cog 11, a single scull), clocked by the recording itself: ticks
// counts the recording's time so far in 1/614000 s.
void SetUpRecordingInput(TVTPulseInput& in, double weight, const int64_t& ticks);
// Plays an opened recording (firstMs as the open gave it) to its end through
// the input, adding each sample's interval to ticks.
void PlayRecording(TDemoPlayer& player, TVTPulseInput& in, int firstMs, int64_t& ticks);

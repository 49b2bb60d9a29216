#pragma once
// The recording journal: every stroke of a recording on disk as it is rowed,
// so that a crash, a killed process, a power cut or a flat battery loses at
// most the stroke in progress. Each recording gets its own journal file in the
// "Journal" folder of the user data folder, named after the recording's start
// and its session GUID. The journal ends (and the file goes) when the session
// has been saved or the user discarded it; a journal found later belongs to a
// session that was never saved and can be recovered.
//
// File layout, format version 1 (little-endian, no padding):
//
//   preamble (24 bytes)
//      0   8  magic "CLJOURNL"
//      8   2  uint16 format version (1)
//     10   2  uint16 preamble size (24)
//     12   4  uint32 packed version of the program that wrote the journal
//     16   4  uint32 reserved (0)
//     20   4  uint32 CRC-32 of bytes 0..19
//   entries to the end of the file, each
//      0   1  uint8 entry type (below)
//      1   1  uint8 entry version (1)
//      2   2  uint16 reserved (0)
//      4   4  uint32 payload length L (at most kJournalMaxPayload)
//      8   4  uint32 CRC-32 of bytes 0..7 followed by the payload
//     12   L  payload
//
// Entry types (version 1) and their payloads:
//   1 session   TTrainingHeader (2380) + TTrainingSettings (104): the header and
//               workout set-up; written at the start and again whenever either changed
//   2 stroke    int32 stroke index k (1..65535) + TStgStrokeData (84) + TStgForceCurve
//               (163): stroke k and its curve as the session stores them (peak values and
//               interval marks included); a later entry for the same k replaces it
//   3 interval  int32 interval index (0..65534) + TTrainingInterval (259)
//   4 raw       int32 index of the first raw sample (1..) + n TRawSample (3 bytes each)
//   5 state     uint8 flags (jsFinished: the session limit ended the recording;
//               jsClosed: the device was disconnected) + TTrainingTotals (16)
//   6 end       uint8 reason (jeSaved, jeDiscarded): the session needs the journal no more
//
// Every append is one write(2) on a file opened for appending: once it
// returns, the entry survives the program's crash. A thread of the writer then
// flushes it to the disk with fdatasync(2) (one flush for all the appends made
// meanwhile), so a recording never waits for the disk. A reader takes the entries in order and stops at the first one
// that is cut short, fails its checksum or is of a type or version it does not
// know; everything before it is kept.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/records.h"

constexpr uint16_t kJournalFormatVersion = 1;
constexpr size_t kJournalPreambleSize = 24;
constexpr size_t kJournalEntryHeaderSize = 12;
// The largest payload a reader accepts (a batch of raw samples is the largest entry).
constexpr uint32_t kJournalMaxPayload = 1u << 20;
// Extension of journal files.
extern const char* const kJournalExtension;

enum TJournalEntryType : uint8_t {
    jtSession = 1,
    jtStroke = 2,
    jtInterval = 3,
    jtRaw = 4,
    jtState = 5,
    jtEnd = 6,
};
enum TJournalStateFlags : uint8_t { jsFinished = 1, jsClosed = 2 };
enum TJournalEndReason : uint8_t { jeSaved = 1, jeDiscarded = 2 };

// CRC-32 (the polynomial of zip and PNG) of data, continuing from crc.
uint32_t JournalCrc(const void* data, size_t size, uint32_t crc = 0);

// The folder journals are kept in: the user data folder's "Journal" folder
// (made when create is true).
std::string JournalFolder(bool create);

// Writes the journal of one recording. All calls come from one thread.
class TJournalWriter {
public:
    TJournalWriter() = default;
    ~TJournalWriter();  // closes the file, which stays
    TJournalWriter(const TJournalWriter&) = delete;
    TJournalWriter& operator=(const TJournalWriter&) = delete;

    // Creates the journal of the recording in folder (made when missing),
    // holds a lock on it while open, and writes the preamble and the session
    // entry. False when that fails (LastError() holds errno).
    bool Create(const std::string& folder, const TTraining& t);
    // Appends what changed in t since the last append: the header and
    // settings, intervals, raw samples up to rawCount, stroke k (when k >= 1)
    // and, when stateFlags is not 0, the state with t's totals. One write; the
    // flush to the disk follows on the writer's thread. After a failure (of a
    // write, or of an earlier flush) the writer stops (the file keeps what it
    // had) and every later call fails.
    bool Record(const TTraining& t, int strokeIndex, int rawCount, uint8_t stateFlags = 0);
    // Closes the file and releases the lock; the file stays. Waits for the
    // flush of what was appended.
    void Close();
    // Waits until everything appended so far is flushed to the disk; false
    // when a flush failed (LastError() holds errno; the writer has stopped).
    bool Flush();
    // The session needs the journal no more: an end entry is written and the
    // file is closed and deleted.
    bool End(TJournalEndReason reason);

    bool IsOpen() const { return FFd >= 0; }
    const std::string& Path() const { return FPath; }
    int LastError() const { return FError; }
    // Bytes written so far.
    uint64_t Size() const { return FSize; }

private:
    bool Append(const std::vector<uint8_t>& bytes);
    void Fail(int error);
    void FlushLoop();
    void StopFlushing();

    // The flushing thread: FAppended counts the appends, FFlushed the ones
    // on the disk; FFlushError is the errno of a failed flush.
    std::thread FFlusher;
    std::mutex FFlushLock;
    std::condition_variable FFlushWake;
    uint64_t FAppended = 0;
    uint64_t FFlushed = 0;
    int FFlushError = 0;
    bool FStopFlushing = false;

    int FFd = -1;
    std::string FPath;
    int FError = 0;
    uint64_t FSize = 0;
    std::vector<uint8_t> FHeader;       // session entry payload last written
    size_t FIntervalCount = 0;          // intervals 0..FIntervalCount-1 written
    TTrainingInterval FLastInterval{};  // the newest as written
    int FRawWritten = 0;                // raw samples 1..FRawWritten written
    std::vector<uint8_t> FBuffer;       // the entries of one append
};

// What reading a journal found.
struct TJournalReport {
    bool Readable = false;  // the preamble is that of a journal this program reads
    uint32_t ProgramVersion = 0;
    int Entries = 0;  // entries taken
    int Strokes = 0;  // strokes of the recovered session
    int Intervals = 0;
    int RawSamples = 0;
    bool Finished = false;  // the session limit ended the recording
    bool Closed = false;    // the recording ended (the device was disconnected)
    bool Ended = false;     // an end entry: the session was saved or discarded
    uint8_t EndReason = 0;
    bool NewerVersion = false;  // reading stopped at something a later version wrote
    size_t GoodBytes = 0;       // the bytes up to the end of the last entry taken
    size_t DroppedBytes = 0;    // the bytes after them that could not be used
    // What was dropped and why; "" when the journal was read to its end.
    std::string Problem;
};

// Rebuilds the recorded session from a journal image into t: the header and
// workout, every stroke, curve, interval and raw sample of the complete
// entries, and the totals as the recording would have had them had it ended at
// its last stroke (by the limit's own totals when the limit ended it). The
// session comes back modified and not live. False (t cleared) when the image
// is not a journal this program can read.
bool RecoverJournal(const uint8_t* data, size_t size, TTraining& t, TJournalReport& report);
bool RecoverJournalFile(const std::string& path, TTraining& t, TJournalReport& report);

// A journal found in the journal folder.
struct TJournalInfo {
    std::string Path;
    bool InUse = false;   // a recording (of this or another process) is writing it
    double DateTime = 0;  // start of the recording (0 when unreadable)
    std::string Title;
    TJournalReport Report;  // not read when in use
};
// The journals in folder, oldest recording first.
std::vector<TJournalInfo> FindJournals(const std::string& folder);
// True while a writer holds the journal at path open.
bool JournalInUse(const std::string& path);

// The session behind a journal was saved or discarded: the journal is
// deleted, unless a recording is still writing it (then it goes on and false
// is returned). True when no journal is left at path.
bool EndJournal(const std::string& path, TJournalEndReason reason);
// Ends the journal of a session (t.JournalFile) and forgets it when it went.
void EndSessionJournal(TTraining& t, TJournalEndReason reason);

// "A training session recorded on ... was not saved. Recover it?" with the
// recording's date and time, title and strokes, and what was damaged.
std::string RecoverQuestionText(const TJournalInfo& info);
// One line describing a journal for listings.
std::string JournalSummary(const TJournalInfo& info);

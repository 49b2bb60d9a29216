// The recording journal: a recording written stroke by stroke and read back
// as the session its recording had at each stroke; journals cut at every
// byte, damaged in the middle, carrying entries of a later version or
// garbage; the journal folder, its locks and the end of a journal.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "core/values.h"
#include "files/journal.h"
#include "files/training_file.h"
#include "testutil_files.h"
#include "util/paths.h"

namespace {

// A recording played into a session as the row engine does it (the arrays
// grow ahead of the strokes, raw samples come between strokes, intervals
// complete now and then, the title is edited on the way), with the journal
// written after every stroke.
class TRecording {
public:
    explicit TRecording(const std::string& folder, double date = 46000.5)
    {
        ResetTraining(Live);
        Live.Header = DefaultHeader();
        Live.Settings = DefaultSettings();
        Live.Header.DateTime = date;
        Live.Header.ContentKind = ckRow;
        Live.Header.Modified = 1;
        SetStrokeCount(Live, 0);
        EXPECT_TRUE(Writer.Create(folder, Live)) << Writer.LastError();
    }

    void Stroke(int k)
    {
        for (int i = 0; i < 7 + k % 5; ++i) {
            ++Raw;
            if (Raw >= int(Live.RawSamples.size())) Live.RawSamples.resize(size_t(Raw) + 100);
            Live.RawSamples[size_t(Raw)] = TRawSample{int16_t(3000 + Raw * 7), uint8_t(Raw)};
        }
        if (k >= Live.StrokeCount()) SetStrokeCount(Live, k + 100);
        TStgStrokeData& s = Live.Strokes[size_t(k)];
        s.StrokeNumber = uint16_t(k);
        s.Power = 150.0f + float(k % 9);
        s.Time = 2.4f * float(k);
        s.Distance = 9.5f * float(k);
        s.EnergySum = 0.45f * float(k);
        s.StrokeLength = 130.0f + float(k % 4);
        TStgForceCurve& c = Live.Curves[size_t(k)];
        c.StrokeNumber = int16_t(k);
        c.HasData = 1;
        for (int i = 0; i < 40; ++i) c.Samples[i] = uint16_t(300 + 10 * i - (i * i) / 4 + k);
        ApplyCurvePeak(s, c, Live.Settings.Sprocket);
        Live.Header.SelectedStroke = k;
        if (k == 3) Live.Header.Title.SetText("Morning row");
        if (k % 4 == 0) {
            SetIntervalCount(Live, k / 4);
            Live.Intervals.back().AveragePower = uint16_t(140 + k);
        }
        EXPECT_TRUE(Writer.Record(Live, k, Raw)) << Writer.LastError();
        Last = k;
    }

    // The session as the recording would have had it, disconnected now.
    TTraining Closed() const
    {
        TTraining t = Live;
        CloseRecording(t, Last, Raw, false);
        UpdateAverageStroke(t);
        t.RowStatus = rsFinished;
        return t;
    }

    TTraining Live;
    TJournalWriter Writer;
    int Raw = 0;
    int Last = 0;
};

std::vector<uint8_t> Image(const TTraining& t) { return TrainingFileBytes(t); }

TTraining Recover(const std::vector<uint8_t>& bytes, size_t size, TJournalReport& report, bool expectOk = true)
{
    TTraining t;
    EXPECT_EQ(RecoverJournal(bytes.data(), size, t, report), expectOk) << report.Problem;
    return t;
}

// Offsets of the entries of a journal image (the preamble excluded).
std::vector<size_t> EntryOffsets(const std::vector<uint8_t>& j)
{
    std::vector<size_t> at;
    size_t pos = kJournalPreambleSize;
    while (pos + kJournalEntryHeaderSize <= j.size()) {
        at.push_back(pos);
        uint32_t length;
        std::memcpy(&length, &j[pos + 4], 4);
        pos += kJournalEntryHeaderSize + length;
    }
    return at;
}

// An entry with a valid checksum.
std::vector<uint8_t> Entry(uint8_t type, uint8_t version, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> e{type, version, 0, 0};
    const uint32_t length = uint32_t(payload.size());
    e.insert(e.end(), reinterpret_cast<const uint8_t*>(&length), reinterpret_cast<const uint8_t*>(&length) + 4);
    uint32_t crc = JournalCrc(e.data(), 8);
    crc = JournalCrc(payload.data(), payload.size(), crc);
    e.insert(e.end(), reinterpret_cast<const uint8_t*>(&crc), reinterpret_cast<const uint8_t*>(&crc) + 4);
    e.insert(e.end(), payload.begin(), payload.end());
    return e;
}

}  // namespace

TEST(Journal, EveryStrokeRecoversAsTheRecordingHadItThen)
{
    TTempDir dir;
    TRecording rec(dir.Path());
    for (int k = 1; k <= 13; ++k) {
        rec.Stroke(k);
        // Read back while the writer still holds it, as after a crash.
        TJournalReport report;
        const std::vector<uint8_t> bytes = FileBytes(rec.Writer.Path());
        const TTraining back = Recover(bytes, bytes.size(), report);
        ASSERT_EQ(Image(back), Image(rec.Closed())) << "stroke " << k;
        EXPECT_EQ(report.Problem, "");
        EXPECT_EQ(report.DroppedBytes, 0u);
        EXPECT_EQ(+back.Header.Modified, 1);
        EXPECT_EQ(+back.Live, 0);
        EXPECT_EQ(back.Header.SelectedStroke, k);
    }
    TJournalReport report;
    TTraining back;
    ASSERT_TRUE(RecoverJournalFile(rec.Writer.Path(), back, report));
    EXPECT_EQ(back.Header.Title.Text(), "Morning row");
    EXPECT_EQ(report.Strokes, 13);
    EXPECT_EQ(report.Intervals, 3);
    EXPECT_EQ(report.RawSamples, rec.Raw);
    EXPECT_FLOAT_EQ(back.Totals.Distance, 9.5f * 13);
    EXPECT_EQ(back.JournalFile, rec.Writer.Path());
}

TEST(Journal, ALaterEntryForTheSameStrokeReplacesIt)
{
    // The force curve of an OTM arrives after its stroke; a standing flywheel
    // repeats the last stroke with no power.
    TTempDir dir;
    TRecording rec(dir.Path());
    rec.Stroke(1);
    rec.Stroke(2);
    rec.Live.Curves[2].Samples[5] = 999;
    ApplyCurvePeak(rec.Live.Strokes[2], rec.Live.Curves[2], 0);
    ASSERT_TRUE(rec.Writer.Record(rec.Live, 2, rec.Raw));
    TJournalReport report;
    const std::vector<uint8_t> bytes = FileBytes(rec.Writer.Path());
    const TTraining back = Recover(bytes, bytes.size(), report);
    EXPECT_EQ(Image(back), Image(rec.Closed()));
    EXPECT_EQ(+back.Strokes[2].PeakForce, 999.0f);
}

TEST(Journal, TheLimitsOwnTotalsAndTheClose)
{
    // A limit ends the recording inside its last stroke: its interpolated
    // totals stay, they are not those of the last stroke.
    TTempDir dir;
    TRecording rec(dir.Path());
    rec.Stroke(1);
    rec.Stroke(2);
    rec.Live.Totals = TTrainingTotals{15.0f, 3.9f, 0.7f, 179.0f};
    ASSERT_TRUE(rec.Writer.Record(rec.Live, 0, rec.Raw, jsFinished));
    ASSERT_TRUE(rec.Writer.Record(rec.Live, 0, rec.Raw, jsFinished | jsClosed));
    TJournalReport report;
    const std::vector<uint8_t> bytes = FileBytes(rec.Writer.Path());
    const TTraining back = Recover(bytes, bytes.size(), report);
    EXPECT_TRUE(report.Finished);
    EXPECT_TRUE(report.Closed);
    EXPECT_EQ(back.StrokeCount(), 2);
    EXPECT_EQ(+back.Totals.Distance, 15.0f);
    EXPECT_EQ(+back.Totals.AveragePower, 179.0f);
}

TEST(Journal, CutAtEveryByteKeepsTheCompleteEntriesBeforeTheCut)
{
    TTempDir dir;
    TRecording rec(dir.Path());
    // The image after each stroke, and where in the file each stroke ended.
    std::vector<std::vector<uint8_t>> expected{Image(rec.Closed())};
    std::vector<size_t> ends{size_t(rec.Writer.Size())};
    for (int k = 1; k <= 5; ++k) {
        rec.Stroke(k);
        expected.push_back(Image(rec.Closed()));
        ends.push_back(size_t(rec.Writer.Size()));
    }
    const std::vector<uint8_t> bytes = FileBytes(rec.Writer.Path());
    ASSERT_EQ(bytes.size(), ends.back());
    const std::vector<size_t> entries = EntryOffsets(bytes);
    for (size_t cut = 0; cut <= bytes.size(); ++cut) {
        TJournalReport report;
        TTraining back;
        const std::vector<uint8_t> part(bytes.begin(), bytes.begin() + ptrdiff_t(cut));
        const bool ok = RecoverJournal(part.data(), part.size(), back, report);
        if (cut < kJournalPreambleSize) {
            EXPECT_FALSE(ok) << cut;
            continue;
        }
        ASSERT_TRUE(ok) << cut;
        // The strokes are those of the last stroke written completely before the cut.
        int k = 0;
        while (k + 1 < int(ends.size()) && ends[size_t(k) + 1] <= cut) ++k;
        EXPECT_EQ(back.StrokeCount(), k) << cut;
        if (back.StrokeCount() == k && k > 0) {
            for (int i = 1; i <= k; ++i)
                ASSERT_EQ(std::memcmp(&back.Strokes[size_t(i)], &rec.Live.Strokes[size_t(i)], sizeof(TStgStrokeData)),
                          0)
                    << "cut " << cut << " stroke " << i;
        }
        if (std::find(ends.begin(), ends.end(), cut) != ends.end()) {
            EXPECT_EQ(Image(back), expected[size_t(k)]) << cut;
        }
        const bool atEntry = cut == bytes.size() || std::find(entries.begin(), entries.end(), cut) != entries.end();
        EXPECT_EQ(report.Problem.empty(), atEntry) << cut << " " << report.Problem;
        EXPECT_EQ(report.GoodBytes + report.DroppedBytes, cut);
    }
}

TEST(Journal, DamageInTheMiddleKeepsWhatCameBefore)
{
    TTempDir dir;
    TRecording rec(dir.Path());
    for (int k = 1; k <= 6; ++k) rec.Stroke(k);
    const std::vector<uint8_t> good = FileBytes(rec.Writer.Path());
    const std::vector<size_t> entries = EntryOffsets(good);
    // The stroke entries in order.
    std::vector<size_t> strokes;
    for (size_t at : entries)
        if (good[at] == jtStroke) strokes.push_back(at);
    ASSERT_EQ(strokes.size(), 6u);

    {  // One bit flipped in stroke 4.
        std::vector<uint8_t> bad = good;
        bad[strokes[3] + kJournalEntryHeaderSize + 20] ^= 0x10;
        TJournalReport report;
        const TTraining back = Recover(bad, bad.size(), report);
        EXPECT_EQ(back.StrokeCount(), 3);
        EXPECT_NE(report.Problem.find("checksum"), std::string::npos) << report.Problem;
        EXPECT_EQ(report.DroppedBytes, bad.size() - strokes[3]);
        EXPECT_FALSE(report.NewerVersion);
    }
    {  // An entry of a type this version does not know, then one of a later version.
        for (const auto& later : {Entry(42, 1, {1, 2, 3}), Entry(jtStroke, 2, std::vector<uint8_t>(251, 0))}) {
            std::vector<uint8_t> bad(good.begin(), good.begin() + ptrdiff_t(strokes[2]));
            bad.insert(bad.end(), later.begin(), later.end());
            bad.insert(bad.end(), good.begin() + ptrdiff_t(strokes[2]), good.end());
            TJournalReport report;
            const TTraining back = Recover(bad, bad.size(), report);
            EXPECT_EQ(back.StrokeCount(), 2);
            EXPECT_TRUE(report.NewerVersion);
            EXPECT_NE(report.Problem.find("later version"), std::string::npos) << report.Problem;
        }
    }
    {  // A journal of a later format is not read at all.
        std::vector<uint8_t> bad = good;
        bad[8] = 2;
        const uint32_t crc = JournalCrc(bad.data(), 20);
        std::memcpy(&bad[20], &crc, 4);
        TJournalReport report;
        Recover(bad, bad.size(), report, false);
        EXPECT_FALSE(report.Readable);
        EXPECT_TRUE(report.NewerVersion);
    }
    {  // A length far beyond the file, and checksummed entries that make no sense.
        const int32_t farIndex = 2000000000;
        std::vector<uint8_t> rawFar(4 + 3, 0), strokeZero(251, 0), shortSession(100, 0);
        std::memcpy(rawFar.data(), &farIndex, 4);
        for (const auto& odd :
             {Entry(jtRaw, 1, rawFar), Entry(jtStroke, 1, strokeZero), Entry(jtSession, 1, shortSession)}) {
            std::vector<uint8_t> bad(good.begin(), good.begin() + ptrdiff_t(strokes[1]));
            bad.insert(bad.end(), odd.begin(), odd.end());
            TJournalReport report;
            const TTraining back = Recover(bad, bad.size(), report);
            EXPECT_EQ(back.StrokeCount(), 1);
            EXPECT_LT(back.RawSamples.size(), bad.size());
            EXPECT_NE(report.Problem.find("malformed"), std::string::npos) << report.Problem;
        }
        std::vector<uint8_t> bad(good.begin(), good.begin() + ptrdiff_t(strokes[1]));
        const std::vector<uint8_t> huge{jtRaw, 1, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0};
        bad.insert(bad.end(), huge.begin(), huge.end());
        TJournalReport report;
        EXPECT_EQ(Recover(bad, bad.size(), report).StrokeCount(), 1);
        EXPECT_NE(report.Problem.find("damaged"), std::string::npos) << report.Problem;
    }
}

TEST(Journal, GarbageIsRefusedOrCutShort)
{
    std::mt19937 random(7);
    TTempDir dir;
    TRecording rec(dir.Path());
    rec.Stroke(1);
    const std::vector<uint8_t> good = FileBytes(rec.Writer.Path());
    for (size_t size : {0, 1, 23, 24, 25, 100, 5000}) {
        std::vector<uint8_t> noise(size);
        for (auto& b : noise) b = uint8_t(random());
        TJournalReport report;
        TTraining t;
        EXPECT_FALSE(RecoverJournal(noise.data(), noise.size(), t, report));
        EXPECT_FALSE(report.Problem.empty());
        // Behind a good journal the noise is dropped, the stroke before it stays.
        std::vector<uint8_t> tail = good;
        tail.insert(tail.end(), noise.begin(), noise.end());
        EXPECT_EQ(Recover(tail, tail.size(), report).StrokeCount(), 1) << size;
        EXPECT_EQ(report.DroppedBytes, size);
    }
}

TEST(Journal, FolderLocksAndTheEnd)
{
    TTempDir dir;
    auto rec = std::make_unique<TRecording>(dir.Path());
    rec->Stroke(1);
    rec->Stroke(2);
    const std::string path = rec->Writer.Path();
    EXPECT_EQ(ExtractFilePath(path), dir.Path());
    EXPECT_EQ(ExtractFileExt(path), ".journal");

    // While the recording writes, nothing ends it and the listing leaves it alone.
    EXPECT_TRUE(JournalInUse(path));
    EXPECT_FALSE(EndJournal(path, jeSaved));
    std::vector<TJournalInfo> found = FindJournals(dir.Path());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found[0].InUse);

    // Killed: no lock any more; the listing reads it.
    rec->Writer.Close();
    EXPECT_FALSE(JournalInUse(path));
    found = FindJournals(dir.Path());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_FALSE(found[0].InUse);
    EXPECT_EQ(found[0].Report.Strokes, 2);
    EXPECT_EQ(found[0].DateTime, 46000.5);
    EXPECT_EQ(RecoverQuestionText(found[0]).rfind("A training session recorded on 2025-12-09 at 12:00 was not saved. "
                                                  "Recover it?",
                                                  0),
              0u)
        << RecoverQuestionText(found[0]);

    // A second recording, older: listed first.
    TRecording older(dir.Path(), 45000);
    older.Stroke(1);
    older.Writer.Close();
    found = FindJournals(dir.Path());
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].Path, older.Writer.Path());

    // Saved: the journal goes.
    TTraining t;
    t.JournalFile = path;
    EndSessionJournal(t, jeSaved);
    EXPECT_EQ(t.JournalFile, "");
    EXPECT_FALSE(FileExists(path));
    // The writer's own end deletes its file.
    TRecording third(dir.Path());
    third.Stroke(1);
    const std::string thirdPath = third.Writer.Path();
    EXPECT_TRUE(third.Writer.End(jeDiscarded));
    EXPECT_FALSE(FileExists(thirdPath));
}

// Appends do not wait for the disk: the flush runs behind them. Whatever
// the writer is told next (flush, close, a new recording, its end) comes after
// every entry appended before it.
TEST(Journal, FlushesBehindTheAppendsAndStopsInOrder)
{
    TTempDir dir;
    std::string first;
    {
        TRecording rec(dir.Path());
        for (int k = 1; k <= 400; ++k) rec.Stroke(k);
        EXPECT_TRUE(rec.Writer.Flush());
        EXPECT_TRUE(rec.Writer.IsOpen());
        for (int k = 401; k <= 450; ++k) rec.Stroke(k);
        first = rec.Writer.Path();
        // Left without a close: the destructor waits for the last flush.
    }
    TJournalReport report;
    TTraining back;
    ASSERT_TRUE(RecoverJournalFile(first, back, report));
    EXPECT_EQ(report.Strokes, 450);
    EXPECT_EQ(report.DroppedBytes, 0u);
    EXPECT_FALSE(JournalInUse(first));

    // One writer, two recordings: the second starts its own flushing after
    // the first was closed, and its end deletes only its own file.
    TRecording rec(dir.Path(), 46001.5);
    rec.Stroke(1);
    rec.Writer.Close();
    EXPECT_FALSE(rec.Writer.Flush());  // nothing open to flush
    const std::string closed = rec.Writer.Path();
    ASSERT_TRUE(rec.Writer.Create(dir.Path(), rec.Live));
    ASSERT_NE(rec.Writer.Path(), closed);
    for (int k = 2; k <= 30; ++k) rec.Stroke(k);
    EXPECT_TRUE(rec.Writer.Flush());
    ASSERT_TRUE(RecoverJournalFile(rec.Writer.Path(), back, report));
    EXPECT_EQ(report.Strokes, 30);
    const std::string second = rec.Writer.Path();
    EXPECT_TRUE(rec.Writer.End(jeSaved));
    EXPECT_FALSE(FileExists(second));
    EXPECT_TRUE(FileExists(closed));
    EXPECT_TRUE(FileExists(first));
    EXPECT_FALSE(rec.Writer.Record(rec.Live, 31, rec.Raw));
}

TEST(Journal, AFolderThatCannotBeMadeFails)
{
    TTempDir dir;
    PutFileBytes(dir / "plain", {1});
    TTraining t;
    ResetTraining(t);
    TJournalWriter w;
    EXPECT_FALSE(w.Create(dir / "plain/Journal", t));
    EXPECT_NE(w.LastError(), 0);
    EXPECT_FALSE(w.Record(t, 1, 0));
}

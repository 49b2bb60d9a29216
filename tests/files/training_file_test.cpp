// The training file: byte-exact round trips and the reader's tolerance of
// unknown blocks, short, long and missing records, and its refusal of counts
// the file cannot back.
#include <gtest/gtest.h>

#include <cstring>

#include "core/values.h"
#include "files/training_file.h"
#include "tests/support/scripted_dialogs.h"
#include "testutil_files.h"
#include "util/dialogs.h"
#include "util/version.h"

namespace {

constexpr size_t kHeaderRecordAt = 8 + 7;  // magic, version, block header

bool Parse(const std::vector<uint8_t>& image, TTraining& t)
{
    ClearTraining(t);
    return ParseTrainingFile(image.data(), image.size(), t);
}

TTraining Read(const std::string& relative)
{
    TTraining t;
    auto image = FileBytes(DataFile(relative));
    EXPECT_TRUE(Parse(image, t)) << relative;
    return t;
}

std::vector<uint8_t> Block(uint8_t type, uint16_t size, int32_t count, const std::vector<uint8_t>& records = {})
{
    std::vector<uint8_t> b{type, uint8_t(size), uint8_t(size >> 8)};
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(uint32_t(count) >> (8 * i)));
    b.insert(b.end(), records.begin(), records.end());
    return b;
}

std::vector<uint8_t> Image(std::initializer_list<std::vector<uint8_t>> blocks, uint32_t version = 0x09000001)
{
    std::vector<uint8_t> image{'M', 'I', 'L', ' '};
    for (int i = 0; i < 4; ++i) image.push_back(uint8_t(version >> (8 * i)));
    for (const auto& b : blocks) image.insert(image.end(), b.begin(), b.end());
    return image;
}

}  // namespace

TEST(TrainingFile, ReadThenWriteIsByteIdentical)
{
    for (const char* name : {"training/current.stg", "training/sample.stg", "training/user_only.stg"}) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> original = FileBytes(DataFile(name));
        TTraining t;
        ASSERT_TRUE(Parse(original, t));
        std::vector<uint8_t> written = TrainingFileBytes(t);
        // The writer stamps its own version; everything else, the bytes past
        // the length of every short string included, comes back unchanged.
        SetImageVersion(original, ProgramVersion());
        EXPECT_EQ(written, original);
    }
}

TEST(TrainingFile, SessionSurvivesWriteAndRead)
{
    TTraining t = MakeSession(25, 40);
    t.Header.Title.SetText("Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC");
    TTraining back;
    ASSERT_TRUE(Parse(TrainingFileBytes(t), back));
    EXPECT_EQ(back.Header.Title.Text(), "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC");
    ASSERT_EQ(back.Strokes.size(), t.Strokes.size());
    EXPECT_EQ(std::memcmp(back.Strokes.data(), t.Strokes.data(), t.Strokes.size() * sizeof(TStgStrokeData)), 0);
    EXPECT_EQ(std::memcmp(back.Curves.data(), t.Curves.data(), t.Curves.size() * sizeof(TStgForceCurve)), 0);
    ASSERT_EQ(back.RawSamples.size(), 41u);
    EXPECT_EQ(back.RawSamples[40].Value, 280);
    EXPECT_EQ(back.Totals.Distance, t.Totals.Distance);
    EXPECT_EQ(back.Magic, kTrainingMagic);
    EXPECT_EQ(back.ProgramVersion, ProgramVersion());
}

TEST(TrainingFile, CurveSourceIsWrittenAsZero)
{
    TTraining t = MakeSession(2);
    t.Header.CurveSource = 2;
    t.Header.CurveInterval = 1;
    auto image = TrainingFileBytes(t);
    EXPECT_EQ(image[kHeaderRecordAt + offsetof(TTrainingHeader, CurveSource)], 0);
    EXPECT_EQ(t.Header.CurveSource, 2);  // the session itself keeps its view
}

TEST(TrainingFile, MagicAndVersion)
{
    TTraining t;
    EXPECT_FALSE(Parse(FileBytes(DataFile("training/zero_version.stg")), t));
    EXPECT_FALSE(Parse(FileBytes(DataFile("training/bad_magic.stg")), t));
    EXPECT_FALSE(Parse({'M', 'I', 'L', ' ', 1, 0}, t));
    ASSERT_TRUE(Parse(FileBytes(DataFile("training/empty_blocks.stg")), t));
    EXPECT_TRUE(IsEmptyTraining(t));
    EXPECT_EQ(t.ProgramVersion, 0x09000001u);
}

TEST(TrainingFile, StrokesArePlacedByTheirOwnNumber)
{
    TTraining t = Read("training/stroke_numbers.stg");
    ASSERT_EQ(t.StrokeCount(), 3);
    EXPECT_EQ(t.Strokes[1].Power, 101.0f);
    EXPECT_EQ(t.Strokes[2].StrokeNumber, 2);
    EXPECT_EQ(t.Strokes[2].Power, 0.0f);
    EXPECT_EQ(t.Strokes[2].Time, 0.0f);
    EXPECT_EQ(t.Strokes[3].Power, 103.0f);
}

TEST(TrainingFile, UnknownBlocksAreSkipped)
{
    TTraining plain = Read("training/current.stg");
    TTraining withUnknown = Read("training/unknown_block.stg");
    EXPECT_EQ(TrainingFileBytes(withUnknown), TrainingFileBytes(plain));
}

TEST(TrainingFile, ShortRecordsLeaveTheTailZero)
{
    TTraining full = Read("training/current.stg");
    TTraining t = Read("training/short_records.stg");
    const auto* h = reinterpret_cast<const uint8_t*>(&t.Header);
    const auto* fh = reinterpret_cast<const uint8_t*>(&full.Header);
    EXPECT_EQ(std::memcmp(h, fh, 2000), 0);
    for (size_t i = 2000; i < sizeof(TTrainingHeader); ++i) ASSERT_EQ(h[i], 0) << i;
    EXPECT_EQ(t.Settings.Weight, 80);
    EXPECT_EQ(t.Settings.Display, 0);  // past the 100 bytes
    ASSERT_EQ(t.StrokeCount(), 3);
    EXPECT_EQ(t.Strokes[2].Power, full.Strokes[2].Power);
    EXPECT_EQ(t.Strokes[2].PeakForcePosition, 0.0f);  // offset 54, inside
    EXPECT_EQ(t.Strokes[2].KValue, 0.0f);             // offset 66, past the 60 bytes
    EXPECT_EQ(t.Strokes[2].DriveTime, 0.0f);
    EXPECT_EQ(t.Curves[1].Samples[47], full.Curves[1].Samples[47]);
    EXPECT_EQ(t.Curves[1].Samples[49], 0);  // past the 100 bytes
    EXPECT_EQ(t.Curves[1].Samples[10], full.Curves[1].Samples[10]);
    EXPECT_EQ(t.Totals.Time, 7.5f);
    EXPECT_EQ(t.Totals.Energy, 0.0f);
}

TEST(TrainingFile, LongRecordsSkipTheirExtraBytes)
{
    TTraining full = Read("training/current.stg");
    TTraining t = Read("training/long_records.stg");
    EXPECT_EQ(std::memcmp(&t.Header, &full.Header, sizeof(TTrainingHeader)), 0);
    EXPECT_EQ(std::memcmp(&t.Settings, &full.Settings, sizeof(TTrainingSettings)), 0);
    ASSERT_EQ(t.Strokes.size(), full.Strokes.size());
    EXPECT_EQ(std::memcmp(&t.Strokes[1], &full.Strokes[1], 3 * sizeof(TStgStrokeData)), 0);
    EXPECT_EQ(std::memcmp(&t.Curves[1], &full.Curves[1], 3 * sizeof(TStgForceCurve)), 0);
    EXPECT_EQ(t.Totals.AveragePower, 200.0f);
    ASSERT_EQ(t.RawSamples.size(), 2u);
    EXPECT_EQ(t.RawSamples[1].Value, 6140);
    EXPECT_EQ(t.RawSamples[1].Flag, 130);
}

TEST(TrainingFile, CutFiles)
{
    // Cut between two stroke records: the strokes before the cut are kept.
    TTraining t = Read("training/truncated_boundary.stg");
    ASSERT_EQ(t.StrokeCount(), 2);
    EXPECT_EQ(t.Strokes[1].Power, 201.0f);
    EXPECT_EQ(t.Strokes[2].Power, 202.0f);
    EXPECT_EQ(t.Curves[1].HasData, 0);
    // Nothing is made for records a block announces but the file does not hold.
    ASSERT_TRUE(Parse(Image({Block(3, 84, 65535)}), t));
    EXPECT_EQ(t.Strokes.size(), 1u);
    ASSERT_TRUE(Parse(Image({Block(5, 259, 65535)}), t));
    EXPECT_EQ(t.Intervals.size(), 0u);
    // Cut inside a stroke record or inside a block header: refused.
    EXPECT_FALSE(Parse(FileBytes(DataFile("training/truncated_record.stg")), t));
    EXPECT_FALSE(Parse(FileBytes(DataFile("training/truncated_block_header.stg")), t));
}

TEST(TrainingFile, CountsTheFileCannotBackAreRefused)
{
    TTraining t;
    EXPECT_FALSE(Parse(FileBytes(DataFile("training/huge_count.stg")), t));
    EXPECT_FALSE(Parse(FileBytes(DataFile("training/negative_count.stg")), t));
    EXPECT_FALSE(Parse(FileBytes(DataFile("training/zero_size.stg")), t));
    EXPECT_FALSE(Parse(FileBytes(DataFile("training/block_type_zero.stg")), t));
    EXPECT_FALSE(Parse(Image({Block(3, 84, 65536)}), t));
    EXPECT_FALSE(Parse(Image({Block(42, 10, -1)}), t));
    EXPECT_FALSE(Parse(Image({Block(7, 0, 5)}), t));
    // An unknown block may announce more than the file holds: the file ends inside it.
    EXPECT_TRUE(Parse(Image({Block(42, 65535, 2000000000)}), t));
    // Raw samples: no more than the remaining bytes hold.
    ASSERT_TRUE(Parse(FileBytes(DataFile("training/raw_overcount.stg")), t));
    ASSERT_EQ(t.RawSamples.size(), 3u);
    EXPECT_EQ(t.RawSamples[2].Value, 3);
    EXPECT_EQ(t.RawSamples[2].Flag, 4);
}

TEST(TrainingFile, HeaderOnly)
{
    TTraining full = Read("training/current.stg");
    auto image = FileBytes(DataFile("training/current.stg"));
    TTrainingHeader h{};
    uint32_t version = 0;
    ASSERT_TRUE(ParseTrainingFileHeader(image.data(), image.size(), h, version));
    EXPECT_EQ(version, 0x09000001u);
    EXPECT_EQ(std::memcmp(&h, &full.Header, sizeof h), 0);
    // Blocks announcing more than the file holds are no reason to read them.
    auto huge = FileBytes(DataFile("training/huge_count.stg"));
    EXPECT_TRUE(ParseTrainingFileHeader(huge.data(), huge.size(), h, version));
    auto zero = FileBytes(DataFile("training/zero_version.stg"));
    EXPECT_FALSE(ParseTrainingFileHeader(zero.data(), zero.size(), h, version));
    EXPECT_EQ(version, 0u);
}

TEST(TrainingFile, OlderHeaderLayout)
{
    auto image = FileBytes(DataFile("training/old_header.stg"));
    TTrainingHeader h{};
    h.Creator = 9;
    uint32_t version = 0;
    ASSERT_TRUE(ParseTrainingFileHeader(image.data(), image.size(), h, version));
    EXPECT_EQ(version, 0x00080400u);
    EXPECT_EQ(h.FileName.Text(), "C:\\Trainings\\old.stg");
    EXPECT_EQ(h.FileDate, 38000.5);
    EXPECT_EQ(h.FileSize, 4096);
    EXPECT_EQ(h.FileType, 5);
    EXPECT_EQ(h.ContentKind, 6);
    EXPECT_EQ(h.Title.Text(), "Old title");
    EXPECT_EQ(h.Name.Text(), "Old rower");
    EXPECT_EQ(h.Description.Text(), "Old description");
    EXPECT_EQ(h.DateTime, 38000.25);
    EXPECT_EQ(h.TrainingType.Text(), "Race");
    EXPECT_EQ(h.Event.Text(), "Regatta");
    EXPECT_EQ(h.Note.Text(), "An old note");
    EXPECT_EQ(h.OriginalFileName.Text(), "C:\\Import\\orig.bxs");
    EXPECT_EQ(h.OriginalDate, 37999.0);
    EXPECT_EQ(h.OriginalSize, 999);
    EXPECT_EQ(h.OriginalType, 10);
    EXPECT_EQ(h.OriginalKind, 6);
    EXPECT_EQ(h.Active, 1);
    EXPECT_EQ(h.CurveSource, 1);
    EXPECT_EQ(h.Color, 0x00FF00);
    EXPECT_EQ(h.PenStyle, 2);
    EXPECT_EQ(h.PenWidth, 3);
    EXPECT_EQ(h.Modified, 1);
    EXPECT_EQ(h.Creator, 0);  // every other field is 0
    EXPECT_TRUE(IsNullGuid(h.Guid));
    // The full reader does not take the older layout for blocks.
    TTraining t;
    EXPECT_FALSE(Parse(image, t));
    auto cut = FileBytes(DataFile("training/old_header_short.stg"));
    EXPECT_FALSE(ParseTrainingFileHeader(cut.data(), cut.size(), h, version));
    EXPECT_EQ(version, 0x00080400u);
}

TEST(TrainingFile, AverageStrokeIsRecomputedAfterReading)
{
    TTraining t = Read("training/sample.stg");
    TTraining expected = t;
    UpdateAverageStroke(expected);
    EXPECT_EQ(std::memcmp(&t.Strokes[0], &expected.Strokes[0], sizeof(TStgStrokeData)), 0);
    EXPECT_GT(t.Strokes[0].PeakForce, 0.0f);
    EXPECT_EQ(t.StrokeCount(), 200);
    EXPECT_EQ(t.IntervalCount(), 4);
    EXPECT_EQ(t.RawSamples.size(), 2001u);
}

TEST(TrainingFile, ReadErrorsAreShown)
{
    TScriptedDialogs dialogs;
    TDialogScope scope(dialogs);
    TTraining t;
    ClearTraining(t);
    // A folder is no file.
    EXPECT_FALSE(ReadTrainingFile(std::string(CATCHLINE_TEST_DATA), t));
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(
        dialogs.Messages[0].Text.rfind("Error reading/writing file \"" CATCHLINE_TEST_DATA "\".\rError message : ", 0),
        0u);
    dialogs.Clear();
    EXPECT_FALSE(ReadTrainingFile(std::string(CATCHLINE_TEST_DATA), t, false));
    EXPECT_TRUE(dialogs.Messages.empty());
}

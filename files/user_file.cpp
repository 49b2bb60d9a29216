#include "files/user_file.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "files/file_errors.h"
#include "util/paths.h"

namespace {
constexpr uint8_t kFixedAt9[10] = {2, 3, 10, 11, 0, 9, 4, 6, 0, 0};
constexpr uint16_t kFixedAt90[8] = {11, 0, 15, 0, 1, 3, 0, 0};
constexpr size_t kSettingsFrom = 46;  // LimitType .. Display as uint16
constexpr int kWordFields = 21;

// The settings from LimitType on are stored in record order (the settings
// record is packed, so its fields are copied rather than addressed).
int32_t WordField(const TTrainingSettings& s, int i)
{
    int32_t v;
    std::memcpy(&v, reinterpret_cast<const uint8_t*>(&s) + offsetof(TTrainingSettings, LimitType) + 4 * size_t(i), 4);
    return v;
}
void SetWordField(TTrainingSettings& s, int i, int32_t v)
{
    std::memcpy(reinterpret_cast<uint8_t*>(&s) + offsetof(TTrainingSettings, LimitType) + 4 * size_t(i), &v, 4);
}
}  // namespace

std::array<uint8_t, kUserRecordSize> UserRecordBytes(const TTraining& t)
{
    std::array<uint8_t, kUserRecordSize> rec{};
    const auto& name = t.Header.Name;
    std::memcpy(rec.data(), name.Data, std::min<size_t>(name.Length, kUserNameLength));
    std::memcpy(rec.data() + 9, kFixedAt9, sizeof kFixedAt9);
    const TTrainingSettings& s = t.Settings;
    PutU16(rec.data(), 22, uint16_t(int16_t(s.Weight)));
    PutU16(rec.data(), 24, uint16_t(int16_t(s.Gender)));
    PutU16(rec.data(), 26, uint16_t(int16_t(s.BoatType)));
    PutU16(rec.data(), 28, uint16_t(s.Ergometer == 0 || s.Ergometer == 1 ? s.Ergometer : 0));
    PutU16(rec.data(), 30, uint16_t(int16_t(s.Sprocket)));
    for (int i = 0; i < kWordFields; ++i) PutU16(rec.data(), kSettingsFrom + 2 * size_t(i), uint16_t(WordField(s, i)));
    for (int i = 0; i < 8; ++i) PutU16(rec.data(), 90 + 2 * size_t(i), kFixedAt90[i]);
    return rec;
}

void ApplyUserRecord(const uint8_t* rec, TTraining& t)
{
    t.Settings = TTrainingSettings{};
    size_t len = 0;
    while (len < kUserNameLength && rec[len] != 0) ++len;
    std::memcpy(t.Header.Name.Data, rec, len);
    t.Header.Name.Length = uint8_t(len);
    TTrainingSettings& s = t.Settings;
    s.Weight = I16At(rec, 22);
    s.Gender = I16At(rec, 24);
    s.BoatType = I16At(rec, 26);
    int16_t ergometer = I16At(rec, 28);
    // The earlier equipment knew ergometers 0 and 1 only (negative values
    // are no ergometer either).
    s.Ergometer = ergometer == 0 || ergometer == 1 ? ergometer : 0;
    s.Sprocket = I16At(rec, 30);
    for (int i = 0; i < kWordFields; ++i) SetWordField(s, i, U16At(rec, kSettingsFrom + 2 * size_t(i)));
}

void WriteUserRecord(TByteWriter& w, const TTraining& t)
{
    auto rec = UserRecordBytes(t);
    w.Write(rec.data(), rec.size());
}

bool ReadUserRecord(TByteReader& r, TTraining& t)
{
    uint8_t rec[kUserRecordSize];
    if (!r.ReadExact(rec, sizeof rec)) return false;
    ApplyUserRecord(rec, t);
    return true;
}

bool ParseUserFileHeader(const TFileInfo& info, TTrainingHeader& header)
{
    header = ForeignHeader(info, ftINI, ckUser);
    return info.Size == int64_t(kUserRecordSize);
}

bool ParseUserFile(const TFileInfo& info, const uint8_t* data, size_t size, TTraining& t)
{
    TFileInfo actual = info;
    actual.Size = int64_t(size);
    if (!ParseUserFileHeader(actual, t.Header)) return false;
    TByteReader r(data, size);
    if (!ReadUserRecord(r, t)) {
        FileBeep();
        return false;
    }
    return r.AtEnd();
}

bool WriteUserFile(const std::string& path, const TTraining& t, bool verbose)
{
    auto rec = UserRecordBytes(t);
    int err = 0;
    if (WriteFileAtomically(path, rec.data(), rec.size(), err)) return true;
    FileBeep();
    if (verbose) ShowFileErrorCode(path, err);
    return false;
}

bool ReadUserFile(const std::string& path, TTraining& t)
{
    std::vector<uint8_t> data;
    int err = 0;
    if (!ReadWholeFile(path, data, err)) {
        FileBeep();
        return false;
    }
    return ParseUserFile(FileInfoOf(path), data.data(), data.size(), t);
}

bool ReadUserFileHeader(const std::string& path, TTrainingHeader& header)
{
    if (!FileExists(path)) return false;
    return ParseUserFileHeader(FileInfoOf(path), header);
}

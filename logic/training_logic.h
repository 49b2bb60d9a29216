#pragma once
// What the training window and the results window show and how workout edits
// are read, without any window: the workout field tags, number and time
// parsing, clamping, the enabling rules, the texts of the labels and the
// remembered combo-box lists.
#include <cstdint>
#include <string>
#include <vector>

#include "core/records.h"

class TProfileFile;

// Tags of the workout edits (which settings field an edit changes).
enum TWorkoutEditTag : int {
    wetWeight = 2,
    wetLimitValue = 3,
    wetWorkPeriod = 4,
    wetRestPeriod = 5,
    wetStartValue = 6,
    wetStepValue = 7,
    wetRestValue = 8,
};

// Tags of the workout combo boxes.
enum TWorkoutComboTag : int {
    wctGender = 1,
    wctBoat = 2,
    wctSprocket = 3,
    wctErgometer = 4,
    wctSessionLimit = 5,
    wctIntervalBy = 6,
    wctDisplay = 7,
};

constexpr int kLimitTypeTime = 3;
constexpr int kLimitTypeIntervals = 4;
constexpr int kIntervalByTime = 3;

// True when the edit with this tag holds a time ("h:nn:ss") under the current settings.
bool IsTimeEdit(const TTrainingSettings& s, int tag);

// Duration in seconds as "h:nn:ss" (hours without leading zero, wrapping at 24 h
// like the time of day it is shown as).
std::string SecondsToTimeText(int64_t seconds);
// The locale's time conversion: "h", "h:m" or "h:m:s" (seconds may carry a
// fraction, the result is rounded to whole seconds); hours 0..23, minutes and
// seconds 0..59. False for anything else.
bool TryParseTimeText(const std::string& text, int32_t& seconds);

// Workout values other than the weight are kept within 0..65535.
int32_t ClampWorkoutValue(int64_t value);

// The text an edit shows for the current settings ("" for an unknown tag).
std::string WorkoutEditText(const TTrainingSettings& s, int tag);
// The item index a combo box shows (the stored value; -1 for an unknown tag).
int WorkoutComboIndex(const TTrainingSettings& s, int tag);

struct TWorkoutApplyResult {
    bool Accepted = true;  // false: the text was refused (Error holds the message)
    bool Changed = false;  // a stored value changed
    std::string Error;
};
// Applies the text of a workout edit. Whole numbers that cannot be read are
// refused with "'%s' is not a valid integer value"; an unreadable time is
// stored as 0 seconds; an unknown tag is refused with "Unknown tag : %d".
TWorkoutApplyResult ApplyWorkoutEdit(TTrainingSettings& s, int tag, const std::string& text);
// Applies the item index of a workout combo box (clamped to 0..65535).
TWorkoutApplyResult ApplyWorkoutCombo(TTrainingSettings& s, int tag, int index);

// Enabling rules of the training window.
struct TTrainingEnabling {
    bool ResetEnabled = false;      // btnReset
    bool WorkoutEnabled = false;    // every workout control
    bool IntervalsVisible = false;  // interval by, work and rest period (with labels), intervals group
};
TTrainingEnabling TrainingEnabling(const TTraining& t, bool editAllowed);

// A session that has no file type of its own (a new session, or one reset
// since it was last saved) and is saved under a training-file (".stg") name
// becomes a training file: FileType "STG", and a session without a content
// kind becomes a user profile (empty) or a training (recorded). Sessions with
// a file type, and other names, are left alone. True when h changed.
bool PrepareTrainingFileSave(TTrainingHeader& h, const std::string& path, bool emptySession);

// The message for a save that wrote nothing (the session's kind has no
// writer for the file type); path may be empty when the dialog chose it.
std::string NothingSavedText(const std::string& title, const std::string& path);

// A group caption with " (*)" while the session is modified.
std::string ModifiedCaption(const std::string& caption, bool modified);

// Texts of one file group (training file or original file).
struct TFileGroupTexts {
    std::string File;      // file name part or "-"
    std::string DateTime;  // system date/time format or "-"
    std::string Size;      // "%d bytes" or "-"
    std::string Type;      // "kind (type)" or "-"
};
// dateFormatter turns a day count into the system's date/time text ("" = could not).
using TDateFormatter = std::string (*)(double days);
// The system's short date and time of a day count ("" when it cannot be shown).
std::string SystemDateTimeText(double days);
TFileGroupTexts FileGroupTexts(const std::string& fileName, double date, int32_t size, uint8_t type, uint8_t kind,
                               TDateFormatter formatter = SystemDateTimeText);
TFileGroupTexts TrainingFileTexts(const TTrainingHeader& h);
TFileGroupTexts OriginalFileTexts(const TTrainingHeader& h);

// "interface @ creator version  " (empty for an empty session).
std::string InterfaceLabelText(const TTraining& t);
// "address:port" or "-".
std::string ClientAddressText(const TTraining& t);
// "id / row status".
std::string ClientIdStatusText(const TTraining& t);

// Average drive-recover ratio over strokes 1..N (0 without strokes).
float AverageRecoverRatio(const TTraining& t);
// A value with a stroke parameter's format, a space and its unit, trimmed.
std::string StrokeParameterText(int parameter, float value);

// The totals and averages labels of the training window (and the results
// window's totals and averages), keyed by the total catalogue position.
struct TTotalsTexts {
    std::string Distance, Time, Energy, Strokes;      // totals 0, 1, 2, 4
    std::string Power, Time500, StrokeRate, DRRatio;  // totals 3, 5, 6 and the ratio
};
TTotalsTexts TotalsTexts(const TTraining& t);

// The results window's maxima and average ratio over strokes 1..N.
struct TResultsFigures {
    float MaxPower = 0;
    float Min500m = 2147483647.0f;
    float MaxStrokeRate = 0;
    float MaxRatio = 0;
    float RatioSum = 0;
    float AverageRatio = 0;
};
TResultsFigures ResultsFigures(const TTraining& t);

struct TResultsTexts {
    std::string Caption;
    TTotalsTexts Totals;
    std::string MaxPower, Max500m, MaxStrokeRate, MaxDriveRecover;
};
TResultsTexts ResultsTexts(const TTraining& t);

// Split presets of the results window: 0 strokes, 1 distance, 2 time.
const std::vector<std::string>& SplitPresets(int splitType);
// The preset position to select for a remembered position (beyond the list: the third).
int SplitPresetIndex(int splitType, int remembered);

// A remembered combo-box list ("Name", "Description", "Type", "Event").
// Reading takes the values of the section in file order (empty values
// skipped); writing erases the section and writes every non-empty entry under
// its position.
std::vector<std::string> ReadRememberedList(const TProfileFile& file, const std::string& section);
void WriteRememberedList(TProfileFile& file, const std::string& section, const std::vector<std::string>& items);
// Adds text to the list when it is not empty and not yet present (exact text);
// true when added.
bool RememberEntry(std::vector<std::string>& items, const std::string& text);

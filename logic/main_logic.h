#pragma once
// The main window's rules that need no window: the program settings and
// statistics with their sections, the recent-files list, the "Anyone"
// numbering of new sessions, the command-line arguments and their forwarding
// to a running copy, the help texts, the readme step and the move of older
// files into the per-user data folder.
#include <cstdint>
#include <string>
#include <vector>

#include "util/color.h"

class TProfileFile;

constexpr int kMaxTrainings = 2;  // open training sessions at the same time
constexpr int kRecentMax = 9;     // entries of the recent-files list
constexpr int kFirstSessionId = 101;
constexpr size_t kForwardLimit = 250;  // characters of a forwarded command line

struct TProgramStatistics {
    double RunningTime = 0;  // days
    int32_t TimesStarted = 0;
    double RowingTime = 0;  // days
    int32_t RowingSessions = 0;
    int32_t FilesOpened = 0;
    int32_t FilesSaved = 0;
};

// Sections "Recent", "Options", "Statistics", "Position" and "DataRange" of "Row".
struct TProgramSettings {
    std::vector<std::string> Recent;
    std::string LastDir;
    TColor Dialog = -16777201;  // the button-face system colour
    int32_t DataRange = 65535;
    bool MultipleCopies = false;
    TProgramStatistics Statistics;
    int32_t Left = -1, Top = -1, Width = -1, Height = -1;
};

// Reads the main window's sections; missing or unreadable keys take their
// defaults (LastDir: defaultLastDir).
void ReadProgramSettings(const TProfileFile& file, TProgramSettings& settings, const std::string& defaultLastDir);
// Writes them: "Recent" keys 1..n, "LastDir", the statistics (RunningTime =
// stored + (now - startTime) only when startTime is positive and before now;
// otherwise the stored value) and the position. Does not flush.
void WriteProgramSettings(TProfileFile& file, const TProgramSettings& settings, double startTime, double now);
// Running time shown or saved.
double RunningTimeNow(const TProgramStatistics& statistics, double startTime, double now);

// Recent list: adding moves a path to the top (no duplicates without regard to
// case, at most 9 entries); removing drops every equal entry.
void AddRecentEntry(std::vector<std::string>& recent, const std::string& path);
void RemoveRecentEntry(std::vector<std::string>& recent, const std::string& path);

// The "Anyone" number from the titles of the open sessions in visiting order.
int AnyoneNumber(const std::vector<std::string>& titles);
// Title of a new session: N appended when N > 0 (cut to 255 characters).
std::string NumberedTitle(const std::string& title, int number);

// "?" for d <= 0; "%d days, hh:nn:ss" with whole days; else "hh:nn:ss".
std::string DurationText(double days);

// The forwarded command line: arguments separated and ended by CR LF; an
// argument that would take the text past 250 characters and all after it
// are dropped.
std::string ForwardedText(const std::vector<std::string>& args);
// The pieces of a forwarded text that are ended by CR LF.
std::vector<std::string> ForwardedLines(const std::string& text);

// What one command-line argument asks for.
enum class TParamKind { Ignore, Bad, Help, StrokeData, ForceCurves, NewTraining, Row, RowWithFile, File };
struct TParamAction {
    TParamKind Kind = TParamKind::Ignore;
    std::string Value;  // user file (RowWithFile, expanded) or file (File)
    std::string Step;   // splash step text
};
TParamAction ClassifyParameter(const std::string& argument);
// The error box text of a bad parameter.
std::string BadParameterText(const std::string& argument);

// The file-type options, recognised only as the single argument.
enum class TFileTypeOption { None, Register, RegisterAll, Unregister, ReadmeOnly };
TFileTypeOption FileTypeOptionOf(const std::vector<std::string>& args);

// The help box: product, version, copyright and the option list.
std::string HelpBoxText();
// Help document next to the program: its path without extension + letter +
// file version without dots + ".pdf".
std::string HelpDocumentPath(char letter);

// The readme step: touches readme.txt in the program folder, or creates it
// with the product name and the file version. False when it cannot.
bool ReadmeStep();

// Moves the row layouts, the default user files and the settings file from
// the program folder into the per-user data folder. Returns the number moved.
int MoveOlderFiles();

#pragma once
// How sessions are named in lists and dialogs, the file dialogs' filters and
// the shortening of long paths for menus.
#include <functional>
#include <string>
#include <vector>

#include "core/records.h"

// Bits of TrainingDescription's parts, in the order they are shown.
enum TDescriptionPart : int {
    dpDate = 1,
    dpTime = 2,
    dpTitle = 4,
    dpName = 8,
    dpDescription = 16,
    dpType = 32,
    dpEvent = 64,
    dpNote = 128,
};

// The chosen parts of a header, separated by "; " (or line feeds when
// multiLine); an empty part keeps its separator.
std::string TrainingDescription(const TTrainingHeader& header, int parts, bool multiLine);

// The file name proposed when saving or exporting: "" for a reset session
// never saved (FileName "?"), else FileName, else OriginalFileName.
std::string DefaultFileName(const TTraining& t);

// Kinds of files offered by the open dialogs.
enum TDialogKind : int {
    dkUser = 0x04,
    dkTraining = 0x20,
    dkStroke = 0x40,
    dkBraxUser = 0x200,
    dkBraxSession = 0x400,
    dkBraxStroke = 0x800,
    dkAllKinds = dkUser | dkTraining | dkStroke | dkBraxUser | dkBraxSession | dkBraxStroke,
    dkFit = 0x1000,        // FIT activity files (imported)
    dkRowingCsv = 0x2000,  // RowingData CSV files (imported)
    // What the main window's open dialog offers: the program's own files and the imports.
    dkOpenKinds = dkAllKinds | dkFit | dkRowingCsv,
};

struct TDialogFilter {
    std::string Filter;    // "Description|pattern|..." (patterns when asked for)
    int DefaultIndex = 0;  // the entry of all the program's files
};
TDialogFilter DialogFilter(int kinds, bool withPatterns, bool withAll);

// The entries (description and pattern) of a "|"-separated filter; entry
// index is 1-based. Empty texts when the entry is missing.
std::string FilterEntryName(const std::string& filter, int index);

// Shortens a "/"-separated path level by level from the front ("/.../b/c.stg")
// until measure(path) fits maxWidth or nothing is left to drop.
std::string ShortenPath(const std::string& path, const std::function<int(const std::string&)>& measure, int maxWidth);

// The program's file types as the file-type registration names them: for
// each, the extension (without the dot), its description, the icon index, the
// type name ("<product> <description> File") and the key name (the type name
// with "_" for every space and "_Ref" appended unless it ends so already).
struct TFileTypeEntry {
    std::string Extension;
    std::string Description;
    int Icon = 0;
    std::string TypeName;
    std::string KeyName;
};
// In the order stg, str, bxs, bxr, bxi.
std::vector<TFileTypeEntry> ProgramFileTypes();
std::string FileTypeKeyName(const std::string& typeName);

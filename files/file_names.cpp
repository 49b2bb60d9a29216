#include "files/file_names.h"

#include "util/date_time.h"
#include "util/text.h"
#include "util/version.h"

std::string TrainingDescription(const TTrainingHeader& h, int parts, bool multiLine)
{
    const std::string separator = multiLine ? "\n" : "; ";
    std::string out;
    auto add = [&](int bit, const std::string& text) {
        if (parts & bit) out += text + separator;
    };
    add(dpDate, LocaleShortDate(h.DateTime));
    add(dpTime, LocaleLongTime(h.DateTime));
    add(dpTitle, h.Title.Text());
    add(dpName, h.Name.Text());
    add(dpDescription, h.Description.Text());
    add(dpType, h.TrainingType.Text());
    add(dpEvent, h.Event.Text());
    add(dpNote, h.Note.Text());
    if (!out.empty()) out.resize(out.size() - separator.size());
    return out;
}

std::string DefaultFileName(const TTraining& t)
{
    std::string name = t.Header.FileName.Text();
    if (name == "?") return {};
    if (!name.empty()) return name;
    return t.Header.OriginalFileName.Text();
}

TDialogFilter DialogFilter(int kinds, bool withPatterns, bool withAll)
{
    struct Entry {
        int Kind;
        const char* Text;
        const char* Pattern;
    };
    static const Entry kEntries[] = {
        {dkTraining, "Training files (*.stg)|", "*.stg"},
        {dkStroke, "Stroke files (*.str)|", "*.str"},
        {dkUser, "User files (*.ini)|", "*.ini"},
        {dkBraxSession, "Brax Session files (*.bxs)|", "*.bxs"},
        {dkBraxStroke, "Brax Stroke files (*.bxr)|", "*.bxr"},
        {dkBraxUser, "Brax User files (*.bxi)|", "*.bxi"},
        {dkFit, "FIT activity files (*.fit)|", "*.fit"},
        {dkRowingCsv, "RowingData CSV files (*.csv)|", "*.csv"},
    };
    TDialogFilter result;
    std::string listed, joined;
    for (const Entry& e : kEntries) {
        if (!(kinds & e.Kind)) continue;
        result.Filter += e.Text;
        if (withPatterns) result.Filter += std::string(e.Pattern) + "|";
        ++result.DefaultIndex;
        listed += (listed.empty() ? "" : ", ") + std::string(e.Pattern);
        joined += (joined.empty() ? "" : ";") + std::string(e.Pattern);
    }
    result.Filter += Format("%s compatible files (%s)|", VersionString("ProductName").c_str(), listed.c_str());
    if (withPatterns) result.Filter += joined + "|";
    ++result.DefaultIndex;
    if (withAll) {
        result.Filter += "All files (*.*)";
        if (withPatterns) result.Filter += "|*.*";
    } else {
        result.Filter.pop_back();
    }
    return result;
}

std::string FilterEntryName(const std::string& filter, int index)
{
    std::vector<std::string> parts = SplitString(filter, '|');
    size_t at = size_t(index - 1) * 2;
    if (index < 1 || at >= parts.size()) return {};
    return parts[at];
}

std::string ShortenPath(const std::string& path, const std::function<int(const std::string&)>& measure, int maxWidth)
{
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // Every round makes the folder shorter or one of the fixed forms, so the
    // guard only protects against a measure that is not monotonic.
    for (size_t guard = 0; guard < 2 * path.size() + 8 && !folder.empty() && measure(folder + name) > maxWidth;
         ++guard) {
        if (folder == "/.../") {
            folder = ".../";
        } else if (folder == "/") {
            folder.clear();
        } else {
            std::string lead;
            if (folder.front() == '/') {
                lead = "/";
                folder.erase(0, 1);
            }
            if (!folder.empty() && folder.front() == '.') folder.erase(0, std::min<size_t>(4, folder.size()));
            size_t next = folder.find('/');
            if (next == std::string::npos) folder.clear();
            else folder = ".../" + folder.substr(next + 1);
            folder = lead + folder;
        }
    }
    return folder + name;
}

std::string FileTypeKeyName(const std::string& typeName)
{
    std::string key = ReplaceAll(typeName, " ", "_");
    const std::string suffix = "_Ref";
    if (key.size() < suffix.size() || key.compare(key.size() - suffix.size(), suffix.size(), suffix) != 0)
        key += suffix;
    return key;
}

std::vector<TFileTypeEntry> ProgramFileTypes()
{
    struct Row {
        const char* Extension;
        const char* Description;
        int Icon;
    };
    static const Row kRows[] = {
        {"stg", "Training", 4},    {"str", "Stroke", 6},    {"bxs", "Brax Session", 5},
        {"bxr", "Brax Stroke", 6}, {"bxi", "Brax User", 5},
    };
    std::vector<TFileTypeEntry> types;
    const std::string product = VersionString("ProductName");
    for (const Row& r : kRows) {
        TFileTypeEntry e;
        e.Extension = r.Extension;
        e.Description = r.Description;
        e.Icon = r.Icon;
        e.TypeName = Format("%s %s File", product.c_str(), r.Description);
        e.KeyName = FileTypeKeyName(e.TypeName);
        types.push_back(e);
    }
    return types;
}

#include "util/profile.h"

#include <iterator>
#include <map>
#include <mutex>

#include "util/paths.h"
#include "util/text.h"

struct TProfileFile::Document {
    std::string Path;
    std::vector<std::string> Lines;
    bool Dirty = false;
    int Users = 0;

    // Index of a section header line, -1 when absent.
    int FindSection(const std::string& section) const
    {
        for (size_t i = 0; i < Lines.size(); ++i) {
            std::string t = Trim(Lines[i]);
            if (t.size() >= 2 && t.front() == '[') {
                size_t close = t.find(']');
                if (close != std::string::npos && SameText(Trim(t.substr(1, close - 1)), Trim(section))) return int(i);
            }
        }
        return -1;
    }
    // One past the last line of the section starting at header index h.
    size_t SectionEnd(int h) const
    {
        size_t i = size_t(h) + 1;
        while (i < Lines.size()) {
            std::string t = TrimLeft(Lines[i]);
            if (!t.empty() && t.front() == '[') break;
            ++i;
        }
        return i;
    }
    static bool SplitKeyValue(const std::string& line, std::string& key, std::string& value)
    {
        size_t eq = line.find('=');
        if (eq == std::string::npos) return false;
        std::string k = Trim(line.substr(0, eq));
        if (!k.empty() && k.front() == ';') return false;
        key = k;
        value = Trim(line.substr(eq + 1));
        return true;
    }
    int FindKey(int h, const std::string& key) const
    {
        if (h < 0) return -1;
        size_t end = SectionEnd(h);
        for (size_t i = size_t(h) + 1; i < end; ++i) {
            std::string k, v;
            if (SplitKeyValue(Lines[i], k, v) && SameText(k, Trim(key))) return int(i);
        }
        return -1;
    }
    void Load()
    {
        Lines.clear();
        std::vector<uint8_t> data;
        int err = 0;
        if (ReadWholeFile(Path, data, err)) {
            std::string text(data.begin(), data.end());
            // A byte-order mark from another editor is not part of the first line.
            if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
            Lines = SplitLines(text);
        }
        Dirty = false;
    }
    bool Save()
    {
        if (!Dirty) return true;
        std::string text = JoinLines(Lines);
        int err = 0;
        if (!WriteFileAtomically(Path, text.data(), text.size(), err)) return false;
        Dirty = false;
        return true;
    }
};

namespace {
std::mutex gDocsLock;
std::map<std::string, std::weak_ptr<TProfileFile::Document>> gDocs;

std::string DocKey(const std::string& path) { return ExpandFileName(path); }
}  // namespace

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string cur;
    bool pending = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(cur);
            cur.clear();
            pending = false;
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            cur += c;
            pending = true;
        }
    }
    if (pending) lines.push_back(cur);
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& l : lines) {
        text += l;
        text += '\n';
    }
    return text;
}

TProfileFile::TProfileFile(const std::string& path) : Path(path)
{
    std::lock_guard<std::mutex> lock(gDocsLock);
    auto& slot = gDocs[DocKey(path)];
    Doc = slot.lock();
    if (!Doc) {
        Doc = std::make_shared<Document>();
        Doc->Path = path;
        Doc->Load();
        slot = Doc;
    }
    ++Doc->Users;
}

TProfileFile::~TProfileFile()
{
    std::lock_guard<std::mutex> lock(gDocsLock);
    if (--Doc->Users == 0) {
        Doc->Save();
        gDocs.erase(DocKey(Path));
    }
}

std::string TProfileFile::ReadString(const std::string& section, const std::string& key, const std::string& def) const
{
    int i = Doc->FindKey(Doc->FindSection(section), key);
    if (i < 0) return def;
    std::string k, v;
    Document::SplitKeyValue(Doc->Lines[size_t(i)], k, v);
    return v;
}

int32_t TProfileFile::ReadInteger(const std::string& section, const std::string& key, int32_t def) const
{
    int32_t v;
    return TryParseInt(ReadString(section, key, ""), v) ? v : def;
}

bool TProfileFile::ReadBool(const std::string& section, const std::string& key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

double TProfileFile::ReadFloat(const std::string& section, const std::string& key, double def) const
{
    double v;
    return TryParseDecimal(ReadString(section, key, ""), v) ? v : def;
}

void TProfileFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    // Line breaks would split the entry into lines of their own.
    std::string v = value;
    for (char& c : v)
        if (c == '\r' || c == '\n') c = ' ';
    std::string line = Trim(key) + "=" + v;
    int h = Doc->FindSection(section);
    if (h < 0) {
        Doc->Lines.push_back("[" + Trim(section) + "]");
        Doc->Lines.push_back(line);
    } else {
        int i = Doc->FindKey(h, key);
        if (i >= 0) {
            if (Doc->Lines[size_t(i)] == line) return;
            Doc->Lines[size_t(i)] = line;
        } else {
            // After the last non-empty line of the section.
            size_t end = Doc->SectionEnd(h);
            while (end > size_t(h) + 1 && Trim(Doc->Lines[end - 1]).empty()) --end;
            Doc->Lines.insert(Doc->Lines.begin() + long(end), line);
        }
    }
    Doc->Dirty = true;
}

void TProfileFile::WriteInteger(const std::string& section, const std::string& key, int32_t value)
{
    WriteString(section, key, std::to_string(value));
}

void TProfileFile::WriteBool(const std::string& section, const std::string& key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

void TProfileFile::WriteFloat(const std::string& section, const std::string& key, double value)
{
    WriteString(section, key, FloatToText(value));
}

bool TProfileFile::SectionExists(const std::string& section) const { return Doc->FindSection(section) >= 0; }

bool TProfileFile::ValueExists(const std::string& section, const std::string& key) const
{
    return Doc->FindKey(Doc->FindSection(section), key) >= 0;
}

std::vector<std::string> TProfileFile::ReadSection(const std::string& section) const
{
    std::vector<std::string> keys;
    int h = Doc->FindSection(section);
    if (h < 0) return keys;
    for (size_t i = size_t(h) + 1; i < Doc->SectionEnd(h); ++i) {
        std::string k, v;
        if (Document::SplitKeyValue(Doc->Lines[i], k, v)) keys.push_back(k);
    }
    return keys;
}

std::vector<std::string> TProfileFile::ReadSectionValues(const std::string& section) const
{
    std::vector<std::string> out;
    int h = Doc->FindSection(section);
    if (h < 0) return out;
    for (size_t i = size_t(h) + 1; i < Doc->SectionEnd(h); ++i) {
        std::string k, v;
        if (Document::SplitKeyValue(Doc->Lines[i], k, v)) out.push_back(k + "=" + v);
    }
    return out;
}

std::vector<std::string> TProfileFile::ReadSectionValueList(const std::string& section) const
{
    std::vector<std::string> out;
    int h = Doc->FindSection(section);
    if (h < 0) return out;
    for (size_t i = size_t(h) + 1; i < Doc->SectionEnd(h); ++i) {
        std::string k, v;
        if (Document::SplitKeyValue(Doc->Lines[i], k, v)) out.push_back(v);
    }
    return out;
}

std::vector<std::string> TProfileFile::ReadSections() const
{
    std::vector<std::string> out;
    for (const auto& l : Doc->Lines) {
        std::string t = Trim(l);
        if (t.size() >= 2 && t.front() == '[') {
            size_t close = t.find(']');
            if (close != std::string::npos) out.push_back(Trim(t.substr(1, close - 1)));
        }
    }
    return out;
}

void TProfileFile::EraseSection(const std::string& section)
{
    for (;;) {
        int h = Doc->FindSection(section);
        if (h < 0) return;
        size_t end = Doc->SectionEnd(h);
        Doc->Lines.erase(Doc->Lines.begin() + h, Doc->Lines.begin() + long(end));
        Doc->Dirty = true;
    }
}

void TProfileFile::DeleteKey(const std::string& section, const std::string& key)
{
    int i = Doc->FindKey(Doc->FindSection(section), key);
    if (i < 0) return;
    Doc->Lines.erase(Doc->Lines.begin() + i);
    Doc->Dirty = true;
}

bool TProfileFile::UpdateFile() { return Doc->Save(); }

void TProfileFile::Reload() { Doc->Load(); }

std::vector<std::string> NormaliseProfileLines(std::vector<std::string> lines)
{
    // One pass that builds the result instead of erasing and inserting in
    // place (which moves the rest of the file each time). Walking from the
    // last line down to the second, the lines kept go out in reverse order:
    // a "[" line and then the empty line that comes before it.
    if (lines.size() < 2) return lines;
    std::vector<std::string> reversed;
    reversed.reserve(lines.size() + lines.size() / 8 + 1);
    for (size_t i = lines.size(); i-- > 1;) {
        if (lines[i].empty()) continue;
        const bool header = lines[i][0] == '[';
        reversed.push_back(std::move(lines[i]));
        if (header) reversed.emplace_back();
    }
    reversed.push_back(std::move(lines[0]));
    return std::vector<std::string>(std::make_move_iterator(reversed.rbegin()),
                                    std::make_move_iterator(reversed.rend()));
}

bool NormaliseProfileFile(const std::string& path)
{
    {
        // Flush and share the lines with any open object on the file.
        TProfileFile file(path);
        if (!file.UpdateFile()) return false;
    }
    std::vector<uint8_t> data;
    int err = 0;
    if (!ReadWholeFile(path, data, err)) return false;
    std::string text = JoinLines(NormaliseProfileLines(SplitLines(std::string(data.begin(), data.end()))));
    if (!WriteFileAtomically(path, text.data(), text.size(), err)) return false;
    std::lock_guard<std::mutex> lock(gDocsLock);
    auto it = gDocs.find(DocKey(path));
    if (it != gDocs.end())
        if (auto doc = it->second.lock()) doc->Load();
    return true;
}

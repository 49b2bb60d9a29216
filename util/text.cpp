#include "util/text.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Unicode code points of Windows-1252 bytes 0x80..0x9F; 0 = undefined (kept as C1 control).
const uint16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char gDecimalSeparator = '.';

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

uint32_t Cp1252ToUnicode(uint8_t b)
{
    if (b >= 0x80 && b < 0xA0) {
        uint16_t cp = kCp1252High[b - 0x80];
        return cp ? cp : b;
    }
    return b;
}

// Returns the byte for a code point, or -1 when Windows-1252 has none.
int UnicodeToCp1252(uint32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return int(cp);
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == cp) return 0x80 + i;
    if (cp >= 0x80 && cp < 0xA0 && kCp1252High[cp - 0x80] == 0) return int(cp);
    return -1;
}

// Decodes one UTF-8 sequence at s[i]; returns its length or 0 when invalid.
size_t Utf8Sequence(const uint8_t* s, size_t n, size_t i, uint32_t& cp)
{
    uint8_t c = s[i];
    size_t len;
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    if ((c & 0xE0) == 0xC0) {
        len = 2;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        cp = c & 0x07;
    } else return 0;
    if (i + len > n) return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((s[i + k] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

}  // namespace

bool IsValidUtf8(const uint8_t* bytes, size_t length)
{
    for (size_t i = 0; i < length;) {
        uint32_t cp;
        size_t len = Utf8Sequence(bytes, length, i, cp);
        if (!len) return false;
        i += len;
    }
    return true;
}

std::string Cp1252ToUtf8(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char b : bytes) AppendUtf8(out, Cp1252ToUnicode(b));
    return out;
}

std::string DecodeText(const uint8_t* bytes, size_t length)
{
    bool ascii = true;
    for (size_t i = 0; i < length && ascii; ++i) ascii = bytes[i] < 0x80;
    std::string raw(reinterpret_cast<const char*>(bytes), length);
    if (ascii || IsValidUtf8(bytes, length)) return raw;
    return Cp1252ToUtf8(raw);
}

std::vector<uint8_t> EncodeText(const std::string& utf8)
{
    const auto* s = reinterpret_cast<const uint8_t*>(utf8.data());
    std::vector<uint8_t> out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        uint32_t cp;
        size_t len = Utf8Sequence(s, utf8.size(), i, cp);
        if (!len) {
            // Not UTF-8 at all: keep the bytes as they are.
            return std::vector<uint8_t>(s, s + utf8.size());
        }
        int b = UnicodeToCp1252(cp);
        if (b < 0) return std::vector<uint8_t>(s, s + utf8.size());
        out.push_back(uint8_t(b));
        i += len;
    }
    return out;
}

std::string TrimLeft(const std::string& s)
{
    size_t i = 0;
    while (i < s.size() && static_cast<unsigned char>(s[i]) <= ' ') ++i;
    return s.substr(i);
}

std::string TrimRight(const std::string& s)
{
    size_t n = s.size();
    while (n > 0 && static_cast<unsigned char>(s[n - 1]) <= ' ') --n;
    return s.substr(0, n);
}

std::string Trim(const std::string& s) { return TrimLeft(TrimRight(s)); }

std::string LowerCase(const std::string& s)
{
    std::string r = s;
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return r;
}

std::string UpperCase(const std::string& s)
{
    std::string r = s;
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return r;
}

bool SameText(const std::string& a, const std::string& b) { return LowerCase(a) == LowerCase(b); }

bool StartsWithText(const std::string& s, const std::string& prefix)
{
    return s.size() >= prefix.size() && SameText(s.substr(0, prefix.size()), prefix);
}

std::string ReplaceAll(std::string s, const std::string& from, const std::string& to)
{
    if (from.empty()) return s;
    size_t pos = 0;
    while ((pos = s.find(from, pos)) != std::string::npos) {
        s.replace(pos, from.size(), to);
        pos += to.size();
    }
    return s;
}

std::vector<std::string> SplitString(const std::string& s, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = s.find(separator, start);
        parts.push_back(s.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return parts;
}

std::string Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (n > 0) {
        out.resize(size_t(n) + 1);
        std::vsnprintf(out.data(), out.size(), format, args);
        out.resize(size_t(n));
    }
    va_end(args);
    return out;
}

char DecimalSeparator() { return gDecimalSeparator; }
void SetDecimalSeparator(char separator) { gDecimalSeparator = separator; }

void InitLocaleFromEnvironment()
{
    // Ask the C library for the user's numeric conventions without leaving the
    // process in that locale (number parsing elsewhere relies on "C").
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = previous ? previous : "C";
    if (std::setlocale(LC_NUMERIC, "")) {
        const lconv* conv = std::localeconv();
        if (conv && conv->decimal_point && conv->decimal_point[0] && !conv->decimal_point[1])
            gDecimalSeparator = conv->decimal_point[0];
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
}

bool TryParseDecimal(const std::string& text, double& value)
{
    std::string t = Trim(text);
    if (t.empty()) return false;
    // Every ',' and '.' is the decimal separator; strtod in the "C" locale reads '.'.
    for (char& c : t)
        if (c == ',') c = '.';
    if (std::count(t.begin(), t.end(), '.') > 1) return false;
    for (char c : t)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) return false;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(t.c_str(), &end);
    if (end == t.c_str() || *end != '\0' || !std::isfinite(v)) return false;
    value = v;
    return true;
}

double ParseDecimal(const std::string& text)
{
    double v = 0;
    return TryParseDecimal(text, v) ? v : 0.0;
}

std::string FloatToText(double value)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", value);
    std::string s = buf;
    if (gDecimalSeparator != '.')
        for (char& c : s)
            if (c == '.') c = gDecimalSeparator;
    return s;
}

bool TryParseInt(const std::string& text, int32_t& value)
{
    std::string t = Trim(text);
    if (t.empty()) return false;
    size_t i = 0;
    bool negative = false;
    if (t[0] == '+' || t[0] == '-') {
        negative = t[0] == '-';
        i = 1;
    }
    if (i >= t.size()) return false;
    // Hexadecimal with '$' or "0x" as Delphi's StrToInt accepts.
    int base = 10;
    if (t[i] == '$') {
        base = 16;
        ++i;
    } else if (t.size() > i + 1 && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= t.size()) return false;
    int64_t v = 0;
    for (; i < t.size(); ++i) {
        char c = t[i];
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        v = v * base + d;
        if (v > 0xFFFFFFFFLL) return false;
    }
    if (base == 10) {
        if (negative) v = -v;
        if (v < INT32_MIN || v > INT32_MAX) return false;
        value = int32_t(v);
    } else {
        // Hexadecimal covers the whole 32-bit pattern (e.g. $80000005).
        if (negative) v = -v;
        if (v < INT32_MIN || v > int64_t(UINT32_MAX)) return false;
        value = int32_t(uint32_t(v));
    }
    return true;
}

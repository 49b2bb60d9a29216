#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Text of short strings stored in files. In memory all text is UTF-8.
// Decoding: bytes that are valid UTF-8 and contain a non-ASCII character are
// taken as UTF-8, anything else as Windows-1252.
std::string DecodeText(const uint8_t* bytes, size_t length);
// Encoding: Windows-1252 when every character fits, else UTF-8.
std::vector<uint8_t> EncodeText(const std::string& utf8);
// Windows-1252 byte -> UTF-8 (undefined code points map to U+FFFD... kept as their C1 control).
std::string Cp1252ToUtf8(const std::string& bytes);
bool IsValidUtf8(const uint8_t* bytes, size_t length);

std::string Trim(const std::string& s);
std::string TrimLeft(const std::string& s);
std::string TrimRight(const std::string& s);
std::string LowerCase(const std::string& s);                           // ASCII only
std::string UpperCase(const std::string& s);                           // ASCII only
bool SameText(const std::string& a, const std::string& b);             // ASCII case-insensitive
bool StartsWithText(const std::string& s, const std::string& prefix);  // case-insensitive
std::string ReplaceAll(std::string s, const std::string& from, const std::string& to);
std::vector<std::string> SplitString(const std::string& s, char separator);

// snprintf into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The locale's decimal separator used when writing reals into settings and
// showing numbers ('.' unless set at start-up from the user's locale).
char DecimalSeparator();
void SetDecimalSeparator(char separator);
// Reads the user's locale (LC_NUMERIC / LANG) and sets the decimal separator from it.
void InitLocaleFromEnvironment();

// Number text with every ',' and '.' taken as the decimal separator. Returns
// false (and leaves value alone) when the text is not a number.
bool TryParseDecimal(const std::string& text, double& value);
// As TryParseDecimal; 0 when the text is not a number.
double ParseDecimal(const std::string& text);
// Shortest general form of a real (up to 15 significant digits) with the
// locale's decimal separator, as settings files store reals.
std::string FloatToText(double value);
// Whole-number parse with optional sign and surrounding blanks; false on anything else
// or on overflow of int32.
bool TryParseInt(const std::string& text, int32_t& value);

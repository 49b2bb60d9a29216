#pragma once
#include <cstdint>
#include <ctime>
#include <string>

// Date/time values are day counts since 30 December 1899 (fraction = time of day),
// in local time, as training files store them.
constexpr double kSecondsPerDay = 86400.0;

double NowDays();
// Overrides the clock for tests (0 = real clock again).
void SetNowForTesting(double days);

double EncodeDate(int year, int month, int day);  // 0 on an invalid date
double EncodeTime(int hour, int minute, int second, int millisecond);
void DecodeDate(double days, int& year, int& month, int& day);
void DecodeTime(double days, int& hour, int& minute, int& second, int& millisecond);
int DayOfWeek(double days);  // 1 = Sunday ... 7 = Saturday

// Local time conversions.
double UnixToDays(std::time_t t);
std::time_t DaysToUnix(double days);

// Text in fixed formats: "yyyy-mm-dd hh:nn:ss" and friends used by labels and names.
std::string FormatDateTime(const std::string& format, double days);
// Date and time as the user's locale writes them (its short date format and
// its long time format; the C locale writes 12/31/99 and 23:59:59).
std::string LocaleShortDate(double days);
std::string LocaleLongTime(double days);
// The long time format of the locale (hh:nn:ss), used as the trace prefix.
std::string TimeStamp();

#include "util/date_time.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace {
double gNowOverride = 0;

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysInMonth(int y, int m)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}
// Days from 0001-01-01 to the date (proleptic Gregorian).
long long DayNumber(int y, int m, int d)
{
    long long days = 0;
    int yy = y - 1;
    days = 365LL * yy + yy / 4 - yy / 100 + yy / 400;
    for (int i = 1; i < m; ++i) days += DaysInMonth(y, i);
    return days + d - 1;
}
const long long kEpoch = DayNumber(1899, 12, 30);
}  // namespace

void SetNowForTesting(double days) { gNowOverride = days; }

double UnixToDays(std::time_t t)
{
    std::tm local{};
    localtime_r(&t, &local);
    return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
           EncodeTime(local.tm_hour, local.tm_min, local.tm_sec, 0);
}

std::time_t DaysToUnix(double days)
{
    int y, m, d, h, n, s, ms;
    DecodeDate(days, y, m, d);
    DecodeTime(days, h, n, s, ms);
    std::tm local{};
    local.tm_year = y - 1900;
    local.tm_mon = m - 1;
    local.tm_mday = d;
    local.tm_hour = h;
    local.tm_min = n;
    local.tm_sec = s;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

double NowDays()
{
    if (gNowOverride != 0) return gNowOverride;
    auto now = std::chrono::system_clock::now();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    std::time_t secs = std::time_t(ms / 1000);
    return UnixToDays(secs) + double(ms % 1000) / 1000.0 / kSecondsPerDay;
}

double EncodeDate(int year, int month, int day)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return 0;
    return double(DayNumber(year, month, day) - kEpoch);
}

double EncodeTime(int hour, int minute, int second, int millisecond)
{
    return (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) / (kSecondsPerDay * 1000.0);
}

void DecodeDate(double days, int& year, int& month, int& day)
{
    if (!std::isfinite(days) || days < -693593 || days > 2958465) {
        year = month = day = 0;
        return;
    }
    long long n = (long long)std::floor(days) + kEpoch;
    // Walk 400-year cycles, then years.
    int y = 1 + int(n / 146097) * 400;
    n %= 146097;
    while (true) {
        int len = IsLeap(y) ? 366 : 365;
        if (n < len) break;
        n -= len;
        ++y;
    }
    int m = 1;
    while (n >= DaysInMonth(y, m)) {
        n -= DaysInMonth(y, m);
        ++m;
    }
    year = y;
    month = m;
    day = int(n) + 1;
}

void DecodeTime(double days, int& hour, int& minute, int& second, int& millisecond)
{
    if (!std::isfinite(days)) {
        hour = minute = second = millisecond = 0;
        return;
    }
    double frac = days - std::floor(days);
    long long ms = std::llround(frac * kSecondsPerDay * 1000.0);
    if (ms >= 86400000LL) ms = 86399999LL;
    hour = int(ms / 3600000);
    minute = int(ms / 60000 % 60);
    second = int(ms / 1000 % 60);
    millisecond = int(ms % 1000);
}

int DayOfWeek(double days)
{
    long long n = (long long)std::floor(days);
    // 30 Dec 1899 was a Saturday (7).
    int r = int(((n % 7) + 7) % 7);
    return (r + 6) % 7 + 1;
}

std::string FormatDateTime(const std::string& format, double days)
{
    int y, m, d, h, n, s, ms;
    DecodeDate(days, y, m, d);
    DecodeTime(days, h, n, s, ms);
    std::string out;
    char buf[16];
    for (size_t i = 0; i < format.size();) {
        auto take = [&](const char* token) {
            size_t len = std::char_traits<char>::length(token);
            if (format.compare(i, len, token) == 0) {
                i += len;
                return true;
            }
            return false;
        };
        if (take("yyyy")) {
            std::snprintf(buf, sizeof buf, "%04d", y);
            out += buf;
        } else if (take("yy")) {
            std::snprintf(buf, sizeof buf, "%02d", y % 100);
            out += buf;
        } else if (take("mm")) {
            std::snprintf(buf, sizeof buf, "%02d", m);
            out += buf;
        } else if (take("dd")) {
            std::snprintf(buf, sizeof buf, "%02d", d);
            out += buf;
        } else if (take("hh")) {
            std::snprintf(buf, sizeof buf, "%02d", h);
            out += buf;
        } else if (take("nn")) {
            std::snprintf(buf, sizeof buf, "%02d", n);
            out += buf;
        } else if (take("ss")) {
            std::snprintf(buf, sizeof buf, "%02d", s);
            out += buf;
        } else if (take("zzz")) {
            std::snprintf(buf, sizeof buf, "%03d", ms);
            out += buf;
        } else if (take("d")) {
            out += std::to_string(d);
        } else if (take("m")) {
            out += std::to_string(m);
        } else if (take("h")) {
            out += std::to_string(h);
        } else {
            out += format[i];
            ++i;
        }
    }
    return out;
}

namespace {

std::string LocaleFormat(const char* format, double days)
{
    int y, m, d, h, n, sec, ms;
    DecodeDate(days, y, m, d);
    DecodeTime(days, h, n, sec, ms);
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = m - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = n;
    tm.tm_sec = sec;
    tm.tm_wday = DayOfWeek(days) - 1;
    tm.tm_isdst = -1;
    char buf[128];
    const size_t len = std::strftime(buf, sizeof buf, format, &tm);
    return std::string(buf, len);
}

}  // namespace

std::string LocaleShortDate(double days) { return LocaleFormat("%x", days); }

std::string LocaleLongTime(double days) { return LocaleFormat("%X", days); }

std::string TimeStamp() { return FormatDateTime("hh:nn:ss", NowDays()); }

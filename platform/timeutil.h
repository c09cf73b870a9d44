// Local time: CTime and SYSTEMTIME.
#pragma once

#include "platform/CString.h"

#include <ctime>

struct SYSTEMTIME {
    WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};
void GetLocalTime(SYSTEMTIME* out);
void GetSystemTime(SYSTEMTIME* out);

class CTime {
public:
    CTime() = default;
    explicit CTime(time_t t) : t_(t) {}
    // Local time; fields out of range are normalised as mktime does.
    CTime(int year, int month, int day, int hour, int minute, int second);
    static CTime GetCurrentTime();
    time_t GetTime() const { return t_; }
    int GetYear() const { return local().tm_year + 1900; }
    int GetMonth() const { return local().tm_mon + 1; }
    int GetDay() const { return local().tm_mday; }
    int GetHour() const { return local().tm_hour; }
    int GetMinute() const { return local().tm_min; }
    int GetSecond() const { return local().tm_sec; }
    int GetDayOfWeek() const { return local().tm_wday + 1; }
    // strftime of the local time.
    CString Format(const char* fmt) const;

private:
    struct tm local() const;
    time_t t_ = 0;
};

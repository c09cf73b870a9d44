#include "platform/timeutil.h"

#include <sys/time.h>

namespace {

void fill(SYSTEMTIME* out, const struct tm& tm, long usec)
{
    out->wYear = static_cast<WORD>(tm.tm_year + 1900);
    out->wMonth = static_cast<WORD>(tm.tm_mon + 1);
    out->wDayOfWeek = static_cast<WORD>(tm.tm_wday);
    out->wDay = static_cast<WORD>(tm.tm_mday);
    out->wHour = static_cast<WORD>(tm.tm_hour);
    out->wMinute = static_cast<WORD>(tm.tm_min);
    out->wSecond = static_cast<WORD>(tm.tm_sec);
    out->wMilliseconds = static_cast<WORD>(usec / 1000);
}

}  // namespace

void GetLocalTime(SYSTEMTIME* out)
{
    if (!out) return;
    timeval tv;
    gettimeofday(&tv, nullptr);
    struct tm tm;
    localtime_r(&tv.tv_sec, &tm);
    fill(out, tm, tv.tv_usec);
}

void GetSystemTime(SYSTEMTIME* out)
{
    if (!out) return;
    timeval tv;
    gettimeofday(&tv, nullptr);
    struct tm tm;
    gmtime_r(&tv.tv_sec, &tm);
    fill(out, tm, tv.tv_usec);
}

CTime::CTime(int year, int month, int day, int hour, int minute, int second)
{
    struct tm tm = {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    t_ = mktime(&tm);
}

CTime CTime::GetCurrentTime()
{
    return CTime(time(nullptr));
}

struct tm CTime::local() const
{
    struct tm tm;
    localtime_r(&t_, &tm);
    return tm;
}

CString CTime::Format(const char* fmt) const
{
    if (!fmt || !*fmt) return CString();
    struct tm tm = local();
    char buf[512];
    size_t n = strftime(buf, sizeof buf, fmt, &tm);
    return CString(buf, static_cast<int>(n));
}

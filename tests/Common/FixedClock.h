// A fixed moment for the stores' time conditions: while a FixedClock lives,
// databases opened in the process see SQLite's 'now' at that moment, and the
// process's local time zone is the one given. Tests of day boundaries use it
// so that the result does not depend on when and where they run.
#pragma once

#include <sqlite3.h>

#include <cstdlib>
#include <ctime>
#include <string>

class FixedClock {
public:
    // `utc`: seconds since 1970 (UTC); `zone`: a TZ value such as "CST-8".
    FixedClock(time_t utc, const char* zone)
    {
        const char* old = std::getenv("TZ");
        hadZone_ = old != nullptr;
        if (old) oldZone_ = old;
        setenv("TZ", zone, 1);
        tzset();
        Moment() = utc;
        base_ = sqlite3_vfs_find(nullptr);
        sqlite3_vfs& vfs = Vfs();
        vfs = *base_;
        vfs.zName = "lum-fixed-clock";
        vfs.xCurrentTime = &CurrentTime;
        vfs.xCurrentTimeInt64 = &CurrentTimeInt64;
        sqlite3_vfs_register(&vfs, 1);
    }
    // Databases opened meanwhile keep the fixed moment until they close
    // (their file system layer lives as long as the process).
    ~FixedClock()
    {
        sqlite3_vfs_unregister(&Vfs());
        sqlite3_vfs_register(base_, 1);
        if (hadZone_)
            setenv("TZ", oldZone_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;

    // The moment as local time text "%Y-%m-%d %H:%M:%S", `seconds` later.
    static std::string Local(time_t utc, long seconds = 0)
    {
        const time_t at = utc + seconds;
        struct tm local;
        localtime_r(&at, &local);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
        return text;
    }

private:
    static time_t& Moment()
    {
        static time_t moment = 0;
        return moment;
    }
    static sqlite3_vfs& Vfs()
    {
        static sqlite3_vfs vfs{};
        return vfs;
    }
    // SQLite counts milliseconds from the Julian day epoch.
    static int CurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* now)
    {
        *now = static_cast<sqlite3_int64>(Moment()) * 1000 + 210866760000000LL;
        return SQLITE_OK;
    }
    static int CurrentTime(sqlite3_vfs*, double* now)
    {
        *now = static_cast<double>(Moment()) / 86400.0 + 2440587.5;
        return SQLITE_OK;
    }

    sqlite3_vfs* base_ = nullptr;
    bool hadZone_ = false;
    std::string oldZone_;
};

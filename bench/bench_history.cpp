// History store benchmark: the store against a bare prepared-statement SQLite
// loop doing the same work on the same data in the same run.
//
// Inserts N chat lines (Chinese text, 40 to 200 bytes, one commit per line as
// the client stores them), then reads keyword-search pages and contact pages.
// Prints lines/s for both and the ratio, and the time of one search page.
//
//   bench_history [lines] [folder]   (defaults: 100000, a new folder in /tmp)
#include "Common/stores/FileDbMsg.h"
#include "platform/files.h"
#include "tests/platform/TestServices.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from)
{
    return std::chrono::duration<double>(Clock::now() - from).count();
}

struct Line {
    int id;
    std::string rtime, tagmsg, msg;
};

// Chat lines from a fixed seed: 50 contacts, one line per second, texts of
// 40 to 200 bytes of Chinese words, every 97th line holding the keyword.
std::vector<Line> makeLines(int n)
{
    const char* words[] = {"今天", "我们", "上课", "作业", "老师", "同学", "图书馆", "食堂", "明天", "下午",
                           "复习", "报告", "实验", "讨论", "周末", "比赛", "通知", "放假", "宿舍", "电话"};
    std::mt19937 rng(42);
    std::vector<Line> lines;
    lines.reserve(static_cast<size_t>(n));
    time_t start = 1700000000;
    for (int i = 0; i < n; ++i) {
        const size_t target = 40 + rng() % 161;
        std::string text;
        while (text.size() + 9 < target) text += words[rng() % 20];
        if (i % 97 == 0) text += "期末考试";
        char t[32];
        time_t when = start + i;
        struct tm tm;
        localtime_r(&when, &tm);
        strftime(t, sizeof t, "%Y-%m-%d %H:%M:%S", &tm);
        lines.push_back({static_cast<int>(1 + rng() % 50), t, "<msg>" + text + "</msg>", text});
    }
    return lines;
}

const char* kCreate =
    "create table history_msg(id INTEGER,gid INTEGER,tagmsg TEXT,type INTEGER,rtime TEXT,gtype INTEGER,msg TEXT,"
    "PRIMARY KEY(id,rtime))";

double bareInsert(const std::string& path, const std::vector<Line>& lines)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite3_exec(db, kCreate, nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "insert into history_msg (id,gid,tagmsg,type,rtime,gtype,msg) values (?,1,?,0,?,1,?)", -1,
                       &st, nullptr);
    auto t0 = Clock::now();
    for (const Line& l : lines) {
        sqlite3_bind_int(st, 1, l.id);
        sqlite3_bind_text(st, 2, l.tagmsg.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 3, l.rtime.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 4, l.msg.c_str(), -1, SQLITE_STATIC);
        if (sqlite3_step(st) != SQLITE_DONE) std::fprintf(stderr, "bare insert failed\n");
        sqlite3_reset(st);
    }
    double s = seconds(t0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return s;
}

// One keyword page with a bare prepared statement of the same shape.
double bareSearch(const std::string& path, const char* pattern, int pages)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db,
                       "select * from (select rtime,tagmsg,id,gid,type,gtype from history_msg where msg like(?) "
                       "order by gid,id,rtime desc Limit 10 offset ?) order by gid,id,rtime desc",
                       -1, &st, nullptr);
    auto t0 = Clock::now();
    for (int p = 0; p < pages; ++p) {
        sqlite3_bind_text(st, 1, pattern, -1, SQLITE_STATIC);
        sqlite3_bind_int(st, 2, 10 * p);
        while (sqlite3_step(st) == SQLITE_ROW) {
        }
        sqlite3_reset(st);
    }
    double s = seconds(t0) / pages;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return s;
}

}  // namespace

int main(int argc, char** argv)
{
    const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
    std::string folder;
    if (argc > 2) {
        folder = argv[2];
    } else {
        char pattern[] = "/tmp/bench-history-XXXXXX";
        folder = mkdtemp(pattern);
    }
    std::filesystem::create_directories(folder);
    TestServices services;
    services.SetProgramFolder(folder + "/");
    std::printf("history store benchmark: %d lines in %s\n", n, folder.c_str());
    const std::vector<Line> lines = makeLines(n);

    const double bare = bareInsert(folder + "/bare.db", lines);

    CFileDbMsg store;
    if (!store.Connect(1)) return 1;
    auto t0 = Clock::now();
    int stored = 0;
    for (const Line& l : lines)
        stored += store.InsertMsg(l.id, 1, l.tagmsg.c_str(), 0, l.rtime.c_str(), 1, l.msg.c_str());
    const double ours = seconds(t0);
    if (stored != n) std::printf("WARNING: %d of %d lines stored\n", stored, n);

    std::printf("insert  bare SQLite: %10.0f lines/s\n", n / bare);
    std::printf("insert  store:       %10.0f lines/s\n", n / ours);
    std::printf("insert  ratio store/bare time: %.2f\n", ours / bare);

    const int pages = 20;
    t0 = Clock::now();
    int rowsSeen = 0;
    for (int p = 0; p < pages; ++p) {
        char** table = nullptr;
        int rows = 0, cols = 0;
        store.getMsgRecords(0, 0, 0, "期末考试", p, &table, &rows, &cols);
        rowsSeen += rows;
        CFileDB::FreeRecord(table);
    }
    const double searchOurs = seconds(t0) / pages;
    t0 = Clock::now();
    const int pagesCount = store.GetRecordCount(0, 0, 0, "期末考试");
    const double countOurs = seconds(t0);
    const double searchBare = bareSearch(folder + "/bare.db", "%期末考试%", pages);
    std::printf("search  store page:  %8.2f ms (%d rows over %d pages; %d pages in all, counted in %.2f ms)\n",
                searchOurs * 1000, rowsSeen, pages, pagesCount, countOurs * 1000);
    std::printf("search  bare page:   %8.2f ms\n", searchBare * 1000);
    std::printf("search  ratio store/bare time: %.2f\n", searchOurs / searchBare);

    t0 = Clock::now();
    for (int p = 0; p < pages; ++p) {
        char** table = nullptr;
        int rows = 0, cols = 0;
        store.getMsgRecords(7, 0, 1, "", p, &table, &rows, &cols);
        CFileDB::FreeRecord(table);
    }
    std::printf("contact page:        %8.2f ms\n", seconds(t0) / pages * 1000);
    if (argc <= 2) std::filesystem::remove_all(folder);
    return 0;
}

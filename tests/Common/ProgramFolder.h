// Points the program folder at a temporary folder for one test, so that the
// stores (KivSys.dll, the user folders) and Lum.ini live there.
#pragma once

#include "tests/platform/TempDir.h"
#include "tests/platform/TestServices.h"

#include <sqlite3.h>
#include <string>

class ProgramFolder {
public:
    ProgramFolder() { services_.SetProgramFolder(path()); }
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    // The folder, ending in '/'.
    std::string path() const { return dir_.path() + "/"; }

private:
    TempDir dir_;
    TestServices services_;
};

// The CREATE statement of a table as SQLite keeps it in the file.
inline std::string schemaOf(sqlite3* db, const char* table)
{
    std::string sql;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "select sql from sqlite_master where type='table' and name=?", -1, &st, nullptr) ==
        SQLITE_OK) {
        sqlite3_bind_text(st, 1, table, -1, SQLITE_STATIC);
        if (sqlite3_step(st) == SQLITE_ROW) sql = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    }
    sqlite3_finalize(st);
    return sql;
}

// Runs one statement and returns the first column of the first row as text.
inline std::string queryText(sqlite3* db, const char* sql)
{
    std::string out;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW &&
        sqlite3_column_text(st, 0))
        out = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
    return out;
}

inline int queryInt(sqlite3* db, const char* sql)
{
    return std::atoi(queryText(db, sql).c_str());
}

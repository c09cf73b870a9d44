// The base of the three local SQLite stores.
//
// Every value reaches SQLite as a bound parameter: texts with quotes,
// percent signs or semicolons are stored and found as typed and never run as
// SQL.
#pragma once

#include "platform/afx.h"
#include "platform/gdiplus.h"

#include <sqlite3.h>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

class CDataUser;

class CFileDB {
public:
    CFileDB() = default;
    CFileDB(const CFileDB&) = delete;
    CFileDB& operator=(const CFileDB&) = delete;

    virtual int InsertUser(CDataUser* user) = 0;
    // Closes the database; the store can be connected again (for another user).
    void Close();
    virtual int DeleteUser(int id, int gid) = 0;

    // ANSI code page -> UTF-8.
    CString ConverToUTF8(CString text);
    void ConvertGBKToUtf8(CString& text);
    // UTF-8 -> ANSI code page, in place (for callers reading history rows).
    void ConvertUtf8ToGBK(CString& text);

    // "select count(*) as a from <what>"; `what` is a table name and an
    // optional where-clause with '?' placeholders bound to `params`.
    // 0 when there is no row or the query fails.
    int GetCount(CString what, const std::vector<CString>& params = {});
    // Runs `sql` and hands out SQLite's result table (free it with
    // FreeRecord). FALSE with an empty table when the query fails.
    BOOL GetRecord(CString sql, char*** table, int* rows, int* cols);
    BOOL GetRecord(const CString& sql, const std::vector<CString>& params, char*** table, int* rows, int* cols);
    static void FreeRecord(char** table);

    // Many writes in a row (a list from the service) as one transaction, so
    // that they reach the disk together. Batches nest; the outermost end
    // commits. Called on one thread.
    void BeginBatch();
    void EndBatch();

    // Where the last Connect moved a file that was no database (kept for
    // recovery); empty when the store opened as it was.
    CString SetAsidePath() const { return m_strSetAside; }
    // The folder of the file the store is open on, ending with '/' (the
    // user's folder for the user's stores); empty when it is not open.
    CString Folder() const;

    sqlite3* db = nullptr;

protected:
    ~CFileDB();
    // Opens `path` (UTF-8) read-write, creating it, and runs `creates`
    // ignoring their results. 0 (with the reason on stderr) on failure.
    int Open(const CString& path, const std::vector<const char*>& creates);
    // Prepares `sql` and binds the texts in order; null on failure.
    sqlite3_stmt* Prepare(const CString& sql, const std::vector<CString>& params);
    // Prepares, binds, steps to completion. 1 when SQLite completed it.
    int Exec(const CString& sql, const std::vector<CString>& params = {});
    // As Exec, and SQLite's result code (SQLITE_DONE when it completed).
    int ExecStatus(const CString& sql, const std::vector<CString>& params);
    // As Exec, with `blob` bound at parameter `blobIndex` (from 1) and the
    // texts at the other parameters in order.
    int ExecWithBlob(const CString& sql, const std::vector<CString>& params, int blobIndex, const std::string& blob);
    // Writes one row: when `head` is set and encodes as PNG, with the image
    // statement (the PNG bound at `blobIndex`); otherwise with the plain one,
    // which leaves a stored image alone. A head that fails to encode thus
    // never replaces a stored image with an empty one.
    int WriteRow(const Gdiplus::Bitmap* head, const CString& withImage, const std::vector<CString>& imageParams,
                 int blobIndex, const CString& plain, const std::vector<CString>& plainParams);
    // The user's folder beside the program (created when missing), or "".
    static CString UserFolder(int userId);

private:
    // Exec, ExecStatus, ExecWithBlob and GetCount keep their statements
    // prepared: a store writes rows one by one (a list of 10,000 friends is
    // 20,000 statements), and preparing one costs more than running it. The
    // statements are used under the lock (the stores are also written from
    // workers) and reset after each use.
    sqlite3_stmt* CachedStatement(const CString& sql);
    // SQLite's result code of the statement's last step.
    int RunCached(const CString& sql, const std::vector<CString>& params, int blobIndex, const std::string* blob,
                  int* count);
    void DropCachedStatements();

    int m_nBatch = 0;
    CString m_strSetAside;
    CString m_strPath;  // the open file, as Open was given it
    std::mutex m_cacheLock;
    std::unordered_map<std::string, sqlite3_stmt*> m_cache;
};

// Binding helpers shared by the stores.
namespace filedb {
// A column as text ("" for NULL).
CString ColumnText(sqlite3_stmt* st, int col);
// PNG bytes of a head image; false when the image could not be encoded.
bool EncodeHead(const Gdiplus::Bitmap* image, std::string& png);
// A new 40x40 ARGB head image from stored PNG bytes; null when there are no
// bytes or they do not decode.
Gdiplus::Bitmap* DecodeHead(const void* data, int size);
}  // namespace filedb

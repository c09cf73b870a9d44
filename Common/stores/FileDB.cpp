#include "Common/stores/FileDB.h"

#include "Common/Common.h"
#include "platform/codepage.h"
#include "platform/files.h"

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CFileDB::~CFileDB()
{
    Close();
}

void CFileDB::Close()
{
    {
        std::lock_guard<std::mutex> lock(m_cacheLock);
        DropCachedStatements();
    }
    if (db) sqlite3_close(db);
    db = nullptr;
    m_nBatch = 0;
    m_strPath.Empty();
}

CString CFileDB::Folder() const
{
    if (!db) return CString();
    const int cut = m_strPath.ReverseFind('/');
    return cut < 0 ? CString() : m_strPath.Left(cut + 1);
}

CString CFileDB::ConverToUTF8(CString text)
{
    return AnsiToUtf8(text);
}

void CFileDB::ConvertGBKToUtf8(CString& text)
{
    text = AnsiToUtf8(text);
}

void CFileDB::ConvertUtf8ToGBK(CString& text)
{
    text = Utf8ToAnsi(text);
}

namespace {

// Whether SQLite can read the file as a database: reading the schema reads
// the header and the first page, which a file that is no database, or one
// whose first page is damaged, fails.
bool ReadsAsDatabase(sqlite3* db)
{
    const int rc = sqlite3_exec(db, "select count(*) from sqlite_master", nullptr, nullptr, nullptr) & 0xFF;
    return rc != SQLITE_NOTADB && rc != SQLITE_CORRUPT;
}

// Moves a damaged store, with its write-ahead log, to "<file>.<date>-<time>.bad"
// (a number added when that name is taken). The kept path, or "" when the
// file could not be moved.
CString SetAside(const CString& path)
{
    const time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    CString kept;
    for (int n = 1; n < 1000; ++n) {
        if (n == 1)
            kept.Format("%s.%s.bad", path.GetString(), stamp);
        else
            kept.Format("%s.%s-%d.bad", path.GetString(), stamp, n);
        if (::access(kept, F_OK) != 0) break;
    }
    if (::rename(path, kept) != 0) return CString();
    for (const char* part : {"-wal", "-shm"}) ::rename(path + part, kept + part);
    return kept;
}

}  // namespace

int CFileDB::Open(const CString& path, const std::vector<const char*>& creates)
{
    m_strSetAside.Empty();
    if (db) return 1;
    // The stores hold remembered passwords, contacts and history: a store
    // made here is readable and writable by its owner only. SQLite gives its
    // journal files the database file's permissions.
    const int made = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (made >= 0) ::close(made);
    int rc = sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        std::fprintf(stderr, "Can't open database:%s\n", db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close(db);
        db = nullptr;
        return 0;
    }
    if (!ReadsAsDatabase(db)) {
        // Every later write would fail without a word: the damaged file is
        // kept for recovery under another name and a new store is started.
        sqlite3_close(db);
        db = nullptr;
        const CString kept = SetAside(path);
        if (kept.IsEmpty()) {
            std::fprintf(stderr, "Can't open database:%s is damaged and cannot be moved\n", path.GetString());
            return 0;
        }
        const int fresh = Open(path, creates);
        m_strSetAside = kept;
        return fresh;
    }
    // A store left readable by an earlier version is narrowed too.
    ::chmod(path, S_IRUSR | S_IWUSR);
    // A store shared by a worker thread and the window waits briefly for the
    // other's write instead of failing at once.
    sqlite3_busy_timeout(db, 2000);
    // Write-ahead logging with normal syncing: a write appends to the log
    // instead of syncing a journal and the file to disk each time, so that a
    // list of a thousand contacts is stored in milliseconds rather than
    // seconds. A crash of the program loses nothing; a power cut can lose
    // at most the last writes, never the store. The log gets the store's
    // permissions.
    sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    for (const char* sql : creates) sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    m_strPath = path;
    return 1;
}

namespace {

sqlite3_stmt* prepareWithBlob(sqlite3* db, const CString& sql, const std::vector<CString>& params, int blobIndex,
                              const std::string* blob)
{
    if (!db) return nullptr;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        return nullptr;
    }
    int index = 1;
    for (const CString& p : params) {
        if (index == blobIndex) ++index;
        sqlite3_bind_text(st, index++, p.GetString(), p.GetLength(), SQLITE_TRANSIENT);
    }
    if (blob) sqlite3_bind_blob(st, blobIndex, blob->data(), static_cast<int>(blob->size()), SQLITE_TRANSIENT);
    return st;
}


}  // namespace

sqlite3_stmt* CFileDB::Prepare(const CString& sql, const std::vector<CString>& params)
{
    return prepareWithBlob(db, sql, params, 0, nullptr);
}

namespace {

// Statements kept prepared per store; more (statements with values written
// into their text) start the cache afresh.
const size_t kCachedStatements = 64;

}  // namespace

sqlite3_stmt* CFileDB::CachedStatement(const CString& sql)
{
    auto it = m_cache.find(sql.GetString());
    if (it != m_cache.end()) return it->second;
    if (m_cache.size() >= kCachedStatements) DropCachedStatements();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK || !st) {
        sqlite3_finalize(st);
        return nullptr;
    }
    m_cache.emplace(sql.GetString(), st);
    return st;
}

void CFileDB::DropCachedStatements()
{
    for (auto& entry : m_cache) sqlite3_finalize(entry.second);
    m_cache.clear();
}

int CFileDB::RunCached(const CString& sql, const std::vector<CString>& params, int blobIndex, const std::string* blob,
                       int* count)
{
    if (!db) return SQLITE_MISUSE;
    std::lock_guard<std::mutex> lock(m_cacheLock);
    sqlite3_stmt* st = CachedStatement(sql);
    if (!st) return SQLITE_ERROR;
    int index = 1;
    for (const CString& p : params) {
        if (index == blobIndex) ++index;
        sqlite3_bind_text(st, index++, p.GetString(), p.GetLength(), SQLITE_TRANSIENT);
    }
    if (blob) sqlite3_bind_blob(st, blobIndex, blob->data(), static_cast<int>(blob->size()), SQLITE_TRANSIENT);
    int rc = sqlite3_step(st);
    if (count) *count = rc == SQLITE_ROW ? sqlite3_column_int(st, 0) : 0;
    while (rc == SQLITE_ROW) rc = sqlite3_step(st);
    // The last step's result is returned (resetting leaves the statement
    // ready for the next row, and the failure's message with the database).
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    return rc;
}

int CFileDB::ExecStatus(const CString& sql, const std::vector<CString>& params)
{
    return RunCached(sql, params, 0, nullptr, nullptr);
}

int CFileDB::ExecWithBlob(const CString& sql, const std::vector<CString>& params, int blobIndex,
                          const std::string& blob)
{
    return RunCached(sql, params, blobIndex, &blob, nullptr) == SQLITE_DONE ? 1 : 0;
}

int CFileDB::Exec(const CString& sql, const std::vector<CString>& params)
{
    return RunCached(sql, params, 0, nullptr, nullptr) == SQLITE_DONE ? 1 : 0;
}

int CFileDB::WriteRow(const Gdiplus::Bitmap* head, const CString& withImage, const std::vector<CString>& imageParams,
                      int blobIndex, const CString& plain, const std::vector<CString>& plainParams)
{
    std::string png;
    if (head && filedb::EncodeHead(head, png)) return ExecWithBlob(withImage, imageParams, blobIndex, png);
    return Exec(plain, plainParams);
}

int CFileDB::GetCount(CString what, const std::vector<CString>& params)
{
    CString sql;
    sql.Format("select count(*) as a from %s", what.GetString());
    int n = 0;
    RunCached(sql, params, 0, nullptr, &n);
    return n;
}

BOOL CFileDB::GetRecord(CString sql, char*** table, int* rows, int* cols)
{
    return GetRecord(sql, {}, table, rows, cols);
}

// The table layout is SQLite's: `cols` column names, then `rows` rows of
// `cols` texts (null for NULL). One hidden cell before the table holds the
// number of cells, so that FreeRecord can release it.
BOOL CFileDB::GetRecord(const CString& sql, const std::vector<CString>& params, char*** table, int* rows, int* cols)
{
    if (table) *table = nullptr;
    if (rows) *rows = 0;
    if (cols) *cols = 0;
    if (!table || !rows || !cols) return FALSE;
    sqlite3_stmt* st = Prepare(sql, params);
    if (!st) return FALSE;
    const int n = sqlite3_column_count(st);
    std::vector<char*> cells;
    for (int c = 0; c < n; ++c) cells.push_back(strdup(sqlite3_column_name(st, c)));
    int count = 0, rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        for (int c = 0; c < n; ++c) {
            const unsigned char* t = sqlite3_column_text(st, c);
            cells.push_back(t ? strdup(reinterpret_cast<const char*>(t)) : nullptr);
        }
        ++count;
    }
    sqlite3_finalize(st);
    char** block = new char*[cells.size() + 1];
    block[0] = reinterpret_cast<char*>(static_cast<intptr_t>(cells.size()));
    std::copy(cells.begin(), cells.end(), block + 1);
    if (rc != SQLITE_DONE) {
        FreeRecord(block + 1);
        return FALSE;
    }
    *table = block + 1;
    *rows = count;
    *cols = n;
    return TRUE;
}

void CFileDB::FreeRecord(char** table)
{
    if (!table) return;
    char** block = table - 1;
    const intptr_t n = reinterpret_cast<intptr_t>(block[0]);
    for (intptr_t i = 1; i <= n; ++i) free(block[i]);
    delete[] block;
}

CString CFileDB::UserFolder(int userId)
{
    CString folder;
    folder.Format("%s%d", CCommon().GetAppPath().GetString(), userId);
    struct _stat st;
    // The user's folder is the owner's only, as the stores in it.
    if (_stat(folder, &st) != 0) ::mkdir(folder, S_IRWXU);
    return folder;
}

namespace filedb {

CString ColumnText(sqlite3_stmt* st, int col)
{
    const unsigned char* t = sqlite3_column_text(st, col);
    return t ? CString(reinterpret_cast<const char*>(t), sqlite3_column_bytes(st, col)) : CString();
}

bool EncodeHead(const Gdiplus::Bitmap* image, std::string& png)
{
    png.clear();
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) || !stream) return false;
    ULONGLONG size = 0;
    CCommon::BitmapTOIStream(image, stream, &size);
    bool ok = size > 0;
    if (ok) {
        png.resize(static_cast<size_t>(size));
        ULONG read = 0;
        ok = SUCCEEDED(stream->Read(&png[0], static_cast<ULONG>(size), &read)) && read == size;
    }
    stream->Release();
    if (!ok) png.clear();
    return ok;
}

Gdiplus::Bitmap* DecodeHead(const void* data, int size)
{
    if (!data || size <= 0) return nullptr;
    auto* head = new Gdiplus::Bitmap(40, 40, Gdiplus::PixelFormat32bppARGB);
    if (!CCommon::MemoryTOBitmap(data, size, head)) {
        delete head;
        return nullptr;
    }
    return head;
}

}  // namespace filedb

void CFileDB::BeginBatch()
{
    if (m_nBatch++ == 0 && db) sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
}

void CFileDB::EndBatch()
{
    if (m_nBatch <= 0) return;
    if (--m_nBatch == 0 && db && !sqlite3_get_autocommit(db)) sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
}

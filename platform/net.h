// HTTP access: downloads to a file, and a small internet session that opens
// an address and reads its status and body.
//
// Every request has a connect time-out and gives up on a stalled transfer, so
// no caller waits forever on a server that accepts and then says nothing.
#pragma once

#include "platform/CString.h"
#include "platform/stream.h"

#include <string>

typedef void* LPUNKNOWN;

// Progress of a download. Returning E_ABORT from OnProgress cancels it.
enum { BINDSTATUS_BEGINDOWNLOADDATA = 4, BINDSTATUS_DOWNLOADINGDATA = 5, BINDSTATUS_ENDDOWNLOADDATA = 6 };
class IBindStatusCallback {
public:
    virtual HRESULT OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode, LPCWSTR statusText) = 0;

protected:
    virtual ~IBindStatusCallback() = default;
};

// Downloads `url` into the file `path` (created or replaced). S_OK on a 2xx
// answer known to be whole: the server gave its length, or sent it in chunks
// up to the last one. S_FALSE on a 2xx answer whose body simply ended where
// the connection closed, which a transfer cut short looks the same as: only
// a caller that can check the file by other means may use it. E_ABORT when
// the callback cancelled; E_FAIL otherwise (the partial file, if any, stays).
HRESULT URLDownloadToFile(LPUNKNOWN caller, LPCSTR url, LPCSTR path, DWORD reserved, IBindStatusCallback* callback);

#define INTERNET_OPEN_TYPE_PRECONFIG 0
#define INTERNET_FLAG_TRANSFER_ASCII 0x00000001
#define INTERNET_FLAG_TRANSFER_BINARY 0x00000002
#define INTERNET_FLAG_DONT_CACHE 0x04000000
#define INTERNET_FLAG_RELOAD 0x80000000
#define HTTP_QUERY_STATUS_CODE 19

// The answer of one request, read whole when it was opened.
class CHttpFile {
public:
    BOOL QueryInfoStatusCode(DWORD& status) const;
    BOOL QueryInfo(DWORD level, CString& value) const;
    // Next line of the body without its line break; FALSE at the end.
    BOOL ReadString(CString& line);
    UINT Read(void* buffer, UINT count);
    void Close() {}

private:
    friend class CInternetSession;
    DWORD status_ = 0;
    std::string body_;
    size_t pos_ = 0;
};

class CInternetSession {
public:
    explicit CInternetSession(LPCSTR agent = nullptr, DWORD context = 1, DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG,
                              LPCSTR proxy = nullptr, LPCSTR proxyBypass = nullptr, DWORD flags = 0);
    // Requests `url` (GET) and returns its answer, owned by the caller, or
    // null when the server could not be reached.
    CHttpFile* OpenURL(LPCSTR url, DWORD context = 1, DWORD flags = INTERNET_FLAG_TRANSFER_ASCII,
                       LPCSTR headers = nullptr, DWORD headersLength = 0);
    void Close() {}
};

#include "platform/net.h"

#include <cctype>
#include <cstdio>
#include <curl/curl.h>
#include <mutex>
#include <string>

namespace {

// Seconds to wait for a connection, and for a transfer that moves no byte.
const long kConnectTimeout = 10;
const long kStallTime = 30;
// An answer read into memory larger than this is refused.
const size_t kMaxBodyInMemory = 16u << 20;
// An answer read into memory (a status probe, a line of text) is small: a
// server that accepts and then says nothing must not hold the caller longer.
const long kInMemoryTimeout = 10;

void globalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

CURL* newHandle(const char* url)
{
    globalInit();
    CURL* c = curl_easy_init();
    if (!c) return nullptr;
    curl_easy_setopt(c, CURLOPT_URL, url);
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kConnectTimeout);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, kStallTime);
    return c;
}

struct FileSink {
    FILE* f;
    IBindStatusCallback* cb;
    bool aborted = false;
    bool chunked = false;  // the last answer came in chunks
};

// Notes whether the answer (the last one, after redirects) is chunked.
size_t readHeader(char* data, size_t size, size_t n, void* user)
{
    auto* sink = static_cast<FileSink*>(user);
    std::string line(data, size * n);
    if (line.compare(0, 5, "HTTP/") == 0) sink->chunked = false;
    for (char& c : line) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (line.compare(0, 18, "transfer-encoding:") == 0 && line.find("chunked", 18) != std::string::npos)
        sink->chunked = true;
    return size * n;
}

size_t writeFile(char* data, size_t size, size_t n, void* user)
{
    auto* sink = static_cast<FileSink*>(user);
    return fwrite(data, size, n, sink->f) * size;
}

int progress(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t)
{
    auto* sink = static_cast<FileSink*>(user);
    if (!sink->cb) return 0;
    HRESULT hr = sink->cb->OnProgress(static_cast<ULONG>(now), static_cast<ULONG>(total), BINDSTATUS_DOWNLOADINGDATA,
                                      nullptr);
    if (hr == E_ABORT) {
        sink->aborted = true;
        return 1;
    }
    return 0;
}

size_t writeString(char* data, size_t size, size_t n, void* user)
{
    auto* body = static_cast<std::string*>(user);
    if (body->size() + size * n > kMaxBodyInMemory) return 0;
    body->append(data, size * n);
    return size * n;
}

}  // namespace

HRESULT URLDownloadToFile(LPUNKNOWN, LPCSTR url, LPCSTR path, DWORD, IBindStatusCallback* callback)
{
    if (!url || !path) return E_INVALIDARG;
    CURL* c = newHandle(url);
    if (!c) return E_OUTOFMEMORY;
    FILE* f = fopen(path, "wb");
    if (!f) {
        curl_easy_cleanup(c);
        return E_FAIL;
    }
    FileSink sink{f, callback};
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, writeFile);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, readHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &sink);
    if (callback) {
        curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, progress);
        curl_easy_setopt(c, CURLOPT_XFERINFODATA, &sink);
    }
    CURLcode rc = curl_easy_perform(c);
    // An answer with a length that ends early, or a chunked one without its
    // last chunk, is an error of the transfer; one with neither can only be
    // taken as it came.
    curl_off_t length = -1;
    curl_easy_getinfo(c, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    const bool marked = length >= 0 || sink.chunked;
    curl_easy_cleanup(c);
    bool closed = fclose(f) == 0;
    if (sink.aborted) return E_ABORT;
    if (callback && rc == CURLE_OK) callback->OnProgress(0, 0, BINDSTATUS_ENDDOWNLOADDATA, nullptr);
    if (rc != CURLE_OK || !closed) return E_FAIL;
    return marked ? S_OK : S_FALSE;
}

BOOL CHttpFile::QueryInfoStatusCode(DWORD& status) const
{
    status = status_;
    return TRUE;
}

BOOL CHttpFile::QueryInfo(DWORD level, CString& value) const
{
    if (level != HTTP_QUERY_STATUS_CODE) return FALSE;
    value.Format("%u", static_cast<unsigned>(status_));
    return TRUE;
}

BOOL CHttpFile::ReadString(CString& line)
{
    line.Empty();
    if (pos_ >= body_.size()) return FALSE;
    size_t end = body_.find('\n', pos_);
    size_t stop = end == std::string::npos ? body_.size() : end;
    size_t len = stop - pos_;
    if (len > 0 && body_[pos_ + len - 1] == '\r') --len;
    line = CString(body_.substr(pos_, len));
    pos_ = end == std::string::npos ? body_.size() : end + 1;
    return TRUE;
}

UINT CHttpFile::Read(void* buffer, UINT count)
{
    size_t left = body_.size() - pos_;
    size_t n = count < left ? count : left;
    if (n) body_.copy(static_cast<char*>(buffer), n, pos_);
    pos_ += n;
    return static_cast<UINT>(n);
}

CInternetSession::CInternetSession(LPCSTR, DWORD, DWORD, LPCSTR, LPCSTR, DWORD) {}

CHttpFile* CInternetSession::OpenURL(LPCSTR url, DWORD, DWORD, LPCSTR, DWORD)
{
    if (!url) return nullptr;
    CURL* c = newHandle(url);
    if (!c) return nullptr;
    auto* file = new CHttpFile;
    curl_easy_setopt(c, CURLOPT_TIMEOUT, kInMemoryTimeout);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, writeString);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &file->body_);
    CURLcode rc = curl_easy_perform(c);
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(c);
    if (rc != CURLE_OK) {
        delete file;
        return nullptr;
    }
    file->status_ = static_cast<DWORD>(status);
    return file;
}

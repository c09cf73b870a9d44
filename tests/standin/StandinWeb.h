// The stand-in web server: static files of a folder over HTTP on loopback
// (update files under /download/, head images under /upload/, the topic line)
// and the web API that the client's pages call, for tests and local runs. A
// test tool, not part of the product.
//
// API handlers are registered per method and path and answer from the same
// in-memory data as the stand-in service (when one is attached), so that a
// change made through a page shows in the client and the other way round.
// A registered path takes precedence over a file of the same name.
//
// A test can make any path (API or file) fail on purpose (SetFault) and can
// read back what was asked (Requests).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace standin {

class StandinService;

struct WebRequest {
    std::string method;  // "GET", "HEAD" or "POST"
    std::string path;    // without the query
    // Query fields and form-encoded body fields, decoded (UTF-8 text as
    // sent). A field given twice keeps its first value.
    std::map<std::string, std::string> params;
    // File fields of a multipart form: field name -> the file's bytes. The
    // field's entry in `params` holds the file's name; the form's other
    // fields are in `params` as usual.
    std::map<std::string, std::string> files;

    // The field, or `fallback` when it is missing.
    std::string Param(const std::string& name, const std::string& fallback = std::string()) const;
};

struct WebReply {
    int status = 200;
    std::string body;
    std::string contentType = "text/plain; charset=utf-8";

    static WebReply Json(std::string body);   // application/json
    static WebReply Number(long long value);  // a bare number as text
    static WebReply Text(std::string body);   // plain text
};

// How one path misbehaves.
struct WebFault {
    enum Kind {
        kStatus,     // answer with this status (code) and an empty body
        kTimeout,    // wait delayMs before answering as usual
        kMalformed,  // answer as usual but with this body (body) instead
        kUnsized,    // answer 200 with these bytes (body) and no length: the body
                     // ends where the connection closes, so a cut cannot be seen
        kChunkedCut, // answer 200 with these bytes (body) in chunks, then close
                     // without the last chunk
    };
    Kind kind = kStatus;
    int code = 500;
    int delayMs = 0;
    std::string body;

    static WebFault Status(int code);
    static WebFault Timeout(int delayMs);
    static WebFault Malformed(std::string body);
    static WebFault Unsized(std::string body);
    static WebFault ChunkedCut(std::string body);
};

class StandinWeb {
public:
    using Handler = std::function<WebReply(const WebRequest&)>;

    // `service`, when given, is the data the API answers from; it must
    // outlive the server.
    explicit StandinWeb(StandinService* service = nullptr);
    ~StandinWeb();
    StandinWeb(const StandinWeb&) = delete;
    StandinWeb& operator=(const StandinWeb&) = delete;

    // Serves the files below `root` on 127.0.0.1:`port` (0 picks a free
    // port). Returns the port, or -1.
    int Start(int port, const std::string& root);
    void Stop();
    // "http://127.0.0.1:PORT"
    std::string BaseUrl() const;

    StandinService* Service() const;

    // Registers (or replaces) the handler of `method` ("GET" or "POST";
    // a GET handler also answers HEAD) and `path`. May be called while
    // serving.
    void Handle(const std::string& method, const std::string& path, Handler handler);

    // Faults per path (without the query), for API paths and files alike.
    void SetFault(const std::string& path, const WebFault& fault);
    void ClearFaults();

    // A server that accepts and never answers: every request whose path
    // begins with `prefix` ("/" for all of them) is held without a byte of
    // answer until Unstall (then it is answered as usual) or Stop.
    void Stall(const std::string& prefix);
    void Unstall();

    // What was asked, in order of arrival.
    std::vector<WebRequest> Requests() const;
    void ClearRequests();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A loopback port where nothing listens, kept bound for as long as the
// object lives so that no other server takes it: every connection to it is
// refused at once.
class RefusingPort {
public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;

    int Port() const { return port_; }
    // "http://127.0.0.1:PORT"
    std::string BaseUrl() const;

private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace standin

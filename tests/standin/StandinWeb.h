// The stand-in web server: static files of a folder over HTTP on loopback
// (update files under /download/, head images under /upload/, the topic line),
// for tests and local runs. A test tool, not part of the product.
#pragma once

#include <memory>
#include <string>

namespace standin {

class StandinWeb {
public:
    StandinWeb();
    ~StandinWeb();
    StandinWeb(const StandinWeb&) = delete;
    StandinWeb& operator=(const StandinWeb&) = delete;

    // Serves the files below `root` on 127.0.0.1:`port` (0 picks a free
    // port). Returns the port, or -1.
    int Start(int port, const std::string& root);
    void Stop();
    // "http://127.0.0.1:PORT"
    std::string BaseUrl() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace standin

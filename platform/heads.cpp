#include "platform/heads.h"

#include "platform/config.h"
#include "platform/uiapp.h"

#include <curl/curl.h>

#include <atomic>
#include <ctime>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>

namespace lumheads {

namespace {

// Transfers under way at once: enough to keep a slow server busy, few enough
// to leave the server's other clients (the pages) room.
const int kTransfers = 4;
// Seconds to wait for a connection, for a transfer that moves no byte, and
// for one head in all.
const long kConnectTimeout = 10;
const long kStallTime = 30;
const long kHeadTimeout = 60;
// A head is a small picture; a longer answer is cut and counts as no picture.
const size_t kMaxHeadBytes = 2u << 20;
// Heads handed to the UI thread in one turn of its loop.
const size_t kBatch = 200;

using Key = std::pair<bool, int>;  // (group, id)

// A head as it arrived on the loader thread.
struct Arrived {
    Key key;
    int status = 0;
    std::unique_ptr<Gdiplus::Bitmap> image;
};

// What the UI thread knows of one head this session.
struct Entry {
    bool known = false;   // arrived (else on its way)
    bool again = false;   // fetch anew once the fetch under way is done
    Head head;
    std::unique_ptr<Gdiplus::Bitmap> image;
};

struct Transfer {
    Key key;
    CURL* easy = nullptr;
    std::string body;
    bool tooLong = false;
};

struct Loader {
    // Shared with the loader thread.
    std::mutex lock;
    std::deque<Key> queue;       // asked for, not yet started
    std::deque<Arrived> arrived; // done, not yet handed to the UI thread
    bool deliveryQueued = false; // a hand-over is queued on the UI thread
    bool stopping = false;
    CURLM* multi = nullptr;      // while the thread runs
    std::thread thread;
    std::atomic<int> pending{0};

    // UI thread only.
    std::map<Key, Entry> entries;
    std::map<int, Listener> listeners;
    int nextCookie = 1;
    bool draining = false;  // StopHeadLoader hands over the last heads
};

// Never destroyed: modules may still remove their listeners while the
// process ends.
Loader& loader()
{
    static Loader* l = new Loader;
    return *l;
}

void globalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t writeBody(char* data, size_t size, size_t n, void* user)
{
    auto* t = static_cast<Transfer*>(user);
    if (t->body.size() + size * n > kMaxHeadBytes) {
        t->tooLong = true;
        return 0;
    }
    t->body.append(data, size * n);
    return size * n;
}

// The picture of an answer drawn at 40 x 40, or null when it is none.
std::unique_ptr<Gdiplus::Bitmap> decode(const std::string& bytes)
{
    if (bytes.empty()) return nullptr;
    Gdiplus::Bitmap decoded(bytes.data(), bytes.size());
    if (decoded.GetLastStatus() != Gdiplus::Ok || decoded.GetWidth() == 0 || decoded.GetHeight() == 0) return nullptr;
    auto head = std::make_unique<Gdiplus::Bitmap>(40, 40, Gdiplus::PixelFormat32bppARGB);
    if (head->GetLastStatus() != Gdiplus::Ok) return nullptr;
    Gdiplus::Graphics g(head.get());
    if (g.DrawImage(&decoded, Gdiplus::Rect(0, 0, 40, 40), 0, 0, static_cast<Gdiplus::INT>(decoded.GetWidth()),
                    static_cast<Gdiplus::INT>(decoded.GetHeight()), Gdiplus::UnitPixel) != Gdiplus::Ok)
        return nullptr;
    return head;
}

void handOver();

// Loader thread: a finished head goes to the UI thread; one hand-over is
// queued for however many arrive before it runs.
void arrive(Loader& l, Arrived a)
{
    bool queue = false;
    {
        std::lock_guard<std::mutex> g(l.lock);
        l.arrived.push_back(std::move(a));
        queue = !l.deliveryQueued;
        l.deliveryQueued = true;
    }
    if (queue) lumui::QueueOnUiThread(handOver);
}

Transfer* start(CURLM* multi, const Key& key, const CString& base, const char* stamp)
{
    auto* t = new Transfer;
    t->key = key;
    t->easy = curl_easy_init();
    if (!t->easy) {
        delete t;
        return nullptr;
    }
    CString url;
    url.Format(key.first ? "%s/upload/group/%d.png?r=%s" : "%s/upload/face/%d.png?r=%s", base.GetString(), key.second,
               stamp);
    CURL* c = t->easy;
    curl_easy_setopt(c, CURLOPT_URL, url.GetString());
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 3L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kConnectTimeout);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, kStallTime);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, kHeadTimeout);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, t);
    curl_easy_setopt(c, CURLOPT_PRIVATE, t);
#if LIBCURL_VERSION_NUM >= 0x075700
    // Ending a transfer never waits for a name lookup under way.
    curl_easy_setopt(c, CURLOPT_QUICK_EXIT, 1L);
#endif
    curl_multi_add_handle(multi, c);
    return t;
}

void finish(CURLM* multi, Transfer* t)
{
    curl_multi_remove_handle(multi, t->easy);
    curl_easy_cleanup(t->easy);
    delete t;
}

void run(Loader* l)
{
    CURLM* multi = l->multi;
    std::set<Transfer*> active;
    for (;;) {
        std::deque<Key> next;
        {
            std::lock_guard<std::mutex> g(l->lock);
            if (l->stopping) break;
            while (active.size() + next.size() < static_cast<size_t>(kTransfers) && !l->queue.empty()) {
                next.push_back(l->queue.front());
                l->queue.pop_front();
            }
        }
        if (!next.empty()) {
            const CString base = GetEndpointConfig().webBaseUrl;
            char stamp[16] = "";
            const time_t now = time(nullptr);
            struct tm local;
            localtime_r(&now, &local);
            strftime(stamp, sizeof stamp, "%H%M%S", &local);
            for (const Key& key : next) {
                if (Transfer* t = start(multi, key, base, stamp)) active.insert(t);
                else arrive(*l, Arrived{key, 0, nullptr});
            }
        }
        int running = 0;
        curl_multi_perform(multi, &running);
        int left = 0;
        bool finished = false;
        while (CURLMsg* m = curl_multi_info_read(multi, &left)) {
            if (m->msg != CURLMSG_DONE) continue;
            Transfer* t = nullptr;
            curl_easy_getinfo(m->easy_handle, CURLINFO_PRIVATE, reinterpret_cast<char**>(&t));
            if (!t) continue;
            long status = 0;
            curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &status);
            Arrived a{t->key, static_cast<int>(status), nullptr};
            if (m->data.result == CURLE_OK && status >= 200 && status <= 299 && !t->tooLong) a.image = decode(t->body);
            active.erase(t);
            finish(multi, t);
            arrive(*l, std::move(a));
            finished = true;
        }
        // A place came free: the next heads start at once.
        if (finished) continue;
        curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
    // Stopped: whatever is under way ends here, without waiting for a server.
    for (Transfer* t : active) finish(multi, t);
}

// Ends the thread and its transfers (UI thread, or the process's end).
void stopThread(Loader& l)
{
    if (!l.thread.joinable()) return;
    {
        std::lock_guard<std::mutex> g(l.lock);
        l.stopping = true;
    }
    curl_multi_wakeup(l.multi);
    l.thread.join();
    curl_multi_cleanup(l.multi);
    l.multi = nullptr;
    std::lock_guard<std::mutex> g(l.lock);
    l.stopping = false;
}

// The loader thread's end at the process's end; nothing is handed over then.
struct EndAtExit {
    ~EndAtExit() { stopThread(loader()); }
} g_endAtExit;

void queueFetch(Loader& l, const Key& key)
{
    if (!l.thread.joinable()) {
        globalInit();
        l.multi = curl_multi_init();
        if (!l.multi) return;
        curl_multi_setopt(l.multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, static_cast<long>(kTransfers));
        curl_multi_setopt(l.multi, CURLMOPT_MAXCONNECTS, static_cast<long>(kTransfers));
        l.thread = std::thread(run, &l);
    }
    ++l.pending;
    bool wake = false;
    {
        std::lock_guard<std::mutex> g(l.lock);
        // A queue that holds heads already is being worked through: the
        // loader takes the next one when a transfer ends.
        wake = l.queue.empty();
        l.queue.push_back(key);
    }
    if (wake) curl_multi_wakeup(l.multi);
}

// Takes arrived heads into the session's heads and tells the listeners.
void apply(Loader& l, std::deque<Arrived>& batch)
{
    std::vector<const Head*> heads;
    std::vector<Key> again;
    for (Arrived& a : batch) {
        Entry& e = l.entries[a.key];
        e.known = true;
        e.image = std::move(a.image);
        e.head.group = a.key.first;
        e.head.id = a.key.second;
        e.head.status = a.status;
        e.head.image = e.image.get();
        if (l.pending > 0) --l.pending;
        heads.push_back(&e.head);
        if (e.again) {
            e.again = false;
            again.push_back(a.key);
        }
    }
    // A listener may add or remove listeners while it runs.
    const std::map<int, Listener> listeners = l.listeners;
    for (const auto& entry : listeners)
        if (l.listeners.count(entry.first) && entry.second) entry.second(heads);
    if (l.draining) return;
    for (const Key& key : again) {
        auto it = l.entries.find(key);
        if (it != l.entries.end() && it->second.known) {
            it->second.known = false;
            queueFetch(l, key);
        }
    }
}

// UI thread: one batch of the arrived heads; the rest in a later turn of the
// loop, so that painting and input come in between.
void handOver()
{
    Loader& l = loader();
    std::deque<Arrived> batch;
    bool more = false;
    {
        std::lock_guard<std::mutex> g(l.lock);
        while (!l.arrived.empty() && batch.size() < kBatch) {
            batch.push_back(std::move(l.arrived.front()));
            l.arrived.pop_front();
        }
        more = !l.arrived.empty();
        if (!more) l.deliveryQueued = false;
    }
    if (more) lumui::QueueOnUiThread(handOver);
    if (!batch.empty()) apply(l, batch);
}

}  // namespace

void RequestHead(bool group, int id, bool again)
{
    Loader& l = loader();
    if (id < 1 || l.draining) return;
    const Key key(group, id);
    auto it = l.entries.find(key);
    if (it != l.entries.end()) {
        Entry& e = it->second;
        if (!e.known) {
            // On its way: once more after it, when asked anew.
            if (again) e.again = true;
            return;
        }
        if (!again) return;
        e.known = false;
    } else {
        l.entries[key];
    }
    queueFetch(l, key);
}

const Head* FindHead(bool group, int id)
{
    Loader& l = loader();
    auto it = l.entries.find(Key(group, id));
    return it != l.entries.end() && it->second.known ? &it->second.head : nullptr;
}

int AddHeadListener(Listener listener)
{
    Loader& l = loader();
    const int cookie = l.nextCookie++;
    l.listeners[cookie] = std::move(listener);
    return cookie;
}

void RemoveHeadListener(int cookie)
{
    loader().listeners.erase(cookie);
}

void ForgetHeads()
{
    Loader& l = loader();
    for (auto it = l.entries.begin(); it != l.entries.end();) {
        if (it->second.known) it = l.entries.erase(it);
        else ++it;
    }
}

void StopHeadLoader()
{
    Loader& l = loader();
    stopThread(l);
    std::deque<Arrived> rest;
    {
        std::lock_guard<std::mutex> g(l.lock);
        rest.swap(l.arrived);
        l.queue.clear();
        l.deliveryQueued = false;
    }
    // What arrived before the stop is not lost: the listeners get it now.
    l.draining = true;
    while (!rest.empty()) {
        std::deque<Arrived> batch;
        while (!rest.empty() && batch.size() < kBatch) {
            batch.push_back(std::move(rest.front()));
            rest.pop_front();
        }
        apply(l, batch);
    }
    l.draining = false;
    l.entries.clear();
    l.pending = 0;
}

int PendingHeads()
{
    return loader().pending.load();
}

int ArrivedHeads()
{
    Loader& l = loader();
    std::lock_guard<std::mutex> g(l.lock);
    return static_cast<int>(l.arrived.size());
}

}  // namespace lumheads

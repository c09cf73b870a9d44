#include "Lum/transfer/PeerTransfer.h"

#include "Common/Common.h"
#include "Common/HtmlText.h"
#include "Lum/chat/DlgChatMsgList.h"
#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/chat/KivDlgChat.h"
#include "Lum/KivMessages.h"
#include "platform/config.h"
#include "platform/files.h"
#include "platform/uiapp.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <vector>

namespace {

// ------------------------------------------------------------ shared state

std::mutex g_mutex;
std::condition_variable g_threadsDone;
int g_threads = 0;
std::atomic<bool> g_stopping{false};
std::set<SOCKET> g_sockets;  // sockets a stop must wake
std::atomic<int> g_served{0};  // peers the file server is serving

struct Offer {
    int peerId;
    CString fileId;
    CString path;
};
std::vector<Offer> g_offers;
std::set<std::pair<int, std::string>> g_pictures;  // (peer, name)
std::map<int, std::pair<CString, int>> g_addresses;
std::map<int, std::shared_ptr<CPeerLink>> g_paneLinks;  // by contact id
std::unique_ptr<CPeerLink> g_mainLink;

const int kMaxCommand = 64 * 1024;  // a command longer than this is hostile

bool Stopping()
{
    return g_stopping.load();
}

void Track(SOCKET s)
{
    if (s == INVALID_SOCKET) return;
    std::lock_guard<std::mutex> lock(g_mutex);
    g_sockets.insert(s);
    if (g_stopping) ShutdownSocket(s);
}

void Untrack(SOCKET s)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_sockets.erase(s);
}

void CloseTracked(SOCKET& s)
{
    if (s == INVALID_SOCKET) return;
    Untrack(s);
    closesocket(s);
    s = INVALID_SOCKET;
}

struct ThreadBody {
    std::function<void()> run;
};

UINT RunThread(LPVOID param)
{
    std::unique_ptr<ThreadBody> body(static_cast<ThreadBody*>(param));
    try {
        body->run();
    } catch (...) {
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    --g_threads;
    g_threadsDone.notify_all();
    return 0;
}

// Every transfer thread is counted, so that a stop can wait for all of them.
bool StartThread(std::function<void()> run)
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_stopping) return false;
        ++g_threads;
    }
    auto* body = new ThreadBody{std::move(run)};
    if (!AfxBeginThread(RunThread, body)) {
        delete body;
        std::lock_guard<std::mutex> lock(g_mutex);
        --g_threads;
        return false;
    }
    return true;
}

// Sleeps in small steps, ending early on a stop. False when stopped.
bool PauseMs(DWORD ms)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (Stopping()) return false;
        Sleep(20);
    }
    return !Stopping();
}

CString Decimal(long long value)
{
    CString text;
    text.Format("%lld", value);
    return text;
}

int AttrInt(const XMLNode& node, const char* name, int fallback = 0)
{
    const char* value = node.getAttribute(name);
    return value ? std::atoi(value) : fallback;
}

// "<q cmd='N'><name attrs...>text</name></q>", every value escaped.
CString Command(int cmd, const char* child, const std::vector<std::pair<const char*, CString>>& attrs,
                const CString* text)
{
    XMLNode q = XMLNode::createXMLTopNode("q");
    q.addAttribute("cmd", Decimal(cmd));
    XMLNode c = q.addChild(child);
    for (const auto& a : attrs) c.addAttribute(a.first, a.second);
    if (text) c.addText(*text);
    char* out = q.createXMLString(0);
    CString result = out ? out : "";
    free(out);
    return result;
}

// Takes one complete command ("...</q>") from the front of `buffer`.
bool TakeCommand(std::string& buffer, std::string* command)
{
    const size_t end = buffer.find("</q>");
    if (end == std::string::npos) return false;
    *command = buffer.substr(0, end + 4);
    buffer.erase(0, end + 4);
    return true;
}

// Reads until one complete command arrived; false on failure or time-out.
bool ReceiveCommand(SOCKET s, std::string& buffer, std::string* command)
{
    char block[5000];
    while (!TakeCommand(buffer, command)) {
        if (buffer.size() > static_cast<size_t>(kMaxCommand)) return false;
        const int n = SocketRecv(s, block, sizeof block);
        if (n <= 0) return false;
        buffer.append(block, static_cast<size_t>(n));
    }
    return true;
}

unsigned long long FileSize(const CString& path)
{
    struct stat st;
    if (::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    return static_cast<unsigned long long>(st.st_size);
}

bool IsRegularFile(const CString& path)
{
    struct stat st;
    return ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

CString LastComponent(const CString& path)
{
    const int slash = std::max(path.ReverseFind('/'), path.ReverseFind('\\'));
    return slash < 0 ? path : path.Mid(slash + 1);
}

// ------------------------------------------------------------ file server

// Whether a request names something this user offered to that peer; the
// path to read goes to `path`.
bool Allowed(int userid, const CString& text, const CString& fileId, bool withId, CString* path)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (userid > 0) {
        for (const Offer& o : g_offers)
            if (o.peerId == userid && o.path == text && (!withId || o.fileId == fileId)) {
                *path = o.path;
                return true;
            }
        return false;
    }
    // A chat picture: a bare name in the files folder, sent to that peer.
    // The requester of a picture does not name itself, so any peer a
    // picture of that name was sent to may fetch it.
    if (PeerSafeName(text) != text) return false;
    for (const auto& p : g_pictures)
        if (p.second == text.str()) {
            *path = GetPeerContext().filesFolder() + text;
            return true;
        }
    return false;
}

// Sends the file, reporting progress to the main window. True when every
// byte went.
bool ServeFile(SOCKET s, const CString& path, const PeerTransferRecord& record)
{
    FILE* f = fopen(path, "rb");
    if (!f) return false;
    const unsigned long long size = FileSize(path);
    unsigned long long remaining = size;
    std::vector<char> block(static_cast<size_t>(std::max(GetPeerTimings().blockSize, 4096)));
    int lastPercent = -1;
    bool ok = true;
    while (remaining > 0) {
        if (Stopping()) {
            ok = false;
            break;
        }
        const size_t want = static_cast<size_t>(std::min<unsigned long long>(remaining, block.size()));
        const size_t got = fread(block.data(), 1, want, f);
        if (got == 0 || !SendAll(s, block.data(), static_cast<int>(got))) {
            ok = false;
            break;
        }
        remaining -= got;
        const int percent = size ? static_cast<int>((size - remaining) * 100 / size) : 100;
        if (percent != lastPercent) {
            lastPercent = percent;
            if (GetPeerContext().serveProgress) GetPeerContext().serveProgress(record, percent);
        }
    }
    fclose(f);
    return ok && remaining == 0;
}

void ServeConnection(SOCKET s)
{
    Track(s);
    // A peer that has nothing to ask goes soon; sending a file may stall up
    // to the transfer's limit.
    SetSocketTimeouts(s, GetPeerTimings().idleMs, GetPeerTimings().ioMs);
    std::string buffer, text;
    while (!Stopping() && ReceiveCommand(s, buffer, &text)) {
        XMLNode q = XMLNode::parseString(text.c_str(), "q");
        if (q.isEmpty() || !q.getAttribute("cmd")) continue;
        const int cmd = AttrInt(q, "cmd");
        if (cmd != 13 && cmd != 14) continue;
        XMLNode file = q.getChildNode("file");
        if (file.isEmpty() || !file.getAttribute("userid")) continue;
        const int userid = AttrInt(file, "userid");
        const CString name = file.getText() ? file.getText() : "";
        const CString fileId = file.getAttribute("id") ? file.getAttribute("id") : "";
        CString path;
        const bool allowed = Allowed(userid, name, fileId, cmd == 14, &path) && IsRegularFile(path);
        if (cmd == 13) {
            // Refused and missing files both answer 0, so the asker stops
            // at once and learns nothing about this machine's files.
            file.addAttribute("size", Decimal(static_cast<long long>(allowed ? FileSize(path) : 0)));
            char* out = q.createXMLString(0);
            const bool sent = out && SendAll(s, out, static_cast<int>(strlen(out)));
            free(out);
            if (!sent) break;
            continue;
        }
        if (!allowed) break;  // a request for a file that was not offered ends the connection
        PeerTransferRecord record;
        record.fileId = fileId;
        record.userId = userid;
        record.gid = AttrInt(file, "gid");
        const bool complete = ServeFile(s, path, record);
        if (userid > 0 && GetPeerContext().notice && !Stopping()) {
            const CString line = LastComponent(path) + (complete ? " 已经传输完成!" : " 传输失败!");
            GetPeerContext().notice(PeerNoticeCommand(userid, GetPeerContext().ownId(), 1, line));
        }
        if (!complete) break;
    }
    --g_served;
    CloseTracked(s);
}

// ------------------------------------------------------------ defaults

PeerContext DefaultContext()
{
    PeerContext c;
    c.ownId = OwnId;
    c.filesFolder = [] {
        CKivApp* app = GetKivApp();
        return app ? CString(app->GetSession().Now()->userFolder.c_str()) : CString();
    };
    c.rendezvous = [](CString* host, int* port) {
        const EndpointConfig config = GetEndpointConfig();
        *host = config.rendezvousHost;
        *port = config.rendezvousPort;
    };
    c.holeNotice = [](XMLNode& hole) {
        XMLNode q = XMLNode::createXMLTopNode("q");
        q.addChild(hole.deepCopy());
        CKivDlg* main = KivMainWindow();
        if (main && main->m_hWnd) ::SendMessage(main->m_hWnd, UM_PEER_ADDRESS, 0, reinterpret_cast<LPARAM>(&q));
    };
    c.notice = [](const CString& command) {
        CKivDlg* main = KivMainWindow();
        if (main && main->m_hWnd)
            ::SendMessage(main->m_hWnd, UM_PEER_NOTICE, reinterpret_cast<WPARAM>(command.GetString()), 0);
    };
    c.serveProgress = [](const PeerTransferRecord& record, int percent) {
        CKivDlg* main = KivMainWindow();
        if (main && main->m_hWnd)
            ::SendMessage(main->m_hWnd, UM_FILE_PROGRESS, reinterpret_cast<WPARAM>(&record), percent);
    };
    return c;
}

std::shared_ptr<CPeerLink> PaneLink(int contactId)
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        auto it = g_paneLinks.find(contactId);
        if (it != g_paneLinks.end()) return it->second;
    }
    auto made = std::make_shared<CPeerLink>();  // its socket is tracked under the lock
    std::lock_guard<std::mutex> lock(g_mutex);
    auto& link = g_paneLinks[contactId];
    if (!link) link = made;
    return link;
}

void Notice(int fromid, int gid, const CString& text)
{
    const PeerContext& c = GetPeerContext();
    if (c.notice) c.notice(PeerNoticeCommand(fromid, c.ownId(), gid, text));
}

}  // namespace

// ============================================================ settings, context

PeerTimings& GetPeerTimings()
{
    static PeerTimings timings;
    return timings;
}

PeerContext& GetPeerContext()
{
    static PeerContext context = DefaultContext();
    return context;
}

void ResetPeerContext()
{
    GetPeerContext() = DefaultContext();
}

// ============================================================ offers, names, addresses

void PeerOfferFile(int peerId, const CString& fileId, const CString& path)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_offers.push_back(Offer{peerId, fileId, path});
}

void PeerOfferPictures(int peerId, const CString& markup)
{
    // Pictures travel as "file:///" followed by their name in the files folder.
    const std::string text = markup.str();
    const std::string mark = "file:///";
    std::lock_guard<std::mutex> lock(g_mutex);
    for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + mark.size())) {
        const size_t start = at + mark.size();
        const size_t end = text.find_first_of("'\"<> ", start);
        // Names travel escaped as in a file address ("%20" for a blank, UTF-8
        // bytes escaped); the receiver asks for the name itself.
        const CString name(PercentDecode(text.substr(start, end == std::string::npos ? std::string::npos : end - start)).c_str());
        if (!name.IsEmpty() && PeerSafeName(name) == name) g_pictures.insert({peerId, name.str()});
    }
}

void PeerClearOffers()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_offers.clear();
    g_pictures.clear();
    g_addresses.clear();
}

CString PeerSafeName(const CString& remotePath)
{
    std::string name = LastComponent(remotePath).str();
    std::string safe;
    for (unsigned char ch : name)
        if (ch >= 0x20 && ch != 0x7F && ch != '/' && ch != '\\' && ch != ':') safe += static_cast<char>(ch);
    // Leading dots would hide the file or name a folder ("." and "..").
    const size_t first = safe.find_first_not_of('.');
    safe = first == std::string::npos ? std::string() : safe.substr(first);
    while (!safe.empty() && (safe.back() == ' ' || safe.back() == '.')) safe.pop_back();
    if (safe.size() > 200) safe = safe.substr(safe.size() - 200);
    return safe.empty() ? CString("file") : CString(safe.c_str());
}

CString PeerFreeName(const CString& folder, const CString& name)
{
    CString path = folder + name;
    for (int n = 1; PathFileExists(path); ++n) path.Format("%s(%d)%s", folder.GetString(), n, name.GetString());
    return path;
}

void PeerRememberAddress(int contactId, const CString& address, int port)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_addresses[contactId] = {address, port};
}

bool PeerKnownAddress(int contactId, CString* address, int* port)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_addresses.find(contactId);
    if (it == g_addresses.end() || it->second.first.IsEmpty() || it->second.second <= 0) return false;
    *address = it->second.first;
    *port = it->second.second;
    return true;
}

CString PeerOfferMarkup(const CString& fileId, const CString& path)
{
    XMLNode file = XMLNode::createXMLTopNode("file");
    file.addAttribute("id", fileId);
    file.addText(path);
    char* out = file.createXMLString(0);
    CString result = out ? out : "";
    free(out);
    return result;
}

CString PeerNoticeCommand(int fromid, int toid, int gid, const CString& text)
{
    return Command(9, "msg", {{"fromid", Decimal(fromid)}, {"toid", Decimal(toid)}, {"gid", Decimal(gid)}}, &text);
}

// ============================================================ CPeerLink

CPeerLink::CPeerLink(HANDLE stopEvent) : m_hStopEvent(stopEvent)
{
    m_socket = TcpSocket();
    Track(m_socket);
}

CPeerLink::~CPeerLink()
{
    if (m_hStopEvent) SetEvent(m_hStopEvent);
    StopListener();
    CloseTracked(m_socket);
}

void CPeerLink::ResetSocket()
{
    CloseTracked(m_socket);
    m_socket = TcpSocket();
    Track(m_socket);
    m_bBound = 0;
}

int CPeerLink::Rendezvous(int fromid, int toid, int gid, int cmd)
{
    CString host;
    int port = 0;
    if (GetPeerContext().rendezvous) GetPeerContext().rendezvous(&host, &port);
    if (host.IsEmpty() || port <= 0) return 0;
    SOCKET s = TcpSocket();
    if (s == INVALID_SOCKET) return 0;
    Track(s);
    bool ok = SetReuseAddr(s);
    if (ok && m_nLocalPort && !BindPort(s, m_nLocalPort)) {
        // Another program took the learned port while nothing of the link
        // held it: the request goes out from a new port, which the link
        // learns (and peers are told about) in its place.
        m_nLocalPort = 0;
    }
    ok = ok && ConnectSocket(s, host, port, GetPeerTimings().connectMs);
    if (ok && !m_nLocalPort) m_nLocalPort = SocketLocalPort(s);
    const CString text =
        Command(cmd, "hole", {{"fromid", Decimal(fromid)}, {"gid", Decimal(gid)}, {"toid", Decimal(toid)}}, nullptr);
    ok = ok && SendAll(s, text.GetString(), text.GetLength());
    if (ok) {
        // The server may answer with the peer's address while the socket is open.
        SetSocketTimeouts(s, GetPeerTimings().rendezvousWaitMs, GetPeerTimings().ioMs);
        using std::chrono::steady_clock;
        const auto until = steady_clock::now() + std::chrono::milliseconds(GetPeerTimings().rendezvousWaitMs);
        std::string buffer, answer;
        bool serverClosed = false;
        while (!Stopping() && steady_clock::now() < until) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - steady_clock::now());
            if (!WaitReadable(s, static_cast<DWORD>(std::max<long long>(left.count(), 0)))) break;
            if (!ReceiveCommand(s, buffer, &answer)) {
                serverClosed = true;
                break;
            }
            XMLNode q = XMLNode::parseString(answer.c_str(), "q");
            XMLNode hole = q.isEmpty() ? XMLNode::emptyNode() : q.getChildNode("hole");
            if (hole.isEmpty() || AttrInt(hole, "toid") != fromid || !hole.getAttribute("fromip")) continue;
            PeerRememberAddress(AttrInt(hole, "fromid"), hole.getAttribute("fromip"), AttrInt(hole, "fromport"));
            if (GetPeerContext().holeNotice) GetPeerContext().holeNotice(hole);
        }
        // The server still holds its side (it keeps connections, or has not
        // come round to closing yet): a close from here first would tie the
        // local port to the server's address for a while, and the next
        // request from the port, which peers are told about, could not
        // connect. The server has had the whole wait to read the command.
        if (!serverClosed) SetCloseResets(s);
    }
    CloseTracked(s);
    return ok ? 1 : 0;
}

int CPeerLink::ConnectPeer(const CString& address, int port)
{
    if (!m_nLocalPort || address.IsEmpty() || port <= 0) return 0;
    // A socket connects once: every connection gets a fresh one on the local port.
    ResetSocket();
    if (m_socket == INVALID_SOCKET || !SetReuseAddr(m_socket)) return 0;
    // The local port may be taken by another program by now, or still be
    // tied to an earlier connection to this very peer (closing takes a
    // while): then any port will do, as the path to the peer is open already.
    const bool bound = BindPort(m_socket, m_nLocalPort);
    if (bound) m_bBound = 1;
    if (!bound || !ConnectSocket(m_socket, address, port, GetPeerTimings().connectMs)) {
        if (WSAGetLastError() != WSAEADDRNOTAVAIL && WSAGetLastError() != WSAEADDRINUSE) return 0;
        ResetSocket();
        if (m_socket == INVALID_SOCKET || !ConnectSocket(m_socket, address, port, GetPeerTimings().connectMs)) return 0;
    }
    SetSocketTimeouts(m_socket, GetPeerTimings().ioMs, GetPeerTimings().ioMs);
    return 1;
}

unsigned long long CPeerLink::RequestSize(const CString& path, int userid)
{
    const CString text = Command(13, "file", {{"userid", Decimal(userid)}}, &path);
    std::string buffer, answer;
    if (!SendAll(m_socket, text.GetString(), text.GetLength()) || !ReceiveCommand(m_socket, buffer, &answer)) {
        ResetSocket();
        return 0;
    }
    XMLNode q = XMLNode::parseString(answer.c_str(), "q");
    XMLNode file = q.isEmpty() ? XMLNode::emptyNode() : q.getChildNode("file");
    const char* size = file.isEmpty() ? nullptr : file.getAttribute("size");
    return size ? std::strtoull(size, nullptr, 10) : 0;
}

int CPeerLink::RequestFile(const CString& fileId, int userid, int gid, const CString& remotePath,
                           const CString& folder, HWND pane, unsigned long long size, CString* savedAs)
{
    const CString text = Command(14, "file", {{"id", fileId}, {"userid", Decimal(userid)}, {"gid", Decimal(gid)}},
                                 &remotePath);
    if (!SendAll(m_socket, text.GetString(), text.GetLength())) return 0;
    const CString name = PeerSafeName(remotePath);
    // The bytes go to a temporary name first: a broken transfer never
    // leaves a partial file under the final name.
    CString temp;
    FILE* f = nullptr;
    for (int n = 0; !f && n < 1000; ++n) {
        temp.Format("%s.%s.%d.part", folder.GetString(), name.GetString(), n);
        f = fopen(temp, "wbx");
    }
    if (!f) return 0;
    std::vector<char> block(static_cast<size_t>(std::max(GetPeerTimings().blockSize, 5000)));
    unsigned long long received = 0;
    int lastPercent = -1;
    bool ok = true;
    while (received < size) {
        if (Stopping()) {
            ok = false;
            break;
        }
        const int want = static_cast<int>(std::min<unsigned long long>(size - received, block.size()));
        const int n = SocketRecv(m_socket, block.data(), want);
        if (n <= 0 || fwrite(block.data(), 1, static_cast<size_t>(n), f) != static_cast<size_t>(n)) {
            ok = false;
            break;
        }
        received += static_cast<unsigned long long>(n);
        const int percent = static_cast<int>(received * 100 / size);
        if (pane && percent != lastPercent) {
            lastPercent = percent;
            CString id = fileId;
            ::SendMessage(pane, UM_FILE_PROGRESS, reinterpret_cast<WPARAM>(&id), percent);
        }
    }
    if (fclose(f) != 0) ok = false;
    if (!ok || received != size || FileSize(temp) != size) {
        DeleteFile(temp);
        return 0;
    }
    // The final name exists nowhere; should another file take it meanwhile,
    // the next free name is used (MoveFile never replaces a file).
    for (int tries = 0; tries < 1000; ++tries) {
        const CString target = PeerFreeName(folder, name);
        if (MoveFile(temp, target)) {
            if (savedAs) *savedAs = target;
            return 1;
        }
    }
    DeleteFile(temp);
    return 0;
}

UINT CPeerLink::ListenerThread(LPVOID param)
{
    auto* link = static_cast<CPeerLink*>(param);
    SOCKET listener = TcpSocket();
    Track(listener);
    const bool ok = listener != INVALID_SOCKET && SetReuseAddr(listener) && BindPort(listener, link->m_nLocalPort) &&
                    ListenSocket(listener, 5);
    while (ok && !Stopping() && (!link->m_hStopEvent || WaitForSingleObject(link->m_hStopEvent, 0) == WAIT_TIMEOUT)) {
        // A short wait for each connection, so the stop event is seen at once.
        SOCKET peer = AcceptSocket(listener, 10);
        if (peer == INVALID_SOCKET) continue;
        // A few peers at a time: more connections are closed at once, so
        // that nobody can tie up a thread per connection.
        if (g_served >= GetPeerTimings().maxServed) {
            closesocket(peer);
            continue;
        }
        ++g_served;
        if (!StartThread([peer] { ServeConnection(peer); })) {
            --g_served;
            closesocket(peer);
        }
    }
    CloseTracked(listener);
    SetEvent(link->m_hListenerDone);
    return 0;
}

bool CPeerLink::EnsureListener()
{
    if (m_bListening) return true;
    if (!m_nLocalPort || !m_hStopEvent) return false;
    if (!m_hListenerDone) m_hListenerDone = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    ResetEvent(m_hListenerDone);
    m_bListening = true;
    if (!StartThread([this] { ListenerThread(this); })) {
        m_bListening = false;
        return false;
    }
    return true;
}

void CPeerLink::StartListening(const CString& address, int port)
{
    if (!m_nLocalPort || address.IsEmpty() || port <= 0) return;
    // Connecting out from the local port opens the path towards the peer;
    // whether it connects does not matter.
    const unsigned short localPort = m_nLocalPort;
    StartThread([localPort, address, port] {
        CPeerLink punch;
        punch.m_nLocalPort = localPort;
        punch.ConnectPeer(address, port);
    });
    EnsureListener();
    PauseMs(GetPeerTimings().listenSettleMs);
}

void CPeerLink::StopListener()
{
    if (!m_bListening) {
        if (m_hListenerDone) CloseHandle(m_hListenerDone);
        m_hListenerDone = nullptr;
        return;
    }
    if (m_hStopEvent) SetEvent(m_hStopEvent);
    WaitForSingleObject(m_hListenerDone, 5000);
    m_bListening = false;
    CloseHandle(m_hListenerDone);
    m_hListenerDone = nullptr;
}

// ============================================================ the steps

CPeerLink* MainPeerLink()
{
    return g_mainLink.get();
}

int PeerServedCount()
{
    return g_served.load();
}

int PeerRunningThreads()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_threads;
}

void PeerTransferStart(HANDLE stopEvent)
{
    g_stopping = false;
    if (!g_mainLink) g_mainLink.reset(new CPeerLink(stopEvent));
    g_mainLink->m_hStopEvent = stopEvent;
    if (!CDlgChatMsgList::s_acceptFile) CDlgChatMsgList::s_acceptFile = PeerAcceptFile;
    if (!CKivDlgChatUser::s_startPeerTransfer)
        CKivDlgChatUser::s_startPeerTransfer = [](CDataUser* rec) {
            CString address;
            int port = 0;
            if (rec) PeerKnownAddress(rec->m_nId, &address, &port);
            PeerFetchPictures(rec, address, port);
        };
    if (!CKivDlgChatUser::s_peerAddressKnown)
        CKivDlgChatUser::s_peerAddressKnown = [](CDataUser* rec, const CString& address, int port) {
            if (!rec) return 0;
            PeerRememberAddress(rec->m_nId, address, port);
            PeerFetchPictures(rec, address, port);
            return 1;
        };
}

void PeerTransferStop()
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_stopping = true;
        // Blocked receives and sends return at once.
        for (SOCKET s : g_sockets) ShutdownSocket(s);
    }
    if (g_mainLink) g_mainLink->StopListener();
    // A thread may be waiting for the UI thread in a SendMessage: the UI
    // thread keeps handling those while it waits.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (PeerRunningThreads() > 0 && std::chrono::steady_clock::now() < until) {
        if (lumui::IsUiThread()) {
            lumui::Pump(5);
        } else {
            std::unique_lock<std::mutex> lock(g_mutex);
            g_threadsDone.wait_for(lock, std::chrono::milliseconds(10), [] { return g_threads == 0; });
        }
    }
    g_mainLink.reset();
    std::map<int, std::shared_ptr<CPeerLink>> links;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        links.swap(g_paneLinks);
    }
}

void PeerAcceptFile(CDlgChatMsgList* pane, const CString& fileId, const CString& filePath, int groupId)
{
    if (!pane || !pane->m_pUser) return;
    const CString folder = CCommon::ShowSelectPathDlg("请选择您要保存文件的路径");
    if (folder.IsEmpty()) {
        AfxMessageBox("无效的目录");
        return;
    }
    PeerFetchOffered(pane->m_pUser->m_nId, pane->m_pUser->m_nGroupId, pane->m_hWnd, fileId, filePath, folder,
                     pane->m_strPeerAddr, pane->m_nPeerPort, groupId);
}

void PeerFetchOffered(int contactId, int listId, HWND pane, const CString& fileId, const CString& remotePath,
                      const CString& folder, const CString& knownAddress, int knownPort, int offerGid)
{
    if (!knownAddress.IsEmpty() && knownPort > 0) PeerRememberAddress(contactId, knownAddress, knownPort);
    std::shared_ptr<CPeerLink> link = PaneLink(contactId);
    StartThread([=] {
        std::lock_guard<std::mutex> busy(link->m_busy);
        const int own = GetPeerContext().ownId();
        const CString name = PeerSafeName(remotePath);
        bool asked = false, done = false;
        for (int attempt = 0; attempt < GetPeerTimings().acceptTries && !done && !Stopping(); ++attempt) {
            if (attempt > 0 && !PauseMs(GetPeerTimings().acceptIntervalMs)) break;
            CString address;
            int port = 0;
            const bool known = PeerKnownAddress(contactId, &address, &port);
            if ((!known || !link->m_nLocalPort) && !asked) {
                asked = true;
                link->Rendezvous(own, contactId, listId, 11);
                if (!PeerKnownAddress(contactId, &address, &port)) continue;
            } else if (!known) {
                continue;
            }
            if (!link->ConnectPeer(address, port)) continue;
            const unsigned long long size = link->RequestSize(remotePath, own);
            // Size 0: refused or missing; asking again would not change it.
            if (size == 0) break;
            CString saved;
            if (link->RequestFile(fileId, own, offerGid > 0 ? offerGid : listId, remotePath, folder, pane, size,
                                  &saved)) {
                Notice(contactId, listId, name + " 已经传输完成！");
                return;
            }
            break;
        }
        if (!Stopping()) Notice(contactId, listId, name + " 传输失败!");
    });
}

void PeerHolePunch(int fromid, int toid, int gid, const CString& address, int port)
{
    StartThread([=] {
        CPeerLink* link = MainPeerLink();
        if (!link) return;
        std::lock_guard<std::mutex> busy(link->m_busy);
        link->Rendezvous(fromid, toid, gid, 12);
        link->StartListening(address, port);
    });
}

void PeerFileOffered(int peerId, int listId, const CString& fileId, const CString& path)
{
    PeerOfferFile(peerId, fileId, path);
    StartThread([=] {
        CPeerLink* link = MainPeerLink();
        if (!link) return;
        std::lock_guard<std::mutex> busy(link->m_busy);
        link->Rendezvous(GetPeerContext().ownId(), peerId, listId, 11);
        link->EnsureListener();
    });
}

void PeerFetchPictures(CDataUser* rec, const CString& address, int port)
{
    if (!rec) return;
    // The pictures to fetch (name and the folder it goes into) are copied
    // here; the thread works on the copy and never touches the record. A
    // name leaves the record when its picture arrived (the chat window's
    // notice), so a fetch that could not reach the peer yet is made again
    // when the peer's address comes.
    std::vector<std::pair<CString, CString>> pictures;
    EnterCriticalSection(&rec->m_cs);
    if (rec->m_pTransMap)
        for (const auto& item : *rec->m_pTransMap) pictures.push_back(item);
    LeaveCriticalSection(&rec->m_cs);
    if (pictures.empty()) return;
    const int contactId = rec->m_nId;
    const int listId = rec->m_nGroupId;
    // The window that shows the picture: the record's own for a friend or
    // stranger, the group's for a member.
    HWND chat = rec->m_dlgChat ? rec->m_dlgChat->m_hWnd : nullptr;
    if (listId >= 11)
        if (CKivDlg* main = KivMainWindow())
            if (CDataGroup* group = main->m_book.GroupOf(listId))
                chat = group->m_dlgChat ? group->m_dlgChat->m_hWnd : nullptr;
    CString knownAddress = address;
    int knownPort = port;
    if (knownAddress.IsEmpty() || knownPort <= 0) PeerKnownAddress(contactId, &knownAddress, &knownPort);
    std::shared_ptr<CPeerLink> link = PaneLink(contactId);
    StartThread([=] {
        std::lock_guard<std::mutex> busy(link->m_busy);
        const int own = GetPeerContext().ownId();
        const bool connected =
            !knownAddress.IsEmpty() && knownPort > 0 && link->ConnectPeer(knownAddress, knownPort) != 0;
        if (!connected) {
            // The server's answer, when it has one, reaches the chat window
            // with the peer's address, which starts the fetch again.
            if (!link->m_nLocalPort) link->Rendezvous(own, contactId, listId, 11);
            return;
        }
        for (const auto& picture : pictures) {
            const CString& name = picture.first;
            CString folder = picture.second;
            if (folder.IsEmpty()) folder = GetPeerContext().filesFolder();
            if (Stopping() || PeerSafeName(name) != name || folder.IsEmpty()) continue;
            if (!PathFileExists(folder + name)) {
                const unsigned long long size = link->RequestSize(name, 0);
                if (size == 0) continue;
                CString saved;
                if (!link->RequestFile(name, 0, listId, name, folder, nullptr, size, &saved)) continue;
                // The picture must carry its own name for the page to find it.
                if (saved != folder + name && !MoveFile(saved, folder + name)) continue;
            }
            if (chat) ::SendMessage(chat, UM_CHAT_NOTICE_TEXT, reinterpret_cast<WPARAM>(name.GetString()), 0);
        }
    });
}

void PeerPicturesSent(int peerId, int listId)
{
    // The same reachability as for an offered file: the peer fetches the
    // pictures from this client's file server.
    StartThread([=] {
        CPeerLink* link = MainPeerLink();
        if (!link) return;
        std::lock_guard<std::mutex> busy(link->m_busy);
        link->Rendezvous(GetPeerContext().ownId(), peerId, listId, 11);
        link->EnsureListener();
    });
}

// ============================================================ main window handlers

namespace {

CDlgChatMsgList* PaneOf(CDataUser* rec)
{
    if (!rec || !rec->m_dlgChat) return nullptr;
    auto* chat = dynamic_cast<CKivDlgChatUser*>(rec->m_dlgChat);
    return chat && chat->m_dlgMsgList.m_hWnd ? &chat->m_dlgMsgList : nullptr;
}

bool HoleAttributes(const XMLNode& hole)
{
    for (const char* name : {"fromid", "fromip", "fromport", "toid", "gid"})
        if (!hole.getAttribute(name)) return false;
    return true;
}

XMLNode HoleOf(LPARAM lParam)
{
    auto* node = reinterpret_cast<XMLNode*>(lParam);
    if (!node || node->isEmpty()) return XMLNode::emptyNode();
    if (node->getName() && std::string(node->getName()) == "hole") return *node;
    return node->getChildNode("hole");
}

}  // namespace

LRESULT CKivDlg::OnPeerHole(WPARAM, LPARAM lParam)
{
    XMLNode hole = HoleOf(lParam);
    if (hole.isEmpty() || !HoleAttributes(hole)) return 0;
    if (AttrInt(hole, "toid") != GetPeerContext().ownId()) return 0;
    PeerHolePunch(AttrInt(hole, "fromid"), AttrInt(hole, "toid"), AttrInt(hole, "gid"), hole.getAttribute("fromip"),
                  AttrInt(hole, "fromport"));
    return 0;
}

LRESULT CKivDlg::OnPeerAddress(WPARAM, LPARAM lParam)
{
    XMLNode hole = HoleOf(lParam);
    if (hole.isEmpty() || !HoleAttributes(hole)) return 0;
    const int port = AttrInt(hole, "fromport");
    if (port <= 0 || AttrInt(hole, "toid") != GetPeerContext().ownId()) return 0;
    const int fromid = AttrInt(hole, "fromid");
    const int gid = AttrInt(hole, "gid");
    const CString ip = hole.getAttribute("fromip");
    PeerRememberAddress(fromid, ip, port);
    if (gid >= 11) {
        CDataGroup* group = m_book.GroupOf(gid);
        if (!group || !group->m_dlgChat || !group->m_dlgChat->m_hWnd) return 0;
        ChatPeerAddress address;
        address.ipv4 = Ipv4FromText(ip);
        address.port = port;
        group->m_dlgChat->SendMessage(UM_PEER_ADDRESS, reinterpret_cast<WPARAM>(&address), fromid);
        return 1;
    }
    CDataUser* rec = m_book.PeerOf(fromid, gid);
    if (!rec || !rec->m_dlgChat || !rec->m_dlgChat->m_hWnd) return 0;
    return rec->m_dlgChat->SendMessage(UM_PEER_ADDRESS, reinterpret_cast<WPARAM>(ip.GetString()), port);
}

LRESULT CKivDlg::OnFileProgress(WPARAM wParam, LPARAM lParam)
{
    const auto* record = reinterpret_cast<const PeerTransferRecord*>(wParam);
    if (!record) return 0;
    CDlgChatMsgList* pane = PaneOf(m_book.PeerOf(record->userId, record->gid));
    if (!pane) return 0;
    CString id = record->fileId;
    pane->SendMessage(UM_FILE_PROGRESS, reinterpret_cast<WPARAM>(&id), lParam);
    return 0;
}

LRESULT CKivDlg::OnPeerNotice(WPARAM wParam, LPARAM)
{
    const char* text = reinterpret_cast<const char*>(wParam);
    if (!text) return 0;
    XMLNode q = XMLNode::parseString(text, "q");
    XMLNode msg = q.isEmpty() ? XMLNode::emptyNode() : q.getChildNode("msg");
    if (msg.isEmpty() || AttrInt(q, "cmd") != 9) return 0;
    CDlgChatMsgList* pane = PaneOf(m_book.PeerOf(AttrInt(msg, "fromid"), AttrInt(msg, "gid")));
    if (!pane) return 0;
    // The file name comes from a peer: it is shown as text, never as markup.
    CString line;
    line.Format("%s<br/>%s", CTime::GetCurrentTime().Format("%Y-%m-%d %H:%M:%S").GetString(),
                EscapeHtml(msg.getText() ? msg.getText() : "").GetString());
    pane->AppendHistoryLine(line);
    return 1;
}

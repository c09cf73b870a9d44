// Peer-to-peer file transfer. Files and chat pictures are not relayed by the
// service: the receiving client fetches them straight from the sending
// client over TCP, after both have asked the rendezvous server (Lum.ini,
// [Rendezvous]) to open a path between them. Every client runs a small file
// server on its learned local port that answers size and file requests.
//
// Commands are XML texts, a `q` element with a decimal `cmd` attribute
// around one child element:
//   9  completion notice (local, to the main window)
//      <q cmd='9'><msg fromid='' toid='' gid=''>text</msg></q>
//   11 request to reach toid, 12 answer to a hole notice (to the server)
//      <q cmd='11'><hole fromid='' gid='' toid=''/></q>
//   13 size request, answered with the same document plus `size`
//      <q cmd='13'><file userid=''>path or name</file></q>
//   14 file request, answered with the file's bytes
//      <q cmd='14'><file id='' userid='' gid=''>path or name</file></q>
// The server answers a request with the peer's `hole` element
// (fromid, fromip, fromport, toid, gid) once both sides have asked.
//
// What the file server sends: only files this user offered to the
// requesting peer (the offer's id, path and peer must match), and chat
// pictures (bare names in the files folder) sent to that peer. Everything
// else is answered with size 0 or the connection is closed.
// What the receiver writes: only inside the chosen folder, under a name that
// exists nowhere yet, first to a temporary name that is renamed once the
// whole size has arrived.
#pragma once

#include "Common/records/Data.h"
#include "Common/XMLNode.h"
#include "platform/CString.h"
#include "platform/socket.h"
#include "platform/threads.h"

#include <functional>
#include <mutex>

class CDlgChatMsgList;

// The wParam of UM_FILE_PROGRESS to the main window: the offer's file id,
// the requesting peer's user id and the group (list) id of its request.
struct PeerTransferRecord {
    CString fileId;
    int userId = 0;
    int gid = 0;
};

// Waits and limits of the transfer (tests shorten them).
struct PeerTimings {
    DWORD rendezvousWaitMs = 1000;  // kept open for the server's answer
    DWORD connectMs = 20000;        // peer connect
    DWORD ioMs = 30000;             // a stalled peer ends the transfer after this
    DWORD idleMs = 10000;           // a served peer that sends no command is dropped after this
    int maxServed = 8;              // peers served at once; more are turned away
    DWORD listenSettleMs = 3000;    // after starting to listen
    int acceptTries = 8;
    DWORD acceptIntervalMs = 2000;
    int blockSize = 64 * 1024;      // bytes per send and per receive
};
PeerTimings& GetPeerTimings();

// One transfer endpoint: a socket, its learned local port and, for the main
// window's object, the stop event and the listener.
class CPeerLink {
public:
    explicit CPeerLink(HANDLE stopEvent = nullptr);
    ~CPeerLink();
    CPeerLink(const CPeerLink&) = delete;
    CPeerLink& operator=(const CPeerLink&) = delete;

    // Sends command 11 or 12 to the rendezvous server from the local port
    // (learning it on first use) and hands a `hole` answer that arrives
    // within the wait to the hole handler. 1 when sent, else 0.
    int Rendezvous(int fromid, int toid, int gid, int cmd);
    // Connects to a peer from the local port. Requires a known local port.
    int ConnectPeer(const CString& address, int port);
    // Command 13 on the connected socket; the file's size, 0 when refused,
    // missing or on any failure (the socket is then made anew).
    unsigned long long RequestSize(const CString& path, int userid);
    // Command 14: receives the file into `folder` (ending with '/'), with
    // progress to `pane` (UM_FILE_PROGRESS) when given. 1 when the whole
    // file arrived; `savedAs` receives the path written.
    int RequestFile(const CString& fileId, int userid, int gid, const CString& remotePath, const CString& folder,
                    HWND pane, unsigned long long size, CString* savedAs = nullptr);
    // Opens a path towards a peer and starts the listener (main window's
    // object only). Nothing when the local port, address or port is missing.
    void StartListening(const CString& address, int port);
    // Starts the listener on the local port when it is not running yet.
    bool EnsureListener();
    // Sets the stop event and waits for the listener to end.
    void StopListener();

    // Held by a thread for a whole fetch: one transfer at a time per object.
    std::mutex m_busy;
    unsigned short m_nLocalPort = 0;
    int m_bBound = 0;
    SOCKET m_socket = INVALID_SOCKET;
    HANDLE m_hStopEvent = nullptr;

private:
    static UINT ListenerThread(LPVOID param);
    void ResetSocket();

    HANDLE m_hListenerDone = nullptr;
    bool m_bListening = false;
};

// How the transfer reaches the rest of the client. The defaults use the
// application object and the main window; tests replace them.
struct PeerContext {
    std::function<int()> ownId;
    std::function<CString()> filesFolder;
    std::function<void(CString* host, int* port)> rendezvous;
    // A `hole` element answered by the server (UM_PEER_ADDRESS to the main window).
    std::function<void(XMLNode& hole)> holeNotice;
    // A completion or failure notice (command 9 text) for the main window.
    std::function<void(const CString& command)> notice;
    // Serving progress (UM_FILE_PROGRESS to the main window).
    std::function<void(const PeerTransferRecord& record, int percent)> serveProgress;
};
PeerContext& GetPeerContext();
// The default context (application object, main window).
void ResetPeerContext();

// Offers: a file offered to a peer (its id and full path) and chat pictures
// (names in the files folder) sent to a peer.
void PeerOfferFile(int peerId, const CString& fileId, const CString& path);
void PeerOfferPictures(int peerId, const CString& markup);
void PeerClearOffers();

// The receiving side's name for a remote path: its last component, made
// safe for one folder ("file" when nothing usable is left).
CString PeerSafeName(const CString& remotePath);
// A name in `folder` that exists nowhere yet: folder + name, else
// folder + "(n)" + name for n = 1, 2, ...
CString PeerFreeName(const CString& folder, const CString& name);

// Peer addresses learned from the server's answers, by contact id.
void PeerRememberAddress(int contactId, const CString& address, int port);
bool PeerKnownAddress(int contactId, CString* address, int* port);

// The main window's transfer object (created by PeerTransferStart).
CPeerLink* MainPeerLink();
// Starts the transfer for the main window (its stop event) and fills the
// chat windows' hooks; PeerTransferStop sets the event, ends the listener,
// wakes every transfer thread and waits (bounded) until all have ended.
void PeerTransferStart(HANDLE stopEvent);
void PeerTransferStop();
// Transfer threads still running.
int PeerRunningThreads();
// Peers the file server is serving now.
int PeerServedCount();

// The steps the chat windows and the main window start.
// Accepting an offered file from a pane (asks for the folder first).
void PeerAcceptFile(CDlgChatMsgList* pane, const CString& fileId, const CString& filePath, int groupId);
// Fetching with the folder already chosen (the thread of the accept).
// `offerGid` is the group id the offer came with (the sender's list id for
// this user), sent with the file request so the sender finds the chat.
void PeerFetchOffered(int contactId, int listId, HWND pane, const CString& fileId, const CString& remotePath,
                      const CString& folder, const CString& knownAddress = CString(), int knownPort = 0,
                      int offerGid = 0);
// The hole notice's thread: command 12, then listening towards the peer.
void PeerHolePunch(int fromid, int toid, int gid, const CString& address, int port);
// A file was offered from a chat window: remember it and make sure this
// client can be reached (rendezvous request towards the peer, listener).
void PeerFileOffered(int peerId, int listId, const CString& fileId, const CString& path);
// Chat pictures of a record fetched from its peer (the record's pictures to
// fetch, each into its folder); the chat window that shows them is told of
// each picture that arrived (UM_CHAT_NOTICE_TEXT with its name).
// Without the peer's address (given, or learned before) the rendezvous
// server is asked for it, and its answer starts the fetch again.
void PeerFetchPictures(CDataUser* rec, const CString& address, int port);
// A line with pictures was sent to a peer (`listId` the peer's list id or
// the group id): this client becomes reachable for the peer's fetch.
void PeerPicturesSent(int peerId, int listId);

// The offer a chat line carries: <file id="...">full path</file>, the id and
// the path escaped, so that any file name arrives as it stands.
CString PeerOfferMarkup(const CString& fileId, const CString& path);

// The completion notice text of command 9.
CString PeerNoticeCommand(int fromid, int toid, int gid, const CString& text);

// Contact and group records.
//
// Every contact, remembered login account and group that the client shows,
// stores or passes between modules is one of these records. They carry what
// the lists draw (name, signature, 40x40 head image, status), the queue of
// messages that arrived while no chat window was open, and the open chat
// window. They write themselves to the local stores through the stores'
// operations and never talk to the service.
//
// A record belongs to whoever created it. It is duplicated only through
// FromUser, FromUserHead and FromGroup: member-wise copying would leave two
// owners of the head image, the members and the critical section.
#pragma once

#include "platform/afx.h"
#include "platform/gdiplus.h"
#include "platform/wnd.h"

#include <map>
#include <string>
#include <vector>

// The in-memory copy of a service message kept in a record's unread queue.
struct __StructMessage {
    int fromid = 0;
    int toid = 0;
    int gid = 0;
    std::string sendTime;
    std::string content;
    std::map<std::string, std::string> params;
    int msgType = 0;
};

class CData {
public:
    CData(const CData&) = delete;
    CData& operator=(const CData&) = delete;

    // Queues a copy of `msg` as unread. Returns 1.
    int AddMsgToUnreadNews(__StructMessage msg);
    void ClearUnreadNews();

    _bstr_t m_bstrName;
    _bstr_t m_bstrSign;
    CString m_strRTime;           // time stamp of the head image
    int m_nId = 0;                // user or group id; real ones are 1 or more
    int m_nFlag = 0;              // set by the client on records from the service lists
    int m_nUnreadCount = 0;
    std::vector<__StructMessage> m_vecUnread;  // oldest first
    int m_nAux = 0;
    int m_nIsGroup = 0;
    Gdiplus::Bitmap* m_imgHead = nullptr;      // owned, 40x40 ARGB
    CWnd* m_dlgChat = nullptr;                 // open chat window, not owned

protected:
    explicit CData(const char* sign) : m_bstrSign(sign) {}
    ~CData();
    // Copies the name (the id's text when `src` has none) and a non-empty signature.
    void CopyNameAndSign(const CData* src);
    // Replaces the head image by a deep copy of `src`.
    void CopyHead(const Gdiplus::Bitmap* src);
};

// The record's name as it is kept (a name read from a store still carries its
// trailing blank); empty for no record.
CString NameOf(const CData* record);

class CDataUser : public CData {
public:
    CDataUser();
    ~CDataUser();

    // Copies another user record (see the field notes in Data.cpp). Returns 1.
    int FromUser(const CDataUser* src);
    // Takes a deep copy of `src`'s head image when it has one. Returns 1.
    int FromUserHead(const CDataUser* src);
    // Writes the record through the store's InsertUser; returns its result.
    int Update(void* store);
    // Deletes the record's row through the store's DeleteUser and drops the head image.
    void Delete(void* store);
    // Downloads the head image into `dir`; 1 when an image was loaded.
    int UpdateHead(CString dir);
    // Stores one chat line of this contact in the history store; returns the
    // store's result (0 when the line was not stored).
    int UpdateMsgToHistory(CString tagmsg, CString msg, int type, CString rtime, void* store);

    CString m_strPhone;     // login account
    CString m_strPwd;       // stored password of a remembered account
    CString m_strCity;
    CString m_strRemark;    // friend remark, or the card in a group
    int m_nStatus = 0;      // UserStatus as last reported
    int m_nReserved1 = 0;
    int m_nReserved2 = 0;
    int m_nReserved3 = 0;
    int m_nGroupId = 0;     // 1 friends, 2 strangers, else the group the member belongs to
    int m_nMemberRole = 0;
    CString m_strExtra;
    int m_nExtra = 0;
    std::map<CString, CString>* m_pTransMap = nullptr;  // owned, filled by the client
    char* m_pTransBuffer = nullptr;                      // owned (new[]), filled by the client
    CRITICAL_SECTION m_cs;
};

class CDataGroup : public CData {
public:
    CDataGroup();
    ~CDataGroup();

    // Copies another group record with deep copies of its members. Returns 1.
    int FromGroup(CDataGroup* src);
    // Writes the group (and with withMembers 1 its members) to a contact
    // store; returns InsertGroup's result, or 0 when a member write failed.
    int Update(void* userStore, int withMembers);
    void Delete(void* userStore);
    int UpdateHead(CString dir);
    // Stores one line of the group's chat; returns the store's result.
    int UpdateMsgToHistory(int senderId, CString tagmsg, CString msg, int type, CString rtime, void* store);
    // Deletes every member record and empties the map.
    void ClearMembers();

    int m_nIsMaster = 0;
    int m_nStyle = 0;
    int m_nGroupType = 0;
    int m_nCapacity = 100;
    CString m_strGroupRTime;
    CString m_strClass;
    int m_nReserved = 0;      // copied by FromGroup
    int m_nClientFlag = 0;    // set by the client on groups from the group list
    std::map<int, CDataUser*> m_mapMembers;  // owned
};

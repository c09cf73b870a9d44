#include "Common/records/Data.h"

#include "Common/Common.h"
#include "Common/stores/FileDbMsg.h"
#include "Common/stores/FileDbUser.h"

#include <exception>

namespace {

const char* kUserSign = "这个人很神秘";
const char* kGroupSign = "群主很低调";

// A new ARGB bitmap of `src`'s size with `src` drawn at 0,0.
Gdiplus::Bitmap* copyBitmap(const Gdiplus::Bitmap* src)
{
    auto* copy = new Gdiplus::Bitmap(static_cast<int>(src->GetWidth()), static_cast<int>(src->GetHeight()),
                                     Gdiplus::PixelFormat32bppARGB);
    Gdiplus::Graphics g(copy);
    g.DrawImage(const_cast<Gdiplus::Bitmap*>(src), 0, 0);
    return copy;
}

// Draws a freshly downloaded 40x40 head into the record's image (made when
// missing). Returns the download result.
int downloadHead(Gdiplus::Bitmap*& head, int id, int isUser, const CString& dir)
{
    Gdiplus::Bitmap temp(40, 40, Gdiplus::PixelFormat32bppARGB);
    int result = CCommon::DownLoadHeaderImage(id, &temp, isUser, dir);
    if (result == 1) {
        if (!head) head = new Gdiplus::Bitmap(40, 40, Gdiplus::PixelFormat32bppARGB);
        Gdiplus::Graphics g(head);
        g.DrawImage(&temp, 0, 0);
    }
    return result;
}

}  // namespace

// ---------------------------------------------------------------- CData

CData::~CData()
{
    delete m_imgHead;
    m_imgHead = nullptr;
    if (m_dlgChat) {
        try {
            m_dlgChat->DestroyWindow();
        } catch (const std::exception& e) {
            CString text;
            text.Format("~CData delete m_dlgChat err:%s", e.what());
            AfxMessageBox(text);
        }
        m_dlgChat = nullptr;
    }
}

CString NameOf(const CData* record)
{
    return record ? CString(static_cast<const char*>(record->m_bstrName)) : CString();
}

int CData::AddMsgToUnreadNews(__StructMessage msg)
{
    ++m_nUnreadCount;
    m_vecUnread.push_back(std::move(msg));
    return 1;
}

void CData::ClearUnreadNews()
{
    m_vecUnread.clear();
    m_nUnreadCount = 0;
}

void CData::CopyNameAndSign(const CData* src)
{
    // An unnamed record shows its id; an empty signature keeps this one's.
    if (src->m_bstrName.length() == 0)
        m_bstrName = IdText(src->m_nId);
    else
        m_bstrName = src->m_bstrName;
    if (src->m_bstrSign.length() != 0) m_bstrSign = src->m_bstrSign;
}

void CData::CopyHead(const Gdiplus::Bitmap* src)
{
    if (!src) return;
    Gdiplus::Bitmap* copy = copyBitmap(src);
    delete m_imgHead;
    m_imgHead = copy;
}

// ---------------------------------------------------------------- CDataUser

CDataUser::CDataUser() : CData(kUserSign)
{
    InitializeCriticalSection(&m_cs);
}

CDataUser::~CDataUser()
{
    delete m_pTransMap;
    m_pTransMap = nullptr;
    delete[] m_pTransBuffer;
    m_pTransBuffer = nullptr;
    DeleteCriticalSection(&m_cs);
}

int CDataUser::FromUser(const CDataUser* src)
{
    if (!src || src == this) return 1;
    m_nId = src->m_nId;
    m_nStatus = src->m_nStatus;
    m_nReserved1 = src->m_nReserved1;
    m_nReserved2 = src->m_nReserved2;
    m_nReserved3 = src->m_nReserved3;
    CopyNameAndSign(src);
    m_nAux = src->m_nAux;
    m_strPhone = src->m_strPhone;
    m_strPwd = src->m_strPwd;
    m_strRTime = src->m_strRTime;
    m_nFlag = src->m_nFlag;
    m_strCity = src->m_strCity;
    m_strRemark = src->m_strRemark;
    m_nGroupId = src->m_nGroupId;
    m_nMemberRole = src->m_nMemberRole;
    m_nUnreadCount = src->m_nUnreadCount;
    m_vecUnread = src->m_vecUnread;
    CopyHead(src->m_imgHead);
    return 1;
}

int CDataUser::FromUserHead(const CDataUser* src)
{
    if (src && src != this) CopyHead(src->m_imgHead);
    return 1;
}

int CDataUser::Update(void* store)
{
    return store ? static_cast<CFileDB*>(store)->InsertUser(this) : 0;
}

void CDataUser::Delete(void* store)
{
    if (store) static_cast<CFileDB*>(store)->DeleteUser(m_nId, m_nGroupId);
    delete m_imgHead;
    m_imgHead = nullptr;
}

int CDataUser::UpdateHead(CString dir)
{
    if (m_nId < 1) return 0;
    return downloadHead(m_imgHead, m_nId, 1, dir);
}

int CDataUser::UpdateMsgToHistory(CString tagmsg, CString msg, int type, CString rtime, void* store)
{
    if (!store) return 0;
    return static_cast<CFileDbMsg*>(store)->InsertMsg(m_nId, m_nGroupId, tagmsg, type, rtime, m_nGroupId, msg);
}

// ---------------------------------------------------------------- CDataGroup

CDataGroup::CDataGroup() : CData(kGroupSign)
{
    m_nIsGroup = 1;
}

CDataGroup::~CDataGroup()
{
    ClearMembers();
}

void CDataGroup::ClearMembers()
{
    for (auto& kv : m_mapMembers) delete kv.second;
    m_mapMembers.clear();
}

int CDataGroup::FromGroup(CDataGroup* src)
{
    if (!src || src == this) return 1;
    m_nId = src->m_nId;
    CopyNameAndSign(src);
    m_nAux = src->m_nAux;
    m_nIsMaster = src->m_nIsMaster;
    m_nStyle = src->m_nStyle;
    m_nGroupType = src->m_nGroupType;
    m_nCapacity = src->m_nCapacity;
    m_nReserved = src->m_nReserved;
    m_vecUnread = src->m_vecUnread;
    m_strClass = src->m_strClass;
    CopyHead(src->m_imgHead);
    ClearMembers();
    for (const auto& kv : src->m_mapMembers) {
        auto* member = new CDataUser;
        if (kv.second) member->FromUser(kv.second);
        member->m_nGroupId = m_nId;
        m_mapMembers[kv.first] = member;
    }
    return 1;
}

int CDataGroup::Update(void* userStore, int withMembers)
{
    if (!userStore) return 0;
    auto* store = static_cast<CFileDbUser*>(userStore);
    int result = store->InsertGroup(this);
    if (withMembers == 1) {
        // An empty member list deletes nothing and still succeeds.
        if (!store->DeleteGroupUser(m_nId) && m_nId >= 1) result = 0;
        for (auto& kv : m_mapMembers) {
            if (!store->InsertUser(kv.second)) result = 0;
        }
    }
    return result;
}

void CDataGroup::Delete(void* userStore)
{
    if (userStore) static_cast<CFileDbUser*>(userStore)->DeleteGroup(m_nId);
    delete m_imgHead;
    m_imgHead = nullptr;
}

int CDataGroup::UpdateHead(CString dir)
{
    return downloadHead(m_imgHead, m_nId, 0, dir);
}

int CDataGroup::UpdateMsgToHistory(int senderId, CString tagmsg, CString msg, int type, CString rtime, void* store)
{
    if (!store) return 0;
    return static_cast<CFileDbMsg*>(store)->InsertMsg(senderId, m_nId, tagmsg, type, rtime, m_nStyle == 4 ? 4 : 3,
                                                      msg);
}

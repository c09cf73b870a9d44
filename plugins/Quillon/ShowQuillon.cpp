#include "plugins/Quillon/ShowQuillon.h"

#include "Common/records/Data.h"
#include "Common/stores/FileDbMsg.h"
#include "Common/stores/FileDbUser.h"
#include "plugins/Quillon/HistoryRecords.h"
#include "plugins/Quillon/QuillonApp.h"
#include "plugins/common/PluginUtil.h"
#include "platform/timeutil.h"

#include <cstdlib>
#include <string>

namespace {

// A function, not a constant: the frames are built while the module loads.
CRect Placement()
{
    return CRect(200, 150, 200 + 650, 150 + 500);
}

struct Folder {
    const char* text;
    int code;
};
const Folder kFolders[] = {{"所有分组", 0}, {"我的好友", 1}, {"陌生人", 2},   {"黑名单", 3},   {"系统公告", 4},
                           {"我的群", 5},   {"讨论组", 6},   {"今天", 10},    {"1周以内", 11}, {"1月以内", 12},
                           {"6月以内", 13}, {"1年以内", 14}, {"1年以前", 15}};

// The six age buckets of the time tree, in order.
struct Bucket {
    const char* text;
    const char* id;
};
const Bucket kBuckets[6] = {{"今天", "today"},        {"1周以内", "one_week"}, {"1月以内", "one_month"},
                            {"6月以内", "six_months"}, {"1年以内", "one_year"}, {"1年以前", "one_years"}};

int ToInt(const CString& text)
{
    return std::atoi(text.GetString());
}

CString Text(const VARIANT& v)
{
    return VariantToText(v);
}

template <class T>
void FreeAll(std::set<T*>& records)
{
    for (T* record : records) delete record;
    records.clear();
}

CString FolderOpen(const char* text, const char* id)
{
    return CString("<item text='") + text + "' id='" + id + "' im0='folderClosed.gif' im1='folderOpen.gif'>";
}

// A contact item; names and images are escaped for the attribute.
CString ContactItem(const CString& name, int id, const CString& image)
{
    return "<item text='" + EscapeHtmlAttr(name) + "' id='" + IdText(id) + "' imheight='15px' imwidth='15px' im0='" +
           EscapeHtmlAttr(image) + "'></item>";
}

CString GroupItemOpen(const CString& name, int id, const CString& image)
{
    const CString img = EscapeHtmlAttr(image);
    return "<item text='" + EscapeHtmlAttr(name) + "' id='" + IdText(id) + "' imheight='15px' imwidth='15px' im0='" +
           img + "' im1='" + img + "' im2='" + img + "'>";
}

CString MillisecondText()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return IdText(now.wMilliseconds);
}

// The picture of a user or a group: its own head where the web server has
// one, else the default; a head not known yet shows the default until the
// page's heads put it in place.
CString FaceImage(CPageHeads& heads, int id, const CString& query)
{
    const CString face = heads.HasOwn(FALSE, id) ? "../upload/face/" + IdText(id) + ".png"
                                                 : CString("../upload/face/default.png");
    return query.IsEmpty() ? face : face + "?" + query;
}

CString GroupImage(CPageHeads& heads, int id, const CString& query)
{
    const CString image = heads.HasOwn(TRUE, id) ? "../upload/group/" + IdText(id) + ".png"
                                                 : CString("../upload/group/default.png");
    return query.IsEmpty() ? image : image + "?" + query;
}

}  // namespace

// ---------------------------------------------------------------- the frame

CDlgShowQuillon::CDlgShowQuillon() : CPluginFrame(IDD_DLG_SHOW_QUILLON, m_html, IDB_PNG_QUILLON_TITLE, Placement(), 500)
{
}

void RegisterQuillonTemplates()
{
    RegisterPluginTemplates(IDD_DLG_SHOW_QUILLON, IDD_HTML_QUILLON, Placement(), "消息管理器");
}

// ---------------------------------------------------------------- the page

IMPLEMENT_DYNCREATE(CHtmlQuillon, CDHtmlDialog)

BEGIN_DISPATCH_MAP(CHtmlQuillon, CDHtmlDialog)
    DISP_FUNCTION(CHtmlQuillon, "showChatRecords", showChatRecords, VT_EMPTY,
                  VTS_VARIANT VTS_VARIANT VTS_VARIANT VTS_VARIANT VTS_VARIANT)
    DISP_FUNCTION(CHtmlQuillon, "showMember", showMember, VT_EMPTY, VTS_VARIANT)
    DISP_FUNCTION(CHtmlQuillon, "searchConditions", searchConditions, VT_EMPTY, VTS_VARIANT VTS_VARIANT VTS_VARIANT)
    DISP_FUNCTION(CHtmlQuillon, "deleteChatRecords", deleteChatRecords, VT_EMPTY,
                  VTS_VARIANT VTS_VARIANT VTS_VARIANT VTS_VARIANT)
    DISP_FUNCTION(CHtmlQuillon, "refresh", refresh, VT_EMPTY, VTS_VARIANT)
    DISP_FUNCTION(CHtmlQuillon, "chanagePage", chanagePage, VT_EMPTY, VTS_VARIANT)
    DISP_FUNCTION(CHtmlQuillon, "updateHtmlDialog", updateHtmlDialog, VT_EMPTY, VTS_VARIANT)
END_DISPATCH_MAP()

BEGIN_DHTML_EVENT_MAP(CHtmlQuillon)
    DHTML_EVENT_ONCLICK("ButtonOK", OnButtonOK)
    DHTML_EVENT_ONCLICK("ButtonCancel", OnButtonCancel)
END_DHTML_EVENT_MAP()

CHtmlQuillon::CHtmlQuillon()
    : CPluginPage(IDD_HTML_QUILLON, IDR_HTML_QUILLON), m_heads([this](const CPageHeads::Entries& arrived) {
          ShowArrivedHeads(arrived);
      })
{
    // The lines' times are local times, so the buckets start at local day
    // starts (SQLite's 'now' alone is UTC).
    m_strTime[0] = "datetime(rtime)>=datetime('now','localtime','start of day') and datetime(rtime)<datetime('now','localtime','+1 day','start of day')";
    m_strTime[1] = "datetime(rtime)>=datetime('now','localtime','-7 day','start of day') and datetime(rtime)<datetime('now','localtime','start of day')";
    m_strTime[2] = "datetime(rtime)>=datetime('now','localtime','-38 day','start of day') and datetime(rtime)<datetime('now','localtime','-7 day','start of day')";
    m_strTime[3] = "datetime(rtime)>=datetime('now','localtime','-219 day','start of day') and datetime(rtime)<datetime('now','localtime','-38 day','start of day')";
    m_strTime[4] = "datetime(rtime)>=datetime('now','localtime','-585 day','start of day') and datetime(rtime)<datetime('now','localtime','-219 day','start of day')";
    m_strTime[5] = "datetime(rtime)<datetime('now','localtime','-585 day','start of day')";
}

CHtmlQuillon::~CHtmlQuillon()
{
    ClearContacts();
}

BOOL CHtmlQuillon::OnInitDialog()
{
    CPluginPage::OnInitDialog();
    m_strCPage = "1";
    m_strTPage = "1";
    return TRUE;
}

void CHtmlQuillon::DoDataExchange(CDataExchange* dx)
{
    CPluginPage::DoDataExchange(dx);
    DDX_DHtml_ElementText(dx, "head", DISPID_IHTMLELEMENT_INNERTEXT, m_strHead);
    DDX_DHtml_ElementText(dx, "cPage", DISPID_IHTMLELEMENT_INNERTEXT, m_strCPage);
    DDX_DHtml_ElementText(dx, "tPage", DISPID_IHTMLELEMENT_INNERTEXT, m_strTPage);
}

void CHtmlQuillon::OnDocumentComplete(LPDISPATCH browser, LPCTSTR url)
{
    CPluginPage::OnDocumentComplete(browser, url);
    // The records show the pictures of the user's files folder.
    SetLocalFolder(PictureFolder(Quillon().dbMsg));
    // A new document: heads waited for by the last one are not shown in it.
    m_heads.Clear();
    InvokeScriptMethod("initTypeTree", {BuildTypeTree()});
}

void CHtmlQuillon::ShowArrivedHeads(const CPageHeads::Entries& arrived)
{
    if (!m_hWnd) return;
    CString faces, groups;
    for (const auto& entry : arrived) {
        CString& ids = entry.first ? groups : faces;
        if (!ids.IsEmpty()) ids += ",";
        ids += IdText(entry.second);
    }
    if (!faces.IsEmpty()) InvokeScriptMethod("showHeads", {CString("face"), faces});
    if (!groups.IsEmpty()) InvokeScriptMethod("showHeads", {CString("group"), groups});
}

int CHtmlQuillon::CodeOfFolder(const CString& folderText)
{
    for (const Folder& f : kFolders)
        if (folderText == f.text) return f.code;
    return -1;
}

int CHtmlQuillon::KindOf(int id) const
{
    int kind = 0;
    for (CDataGroup* g : m_groups)
        if (g->m_nId == id) kind = 3;
    for (CDataGroup* g : m_discussions)
        if (g->m_nId == id) kind = 4;
    for (CDataUser* u : m_friends)
        if (u->m_nId == id) kind = 1;
    for (CDataUser* u : m_strangers)
        if (u->m_nId == id) kind = 2;
    return kind;
}

void CHtmlQuillon::ClearContacts()
{
    for (int i = 0; i < 6; ++i) {
        m_bucketUsers[i].clear();
        m_bucketGroups[i].clear();
    }
    FreeAll(m_friends);
    FreeAll(m_strangers);
    FreeAll(m_groups);
    FreeAll(m_discussions);
    FreeAll(m_members);
}

void CHtmlQuillon::LoadContacts()
{
    ClearContacts();
    CFileDbUser* users = Quillon().dbUser;
    if (!users) return;
    users->GetGroupUserList(1, &m_friends);
    users->GetGroupUserList(2, &m_strangers);
    users->GetGroupList(&m_groups, 1);
    users->GetGroupList(&m_discussions, 4);
}

void CHtmlQuillon::LoadMembers(int groupId)
{
    FreeAll(m_members);
    if (CFileDbUser* users = Quillon().dbUser) users->GetGroupUserList(groupId, &m_members);
}

CString CHtmlQuillon::BuildTypeTree()
{
    LoadContacts();
    const int own = Quillon().ownId;
    CString xml = FolderOpen("我的好友", "my_friends");
    for (CDataUser* u : m_friends)
        xml += ContactItem(NameOf(u), u->m_nId, FaceImage(m_heads, u->m_nId, CacheBustingNumber()));
    xml += "</item>";

    auto groupFolder = [&](const char* text, const char* id, std::set<CDataGroup*>& groups, bool discussion) {
        xml += FolderOpen(text, id);
        for (CDataGroup* g : groups) {
            const CString query = discussion ? CacheBustingNumber() : MillisecondText();
            const CString image =
                discussion ? CString("../upload/group/discuss_group.png") : GroupImage(m_heads, g->m_nId, query);
            xml += GroupItemOpen(NameOf(g), g->m_nId, image);
            LoadMembers(g->m_nId);
            for (CDataUser* m : m_members)
                if (m->m_nId != own) xml += ContactItem(NameOf(m), m->m_nId, FaceImage(m_heads, m->m_nId, query));
            xml += "</item>";
        }
        xml += "</item>";
    };
    groupFolder("我的群", "my_groups", m_groups, false);
    groupFolder("讨论组", "discuss_group", m_discussions, true);

    xml += FolderOpen("陌生人", "stranger");
    for (CDataUser* u : m_strangers) xml += ContactItem(NameOf(u), u->m_nId, FaceImage(m_heads, u->m_nId, CString()));
    xml += "</item>";

    xml += FolderOpen("系统公告", "sys_notice");
    xml += FolderOpen("群公告", "group_notice") + "</item>";
    xml += FolderOpen("好友公告", "friend_notice") + "</item>";
    xml += FolderOpen("我的播报", "my_broad") + "</item>";
    xml += "</item>";
    return xml;
}

CString CHtmlQuillon::BuildTimeTree()
{
    CString xml;
    CFileDbMsg* store = Quillon().dbMsg;
    for (int i = 0; i < 6; ++i) {
        m_bucketUsers[i].clear();
        m_bucketGroups[i].clear();
    }
    for (int i = 0; i < 6; ++i) {
        if (store)
            store->getTimeGroup(m_strTime[i], &m_friends, &m_strangers, &m_groups, &m_discussions, &m_bucketUsers[i],
                                &m_bucketGroups[i]);
        xml += FolderOpen(kBuckets[i].text, kBuckets[i].id);
        for (CDataUser* u : m_bucketUsers[i]) xml += ContactItem(NameOf(u), u->m_nId, FaceImage(m_heads, u->m_nId, ""));
        for (CDataGroup* g : m_bucketGroups[i])
            xml += ContactItem(NameOf(g), g->m_nId, GroupImage(m_heads, g->m_nId, ""));
        xml += "</item>";
    }
    return xml;
}

CString CHtmlQuillon::ConversationName(int nodeId, const CString& nodeText, int rowId, int rowGid) const
{
    if (nodeId != 0) return nodeText;
    if (rowGid < 1001) {
        for (CDataUser* u : m_friends)
            if (u->m_nId == rowId) return NameOf(u);
        for (CDataUser* u : m_strangers)
            if (u->m_nId == rowId) return NameOf(u);
        for (CDataGroup* g : m_groups)
            if (g->m_nId == rowId) return NameOf(g);
    } else {
        for (CDataGroup* g : m_groups)
            if (g->m_nId == rowGid) return NameOf(g);
        for (CDataGroup* g : m_discussions)
            if (g->m_nId == rowGid) return NameOf(g);
    }
    return IdText(rowGid < 1001 ? rowId : rowGid);
}

void CHtmlQuillon::BuildRecords()
{
    CFileDbMsg* store = Quillon().dbMsg;
    int code = CodeOfFolder(m_strFolder);
    if (code < 0) code = 0;
    if (!m_strGroupId.IsEmpty()) code = ToInt(m_strGroupId);
    const int id = ToInt(m_strNodeId);
    const int kind = KindOf(id);

    int pages = store ? store->GetRecordCount(id, code, kind, m_strKeyword) : 1;
    if (pages < 1) pages = 1;
    m_strTPage = IdText(pages);
    int page = ToInt(m_strCPage);
    if (page < 1) page = 1;
    if (page > pages) page = pages;
    m_strCPage = IdText(page);

    const std::vector<HistoryRow> rows = FetchHistoryPage(store, id, code, kind, m_strKeyword, page - 1);
    // Senders of a group's lines are its members.
    const bool groupLines = code == 5 || code == 6;
    int membersOf = -1;

    CString html = kPaneStart;
    CString lastName, lastDate;
    bool headed = false, dated = false;
    for (const HistoryRow& row : rows) {
        const CString name = ConversationName(id, m_strNodeText, row.id, row.gid);
        if (!headed || name != lastName) {
            html += HistoryHeading(m_strScope + "->" + m_strFolder + "->" + name);
            lastName = name;
            headed = true;
        }
        const CString date = row.rtime.Left(10);
        if (!dated || date != lastDate) {
            html += HistoryDateLine(date, !dated);
            lastDate = date;
            dated = true;
        }
        CString sender = name;
        if (groupLines) {
            const int group = id != 0 ? id : row.gid;
            if (group != membersOf) {
                LoadMembers(group);
                membersOf = group;
            }
            for (CDataUser* m : m_members)
                if (m->m_nId == row.id) sender = NameOf(m);
        }
        if (row.type == 1) sender = "我说";
        html += HistoryRecord(row.rtime, sender, row.tagmsg, false);
    }
    html += kPaneEnd;
    m_strHtml = html;
    UpdateData(FALSE);
}

void CHtmlQuillon::showChatRecords(const VARIANT& folderText, const VARIANT& nodeId, const VARIANT& nodeText,
                                   const VARIANT& scopeText, const VARIANT& groupId)
{
    m_strFolder = Text(folderText);
    m_strNodeId = Text(nodeId);
    m_strNodeText = Text(nodeText);
    m_strScope = Text(scopeText);
    m_strGroupId = Text(groupId);
    m_strKeyword.Empty();
    m_strHead.Format("与%s的聊天记录", m_strNodeText.GetString());
    m_strCPage = "1";
    BuildRecords();
    InvokeScriptMethod("showMsg", {"1", m_strHtml});
}

void CHtmlQuillon::searchConditions(const VARIANT& range, const VARIANT& content, const VARIANT& scopeText)
{
    m_strNodeId = "0";
    m_strNodeText.Empty();
    m_strFolder = Text(range);
    m_strKeyword = Text(content);
    m_strScope = Text(scopeText);
    m_strGroupId.Empty();
    m_strCPage = "1";
    BuildRecords();
    const int matched = Quillon().dbMsg ? Quillon().dbMsg->m_nRecordCount : 0;
    m_strHead.Format("已搜索到%d条记录", matched);
    UpdateData(FALSE);
    InvokeScriptMethod("showMsg", {"1", m_strHtml});
}

void CHtmlQuillon::chanagePage(const VARIANT& page)
{
    m_strCPage = Text(page);
    BuildRecords();
    InvokeScriptMethod("showMsg", {"1", m_strHtml});
}

CString CHtmlQuillon::MemberRow(const CString& name, int id, const char* listText) const
{
    const CString call = ScriptString(listText) + "," + ScriptString(name) + "," + IdText(id) + "," +
                         ScriptString("所有分组") + "," + ScriptString("");
    return "<table id='" + IdText(id) +
           "' width='100%' height='30' cellpadding='0' cellspacing='0' "
           "onmouseover='changetrBackground(this,\"#CFF5FF\")' onmouseout='changetrBackground(this,\"#FFFFFF\")' "
           "onclick='parent.selecttrBackground(this)' ondblclick='parent.onDbClickMember(" +
           EscapeHtmlAttr(call) +
           ")'><tr height='10%'><td width='33%' align='center' style='font-size:12px;'>" + EscapeHtmlText(name) +
           "</td><td width='33%' align='center' style='font-size:12px;'>" + IdText(id) +
           "</td><td align='center' style='font-size:12px;'>" + listText + "</td></tr></table>";
}

void CHtmlQuillon::showMember(const VARIANT& folderText)
{
    const CString folder = Text(folderText);
    CString html =
        "<table width='103.5%' height='100%' cellpadding='0' cellspacing='0'><tr height='95%' valign='top'><td "
        "width='100%'><table width='100%' height='30' cellpadding='0' cellspacing='0' style='border :1px solid "
        "#9CC2DE;'><tr style='background-color:#D6ECFB;font-weight: bold'><td width='33%' align='center' "
        "style='font-size:12px;'>昵称</td><td width='33%' align='center' style='font-size:12px;'>ID号/群号</td><td "
        "align='center' style='font-size:12px;'>所属类别</td></tr></table>";
    auto users = [&](const std::set<CDataUser*>& list, const char* text) {
        for (CDataUser* u : list) html += MemberRow(NameOf(u), u->m_nId, text);
    };
    auto groups = [&](const std::set<CDataGroup*>& list, const char* text) {
        for (CDataGroup* g : list) html += MemberRow(NameOf(g), g->m_nId, text);
    };
    auto listOfUser = [&](CDataUser* u) { return m_strangers.count(u) ? "陌生人" : "我的好友"; };
    auto listOfGroup = [&](CDataGroup* g) { return m_discussions.count(g) ? "讨论组" : "我的群"; };
    auto bucket = [&](int i) {
        for (CDataUser* u : m_bucketUsers[i]) html += MemberRow(NameOf(u), u->m_nId, listOfUser(u));
        for (CDataGroup* g : m_bucketGroups[i]) html += MemberRow(NameOf(g), g->m_nId, listOfGroup(g));
    };
    if (folder == "所有分组") {
        users(m_friends, "我的好友");
        users(m_strangers, "陌生人");
        groups(m_groups, "我的群");
        groups(m_discussions, "讨论组");
    } else if (folder == "我的好友") {
        users(m_friends, "我的好友");
    } else if (folder == "陌生人") {
        users(m_strangers, "陌生人");
    } else if (folder == "我的群") {
        groups(m_groups, "我的群");
    } else if (folder == "讨论组") {
        groups(m_discussions, "讨论组");
    } else if (folder == "时间分组") {
        for (int i = 0; i < 6; ++i) bucket(i);
    } else {
        for (int i = 0; i < 6; ++i)
            if (folder == kBuckets[i].text) bucket(i);
    }
    html += kPaneEnd;
    m_strHead = "所有联系人";
    InvokeScriptMethod("showMsg", {"0", html});
    UpdateData(FALSE);
}

void CHtmlQuillon::deleteChatRecords(const VARIANT& pDel, const VARIANT& cDel, const VARIANT& type,
                                     const VARIANT& selected)
{
    CFileDbMsg* store = Quillon().dbMsg;
    if (!store) return;
    const CString parent = Text(pDel);
    const int id = ToInt(Text(cDel));
    int code = CodeOfFolder(parent);
    if (parent == "时间分组") code = 0;
    // A member inside a group folder comes with the group's id.
    if (code < 0) code = ToInt(parent) > 0 ? ToInt(parent) : -1;
    if (code < 0) return;
    const int kind = KindOf(id);
    if (Text(type) == "0") {
        if (store->DeleteAllGroupMsg(id, code, kind) && id != 0 && Text(selected) != "1") {
            m_strCPage = "1";
            BuildRecords();
            InvokeScriptMethod("showMsg", {"1", m_strHtml});
        }
    } else if (Text(type) == "1") {
        if (!store->DeleteTimeGroupMsg(id, code, kind)) return;
        if (id != 0) {
            for (int i = 0; i < 6; ++i) {
                if (kind == 1 || kind == 2) {
                    for (auto it = m_bucketUsers[i].begin(); it != m_bucketUsers[i].end();)
                        it = (*it)->m_nId == id ? m_bucketUsers[i].erase(it) : std::next(it);
                } else {
                    for (auto it = m_bucketGroups[i].begin(); it != m_bucketGroups[i].end();)
                        it = (*it)->m_nId == id ? m_bucketGroups[i].erase(it) : std::next(it);
                }
            }
        } else {
            for (int i = 0; i < 6; ++i) {
                if (code == 0 || code == 10 + i) {
                    m_bucketUsers[i].clear();
                    m_bucketGroups[i].clear();
                }
            }
        }
        InvokeScriptMethod("deleteItem", {""});
    }
}

void CHtmlQuillon::refresh(const VARIANT& which)
{
    const CString what = Text(which);
    if (what == "type")
        InvokeScriptMethod("initTypeTree", {BuildTypeTree()});
    else if (what == "time")
        InvokeScriptMethod("initTimeTree", {BuildTimeTree()});
}

void CHtmlQuillon::updateHtmlDialog(const VARIANT&)
{
    UpdateWindow();
}

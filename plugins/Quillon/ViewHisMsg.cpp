#include "plugins/Quillon/ViewHisMsg.h"

#include "Common/records/Data.h"
#include "Common/stores/FileDbMsg.h"
#include "Common/stores/FileDbUser.h"
#include "plugins/Quillon/HistoryRecords.h"
#include "plugins/Quillon/QuillonApp.h"

#include <cstdlib>
#include <set>

namespace {

// A function, not a constant: the frames are built while the module loads.
CRect Placement()
{
    return CRect(200, 150, 200 + 500, 150 + 400);
}

template <class T>
void FreeAll(std::set<T*>& records)
{
    for (T* record : records) delete record;
    records.clear();
}

// The list a record is filed under, from its category.
CString ListText(int gtype)
{
    switch (gtype) {
    case 1: return "我的好友";
    case 2: return "陌生人";
    case 3: return "我的群";
    case 4: return "讨论组";
    default: break;
    }
    if (gtype <= 10) return CString();
    CFileDbUser* users = Quillon().viewDbUser;
    if (!users) return CString();
    CString text;
    for (int style : {1, 4}) {
        std::set<CDataGroup*> groups;
        users->GetGroupList(&groups, style);
        for (CDataGroup* g : groups)
            if (g->m_nId == gtype) text.Format(style == 1 ? "我的群->%s" : "讨论组->%s", NameOf(g).GetString());
        FreeAll(groups);
        if (!text.IsEmpty()) break;
    }
    return text;
}

}  // namespace

CDlgViewHisMsg::CDlgViewHisMsg() : CPluginFrame(IDD_DLG_VIEW_HIS_MSG, m_html, IDB_PNG_QUILLON_TITLE, Placement(), 500)
{
}

CString CDlgViewHisMsg::Caption() const
{
    return "与" + QuillonApp().m_strViewName + "的聊天记录";
}

void RegisterViewHisMsgTemplates()
{
    RegisterPluginTemplates(IDD_DLG_VIEW_HIS_MSG, IDD_HTML_VIEW_HIS_MSG, Placement(), "聊天记录");
}

IMPLEMENT_DYNCREATE(CHtmlViewHisMsg, CDHtmlDialog)

BEGIN_DISPATCH_MAP(CHtmlViewHisMsg, CDHtmlDialog)
    DISP_FUNCTION(CHtmlViewHisMsg, "chanagePage", chanagePage, VT_EMPTY, VTS_VARIANT)
    DISP_FUNCTION(CHtmlViewHisMsg, "updateHtmlDialog", updateHtmlDialog, VT_EMPTY, VTS_VARIANT)
END_DISPATCH_MAP()

BEGIN_DHTML_EVENT_MAP(CHtmlViewHisMsg)
    DHTML_EVENT_ONCLICK("ButtonOK", OnButtonOK)
    DHTML_EVENT_ONCLICK("ButtonCancel", OnButtonCancel)
END_DHTML_EVENT_MAP()

CHtmlViewHisMsg::CHtmlViewHisMsg() : CPluginPage(IDD_HTML_VIEW_HIS_MSG, IDR_HTML_VIEW_HIS_MSG) {}

BOOL CHtmlViewHisMsg::OnInitDialog()
{
    CPluginPage::OnInitDialog();
    m_strCPage = "1";
    m_strTPage = "1";
    return TRUE;
}

void CHtmlViewHisMsg::DoDataExchange(CDataExchange* dx)
{
    CPluginPage::DoDataExchange(dx);
    DDX_DHtml_ElementText(dx, "cPage", DISPID_IHTMLELEMENT_INNERTEXT, m_strCPage);
    DDX_DHtml_ElementText(dx, "tPage", DISPID_IHTMLELEMENT_INNERTEXT, m_strTPage);
}

void CHtmlViewHisMsg::OnDocumentComplete(LPDISPATCH browser, LPCTSTR url)
{
    CPluginPage::OnDocumentComplete(browser, url);
    // The records show the pictures of the user's files folder.
    SetLocalFolder(PictureFolder(Quillon().viewDbMsg));
    m_strCPage = "1";
    BuildRecords();
    InvokeScriptMethod("showMsg", {m_strHtml});
    UpdateData(FALSE);
}

void CHtmlViewHisMsg::chanagePage(const VARIANT& page)
{
    m_strCPage = VariantToText(page);
    BuildRecords();
    InvokeScriptMethod("showMsg", {m_strHtml});
    UpdateData(FALSE);
}

void CHtmlViewHisMsg::updateHtmlDialog(const VARIANT&)
{
    UpdateWindow();
}

void CHtmlViewHisMsg::BuildRecords()
{
    const QuillonGlobals& g = Quillon();
    const int code = CodeOfKind(g.viewKind);
    int pages = g.viewDbMsg ? g.viewDbMsg->GetRecordCount(g.viewId, code, g.viewKind, "") : 1;
    if (pages < 1) pages = 1;
    m_strTPage = IdText(pages);
    int page = std::atoi(m_strCPage.GetString());
    if (page < 1) page = 1;
    if (page > pages) page = pages;
    m_strCPage = IdText(page);

    const std::vector<HistoryRow> rows = FetchHistoryPage(g.viewDbMsg, g.viewId, code, g.viewKind, "", page - 1);
    std::set<CDataUser*> members;
    if ((code == 5 || code == 6) && g.viewDbUser) g.viewDbUser->GetGroupUserList(g.viewId, &members);
    const CString name = QuillonApp().m_strViewName;

    CString html = kPaneStart;
    if (rows.empty())
        html += "<table width='100%' align='center' cellpadding='0' cellspacing='0'><tr height='18'><td width='100%' "
                "align='center' style='font-size:12px;'>当前没有聊天记录!</td></tr></table>";
    CString lastDate;
    bool first = true;
    for (const HistoryRow& row : rows) {
        if (first) html += HistoryHeading(ListText(row.gtype) + "->" + name);
        const CString date = row.rtime.Left(10);
        if (first || date != lastDate) html += HistoryDateLine(date, first);
        lastDate = date;
        first = false;
        CString sender = name;
        for (CDataUser* m : members)
            if (m->m_nId == row.id) sender = NameOf(m);
        if (row.type == 1) sender = "我说";
        html += HistoryRecord(row.rtime, sender, row.tagmsg, true);
    }
    html += kPaneEnd;
    FreeAll(members);
    m_strHtml = html;
}

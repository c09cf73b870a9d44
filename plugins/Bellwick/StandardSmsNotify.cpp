#include "Common/records/Data.h"
#include "Common/stores/FileDbUser.h"
#include "plugins/Bellwick/BellwickApp.h"
#include "plugins/Bellwick/SmsNotify.h"
#include "plugins/common/PluginUtil.h"

#include <algorithm>
#include <set>
#include <vector>

namespace {

CRect Placement()
{
    return CRect(250, 250, 250 + 500, 250 + 400);
}

// The name shown for a record: its name without the blank the store keeps
// after it, or its id when it has none; escaped for a quoted attribute.
CString DisplayName(const CData* record)
{
    const char* raw = record->m_bstrName;
    CString name(raw ? raw : "");
    name.TrimRight();
    if (name.IsEmpty()) name = IdText(record->m_nId);
    return EscapeHtmlAttr(name);
}

template <class T>
std::vector<T*> ById(const std::set<T*>& records)
{
    std::vector<T*> sorted(records.begin(), records.end());
    std::sort(sorted.begin(), sorted.end(), [](const T* a, const T* b) { return a->m_nId < b->m_nId; });
    return sorted;
}

template <class T>
void FreeAll(std::set<T*>& records)
{
    for (T* record : records) delete record;
    records.clear();
}

CString UserItems(CFileDbUser* users, int listOrGroup, int ownId)
{
    std::set<CDataUser*> records;
    users->GetGroupUserList(listOrGroup, &records);
    CString xml;
    for (CDataUser* u : ById(records))
        if (u->m_nId != ownId)
            xml += "<item text='" + DisplayName(u) + "' id='" + IdText(u->m_nId) + "' imheight='0' imwidth='0'></item>";
    FreeAll(records);
    return xml;
}

}  // namespace

CDlgStandardSMSNotify::CDlgStandardSMSNotify()
    : CPluginFrame(IDD_DLG_STANDARD_SMS, m_html, IDB_PNG_SMS_TITLE, Placement(), 500)
{
}

void RegisterStandardSmsTemplates()
{
    RegisterPluginTemplates(IDD_DLG_STANDARD_SMS, IDD_HTML_STANDARD_SMS, Placement(), "通知短信");
}

IMPLEMENT_DYNCREATE(CHtmlStandardSMSNotify, CDHtmlDialog)

BEGIN_DISPATCH_MAP(CHtmlStandardSMSNotify, CDHtmlDialog)
    DISP_FUNCTION(CHtmlStandardSMSNotify, "updateHtmlDialog", updateHtmlDialog, VT_EMPTY, VTS_VARIANT)
END_DISPATCH_MAP()

CHtmlStandardSMSNotify::CHtmlStandardSMSNotify() : CSmsPage(IDD_HTML_STANDARD_SMS, IDR_HTML_STANDARD_SMS) {}

CString CHtmlStandardSMSNotify::BuildTree(CFileDbUser* users, int ownId)
{
    CString xml = "<item text='我的好友' id='my_friends' open='1' im0='folderClosed.gif' im1='folderOpen.gif'>";
    if (users) xml += UserItems(users, 1, ownId);
    xml += "</item>";
    if (!users) return xml;
    std::set<CDataGroup*> groups;
    users->GetGroupList(&groups, 0);
    for (CDataGroup* g : ById(groups)) {
        xml += "<item text='" + DisplayName(g) + "' id='" + IdText(g->m_nId) +
               "' open='1' im0='folderClosed.gif' im1='folderOpen.gif'>";
        xml += UserItems(users, g->m_nId, ownId);
        xml += "</item>";
    }
    FreeAll(groups);
    return xml;
}

void CHtmlStandardSMSNotify::OnDocumentComplete(LPDISPATCH browser, LPCTSTR url)
{
    CSmsPage::OnDocumentComplete(browser, url);
    const BellwickGlobals& g = Bellwick();
    InvokeScriptMethod("initTree", {BuildTree(g.users, g.ownId)});
    InvokeScriptMethod("getCurUserId", {BellwickApp().m_strAccount});
    InvokeScriptMethod("getVerifyCode", {BellwickApp().m_strVerifyCode});
}

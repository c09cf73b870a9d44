#include "plugins/Bellwick/BellwickApp.h"
#include "plugins/Bellwick/SmsNotify.h"
#include "plugins/common/PluginUtil.h"

namespace {

CRect Placement()
{
    return CRect(250, 250, 250 + 370, 250 + 290);
}

}  // namespace

// ---------------------------------------------------------------- the frame

BEGIN_MESSAGE_MAP(CDlgFastSMSNotify, CPluginFrame)
    ON_MESSAGE(UM_SMS_SENT, OnSmsSent)
END_MESSAGE_MAP()

CDlgFastSMSNotify::CDlgFastSMSNotify() : CPluginFrame(IDD_DLG_FAST_SMS, m_html, IDB_PNG_SMS_TITLE, Placement(), 370) {}

LRESULT CDlgFastSMSNotify::OnSmsSent(WPARAM, LPARAM)
{
    DestroyWindow();
    return 0;
}

void RegisterFastSmsTemplates()
{
    RegisterPluginTemplates(IDD_DLG_FAST_SMS, IDD_HTML_FAST_SMS, Placement(), "通知短信");
}

// ---------------------------------------------------------------- the page

IMPLEMENT_DYNCREATE(CHtmlFastSMSNotify, CDHtmlDialog)

BEGIN_DISPATCH_MAP(CHtmlFastSMSNotify, CDHtmlDialog)
    DISP_FUNCTION(CHtmlFastSMSNotify, "sendSMS", sendSMS, VT_EMPTY, VTS_VARIANT)
    DISP_FUNCTION(CHtmlFastSMSNotify, "updateHtmlDialog", updateHtmlDialog, VT_EMPTY, VTS_VARIANT)
END_DISPATCH_MAP()

BEGIN_DHTML_EVENT_MAP(CHtmlFastSMSNotify)
    DHTML_EVENT_ONCLICK("ButtonOk", OnButtonOK)
    DHTML_EVENT_ONCLICK("ButtonCancel", OnButtonCancel)
END_DHTML_EVENT_MAP()

CHtmlFastSMSNotify::CHtmlFastSMSNotify() : CSmsPage(IDD_HTML_FAST_SMS, IDR_HTML_FAST_SMS) {}

CString CHtmlFastSMSNotify::RecipientJson(int id, const CString& name, int type)
{
    // Data, never script: the page parses it as JSON.
    return "[" + ScriptString(IdText(id)) + "," + ScriptString(name) + "," + ScriptString(IdText(type)) + "]";
}

void CHtmlFastSMSNotify::OnDocumentComplete(LPDISPATCH browser, LPCTSTR url)
{
    CSmsPage::OnDocumentComplete(browser, url);
    const BellwickGlobals& g = Bellwick();
    InvokeScriptMethod("setRec", {RecipientJson(g.recId, BellwickApp().m_strRecName, g.recType)});
    InvokeScriptMethod("getCurUserId", {BellwickApp().m_strAccount});
    InvokeScriptMethod("getVerifyCode", {BellwickApp().m_strVerifyCode});
}

void CHtmlFastSMSNotify::sendSMS(const VARIANT&)
{
    CWnd* frame = GetParent();
    if (frame && frame->m_hWnd) frame->SendMessage(UM_SMS_SENT, 0, 0);
}

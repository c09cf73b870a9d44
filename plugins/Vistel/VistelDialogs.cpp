#include "plugins/Vistel/VistelDialogs.h"

#include "plugins/Vistel/VistelApp.h"
#include "platform/dialog.h"

#include <cstdlib>
#include <set>

namespace {

// The host's messages (its window-message table): a friend's remark and the
// own card in a group changed. wParam is a CDataUser valid during the call.
const UINT kRemarkChanged = WM_USER + 9001;     // 10025
const UINT kGroupCardChanged = WM_USER + 9002;  // 10026
// The card page to its frame: close the card now.
const UINT kCloseCard = WM_USER + 8100;

const int kButtonWidth = 70;
const int kButtonHeight = 26;

CRect CardPlacement()
{
    return CRect(250, 250, 250 + 500, 250 + 400);
}

CRect EditorPlacement()
{
    return CRect(250, 250, 250 + 340, 250 + 200);
}

DialogTemplate FrameTemplate(UINT id, const CRect& placement, const char* caption)
{
    DialogTemplate t;
    t.id = id;
    t.cx = placement.Width();
    t.cy = placement.Height();
    t.style = WS_POPUP;
    t.caption = caption;
    return t;
}

DialogTemplate PageTemplate(UINT id, int cx, int cy)
{
    DialogTemplate t;
    t.id = id;
    t.cx = cx;
    t.cy = cy;
    t.style = WS_CHILD;
    return t;
}

DialogItemTemplate ButtonItem(UINT id, int x, int y, const char* text)
{
    return DialogItem("Button", id, x, y, kButtonWidth, kButtonHeight, BS_OWNERDRAW | WS_TABSTOP, text);
}

// Sends a page's record to the window that opened it, when there is one.
void Notify(HWND notify, UINT message, CDataUser& record)
{
    if (!notify || !::IsWindow(notify)) return;
    ::SendMessage(notify, message, reinterpret_cast<WPARAM>(&record), 0);
}

}  // namespace

void VistelTarget::Load()
{
    const CVistelApp& app = VistelApp();
    id = app.m_strId;
    kind = app.m_strKind;
    account = app.m_strAccount;
    verifyCode = app.m_strVerifyCode;
    notify = app.m_hNotify;
}

void RegisterVistelTemplates()
{
    static std::set<HINSTANCE> done;
    HINSTANCE module = AfxGetInstanceHandle();
    if (!done.insert(module).second) return;
    DialogTemplate card = FrameTemplate(IDD_DLG_VISTEL, CardPlacement(), "查看资料");
    card.items = {ButtonItem(IDC_BTN_VISTEL_OK, 320, 372, "确定"), ButtonItem(IDC_BTN_VISTEL_CANCEL, 410, 372, "取消")};
    RegisterDialogTemplate(module, card);
    RegisterDialogTemplate(module, PageTemplate(IDD_HTML_INFO, 492, 340));
    RegisterDialogTemplate(module, FrameTemplate(IDD_DLG_REMARK, EditorPlacement(), "修改备注"));
    RegisterDialogTemplate(module, PageTemplate(IDD_HTML_REMARK, 332, 166));
    RegisterDialogTemplate(module, FrameTemplate(IDD_DLG_GRPCARD, EditorPlacement(), "修改群名片"));
    RegisterDialogTemplate(module, PageTemplate(IDD_HTML_GRPCARD, 332, 166));
}

// ---------------------------------------------------------------- the card

IMPLEMENT_DYNCREATE(CHTMLInfo, CDHtmlDialog)

BEGIN_DISPATCH_MAP(CHTMLInfo, CDHtmlDialog)
    DISP_FUNCTION(CHTMLInfo, "SendRemarkToMain", SendRemarkToMain, VT_EMPTY, VTS_VARIANT)
    DISP_FUNCTION(CHTMLInfo, "CloseWindow", OnPageClose, VT_EMPTY, VTS_NONE)
    DISP_FUNCTION(CHTMLInfo, "RefreshWindow", RefreshWindow, VT_EMPTY, VTS_NONE)
END_DISPATCH_MAP()

CHTMLInfo::CHTMLInfo() : CPluginPage(IDD_HTML_INFO, IDR_HTML_INFO) {}

BOOL CHTMLInfo::OnInitDialog()
{
    m_strCurrentUrl.Empty();
    CPluginPage::OnInitDialog();
    m_target.Load();
    m_bClosePending = false;
    return TRUE;
}

void CHTMLInfo::OnDocumentComplete(LPDISPATCH browser, LPCTSTR url)
{
    CPluginPage::OnDocumentComplete(browser, url);
    InvokeScriptMethod("getVerifyCode", {m_target.verifyCode});
    if (m_target.kind == "1")
        InvokeScriptMethod("initGrpInfo", {m_target.account, m_target.id});
    else if (m_target.kind == "2")
        InvokeScriptMethod("initStrangerInfo", {m_target.account, m_target.id});
    else
        InvokeScriptMethod("initPageInfo", {m_target.account, m_target.id});
}

void CHTMLInfo::SendRemarkToMain(const VARIANT& remark)
{
    m_record.m_nId = std::atoi(m_target.id.GetString());
    m_record.m_strRemark = VariantToText(remark);
    Notify(m_target.notify, kRemarkChanged, m_record);
}

void CHTMLInfo::OnPageClose()
{
    CWnd* frame = GetParent();
    if (!frame || !frame->m_hWnd) return;
    // After OK the card goes once its remark is saved; otherwise the page
    // only minimises it.
    if (m_bClosePending)
        frame->PostMessage(kCloseCard, 0, 0);
    else
        frame->CloseWindow();
}

void CHTMLInfo::RefreshWindow()
{
    Invalidate();
    UpdateWindow();
}

bool CHTMLInfo::SubmitRemark()
{
    CString posted;
    if (InvokeScriptMethod("submitRemarkEdit", {}, &posted) != S_OK) return false;
    m_bClosePending = posted == "1";
    return m_bClosePending;
}

BEGIN_MESSAGE_MAP(CDialogVistel, CPluginFrame)
    ON_BN_CLICKED(IDC_BTN_VISTEL_OK, OnBnClickedOk)
    ON_BN_CLICKED(IDC_BTN_VISTEL_CANCEL, OnBnClickedCancel)
    ON_MESSAGE(kCloseCard, OnCloseCard)
END_MESSAGE_MAP()

CDialogVistel::CDialogVistel()
    : CPluginFrame(IDD_DLG_VISTEL, m_html, IDB_PNG_VISTEL_TITLE, CardPlacement(), 500)
{
}

CString CDialogVistel::Caption() const
{
    return "查看资料";
}

void CDialogVistel::DoDataExchange(CDataExchange* dx)
{
    CPluginFrame::DoDataExchange(dx);
    DDX_Control(dx, IDC_BTN_VISTEL_OK, m_btnOk);
    DDX_Control(dx, IDC_BTN_VISTEL_CANCEL, m_btnCancel);
}

BOOL CDialogVistel::OnInitDialog()
{
    CPluginFrame::OnInitDialog();
    m_btnOk.SetButtonImage(IDB_PNG_VISTEL_OK);
    m_btnCancel.SetButtonImage(IDB_PNG_VISTEL_CANCEL);
    Layout();
    return TRUE;
}

void CDialogVistel::OnSize(UINT type, int cx, int cy)
{
    CPluginFrame::OnSize(type, cx, cy);
    Layout();
}

void CDialogVistel::Layout()
{
    if (!m_hWnd) return;
    const int w = m_rcClient.right - m_rcClient.left;
    const int h = m_rcClient.bottom - m_rcClient.top;
    if (w <= 0 || h <= 0) return;
    if (m_html.m_hWnd) m_html.MoveWindow(4, 30, w - 8, h - 60);
    const int y = h - 28;
    if (m_btnOk.m_hWnd) {
        m_btnOk.MoveWindow(w - 180, y, kButtonWidth, kButtonHeight);
        m_btnOk.SetButtonBackImage(m_pBgBitmap, w - 180, y);
    }
    if (m_btnCancel.m_hWnd) {
        m_btnCancel.MoveWindow(w - 90, y, kButtonWidth, kButtonHeight);
        m_btnCancel.SetButtonBackImage(m_pBgBitmap, w - 90, y);
    }
}

void CDialogVistel::OnBnClickedOk()
{
    // A friend card posts a changed remark and goes when the page has the
    // service's answer; a failed save leaves the card open to say so.
    if (m_html.m_target.kind == "0" && m_html.SubmitRemark()) return;
    CloseWindow();
    DestroyWindow();
}

void CDialogVistel::OnBnClickedCancel()
{
    CloseWindow();
    DestroyWindow();
}

LRESULT CDialogVistel::OnCloseCard(WPARAM, LPARAM)
{
    DestroyWindow();
    return 0;
}

// ---------------------------------------------------------------- the editors

IMPLEMENT_DYNCREATE(CHTMLRemark, CDHtmlDialog)

BEGIN_DISPATCH_MAP(CHTMLRemark, CDHtmlDialog)
    DISP_FUNCTION(CHTMLRemark, "SendToMain", SendToMain, VT_EMPTY, VTS_VARIANT)
    DISP_FUNCTION(CHTMLRemark, "CloseWindow", OnPageClose, VT_EMPTY, VTS_NONE)
    DISP_FUNCTION(CHTMLRemark, "RefreshWindow", RefreshWindow, VT_EMPTY, VTS_NONE)
END_DISPATCH_MAP()

CHTMLRemark::CHTMLRemark() : CPluginPage(IDD_HTML_REMARK, IDR_HTML_REMARK) {}

BOOL CHTMLRemark::OnInitDialog()
{
    // The page object outlives its windows: nothing is loaded in this one yet.
    m_strCurrentUrl.Empty();
    CPluginPage::OnInitDialog();
    m_target.Load();
    return TRUE;
}

void CHTMLRemark::OnDocumentComplete(LPDISPATCH browser, LPCTSTR url)
{
    CPluginPage::OnDocumentComplete(browser, url);
    InvokeScriptMethod("setIDs", {m_target.account, m_target.id});
    InvokeScriptMethod("getVerifyCode", {m_target.verifyCode});
}

void CHTMLRemark::SendToMain(const VARIANT& remark)
{
    m_record.m_nId = std::atoi(m_target.id.GetString());
    m_record.m_strRemark = VariantToText(remark);
    Notify(m_target.notify, kRemarkChanged, m_record);
}

void CHTMLRemark::OnPageClose()
{
    if (auto* editor = dynamic_cast<CDialog*>(GetParent())) editor->EndDialog(IDCANCEL);
}

void CHTMLRemark::RefreshWindow()
{
    Invalidate();
    UpdateWindow();
}

IMPLEMENT_DYNCREATE(CHTMLGrpCard, CHTMLRemark)

BEGIN_DISPATCH_MAP(CHTMLGrpCard, CHTMLRemark)
    DISP_FUNCTION(CHTMLGrpCard, "SendGrpCardToMain", SendGrpCardToMain, VT_EMPTY, VTS_VARIANT)
END_DISPATCH_MAP()

CHTMLGrpCard::CHTMLGrpCard() : CHTMLRemark(IDD_HTML_GRPCARD, IDR_HTML_GRPCARD) {}

void CHTMLGrpCard::SendGrpCardToMain(const VARIANT& card)
{
    m_record.m_nId = std::atoi(m_target.account.GetString());
    m_record.m_nGroupId = std::atoi(m_target.id.GetString());
    m_record.m_strRemark = VariantToText(card);
    Notify(m_target.notify, kGroupCardChanged, m_record);
}

CDialogEditor::CDialogEditor(UINT templateId, CDialog& page, const char* caption)
    : CPluginFrame(templateId, page, IDB_PNG_VISTEL_TITLE, EditorPlacement(), 500), m_strCaption(caption)
{
}

void CDialogEditor::OnClose()
{
    EndDialog(IDCANCEL);
}

CDialogRemark::CDialogRemark() : CDialogEditor(IDD_DLG_REMARK, m_html, "修改备注") {}

CDialogGrpCard::CDialogGrpCard() : CDialogEditor(IDD_DLG_GRPCARD, m_html, "修改群名片") {}

#include "plugins/Prefor/DialogSysSet.h"

#include "Common/stores/FileDbSys.h"
#include "plugins/Prefor/PreforApp.h"
#include "platform/commdlg.h"
#include "platform/dialog.h"
#include "platform/config.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "platform/uiapp.h"

#include <cstdlib>

namespace {

// A function, not a constant: the frame is built while the module loads.
CRect Placement()
{
    return CRect(250, 250, 250 + 500, 250 + 400);
}

const int kButtonWidth = 70;
const int kButtonHeight = 26;

DialogItemTemplate PngButton(UINT id, int x, int y)
{
    return DialogItem("Button", id, x, y, kButtonWidth, kButtonHeight, WS_TABSTOP | BS_OWNERDRAW);
}

void LoadButton(CCustomPngButton& button, UINT png)
{
    CResourceScope scope(AfxGetInstanceHandle());
    button.SetButtonImage(png);
}

// The program folder as the page shows it: without a trailing separator.
CString ProgramFolderText()
{
    CString folder = GetProgramFolder();
    while (folder.GetLength() > 1 && (folder.Right(1) == "/" || folder.Right(1) == "\\"))
        folder = folder.Left(folder.GetLength() - 1);
    return folder;
}

}  // namespace

// ---------------------------------------------------------------- the frame

BEGIN_MESSAGE_MAP(CDialogSysSet, CPluginFrame)
    ON_WM_SIZE()
    ON_BN_CLICKED(IDC_BTN_SYS_SET_APPLY, OnBnClickedApply)
END_MESSAGE_MAP()

CDialogSysSet::CDialogSysSet() : CPluginFrame(IDD_DLG_SYS_SET, m_html, IDB_PNG_SYS_SET_TITLE, Placement(), 500)
{
}

void RegisterSysSetTemplates()
{
    static bool registered = false;
    if (registered) return;
    registered = true;
    HINSTANCE module = AfxGetInstanceHandle();
    DialogTemplate frame;
    frame.id = IDD_DLG_SYS_SET;
    frame.cx = Placement().Width();
    frame.cy = Placement().Height();
    frame.style = WS_POPUP;
    frame.caption = "系统设置";
    frame.items = {PngButton(IDC_BTN_SYS_SET_OK, 190, 372), PngButton(IDC_BTN_SYS_SET_CANCEL, 300, 372),
                   PngButton(IDC_BTN_SYS_SET_APPLY, 410, 372)};
    RegisterDialogTemplate(module, frame);
    DialogTemplate page;
    page.id = IDD_HTML_SYS_SET;
    page.cx = 492;
    page.cy = 340;
    page.style = WS_CHILD;
    RegisterDialogTemplate(module, page);
}

void CDialogSysSet::DoDataExchange(CDataExchange* dx)
{
    CPluginFrame::DoDataExchange(dx);
    DDX_Control(dx, IDC_BTN_SYS_SET_OK, m_btnOk);
    DDX_Control(dx, IDC_BTN_SYS_SET_CANCEL, m_btnCancel);
    DDX_Control(dx, IDC_BTN_SYS_SET_APPLY, m_btnApply);
}

BOOL CDialogSysSet::OnInitDialog()
{
    CPluginFrame::OnInitDialog();
    LoadButton(m_btnOk, IDB_PNG_SYS_SET_OK);
    LoadButton(m_btnCancel, IDB_PNG_SYS_SET_CANCEL);
    LoadButton(m_btnApply, IDB_PNG_SYS_SET_APPLY);
    Layout(m_rcClient.right - m_rcClient.left, m_rcClient.bottom - m_rcClient.top);
    return TRUE;
}

void CDialogSysSet::OnSize(UINT type, int cx, int cy)
{
    CPluginFrame::OnSize(type, cx, cy);
    Layout(m_rcClient.right - m_rcClient.left, m_rcClient.bottom - m_rcClient.top);
}

void CDialogSysSet::Layout(int cx, int cy)
{
    if (!m_hWnd || cx <= 0 || cy <= 0) return;
    if (m_html.m_hWnd) m_html.MoveWindow(4, 30, cx - 8, cy - 60);
    const int y = cy - 28;
    const int xs[3] = {cx - 310, cx - 200, cx - 90};
    CCustomPngButton* buttons[3] = {&m_btnOk, &m_btnCancel, &m_btnApply};
    for (int i = 0; i < 3; ++i) {
        if (!buttons[i]->m_hWnd) continue;
        buttons[i]->MoveWindow(xs[i], y, kButtonWidth, kButtonHeight);
        if (m_pBgBitmap) buttons[i]->SetButtonBackImage(m_pBgBitmap, xs[i], y);
    }
}

void CDialogSysSet::WaitForPage()
{
    lumui::PumpUntil([this] { return !m_html.m_hWnd || m_html.PendingRequests() == 0; }, 5000);
    // Calls the page made in its last answers run before the page goes.
    lumui::Pump(50);
}

void CDialogSysSet::OnOK()
{
    m_html.SubmitAll();
    ::SendMessage(Prefor().mainWnd, kSettingsChangedMessage, 0, 0);
    ShowWindow(SW_HIDE);
    WaitForPage();
    DestroyWindow();
}

void CDialogSysSet::OnCancel()
{
    DestroyWindow();
}

void CDialogSysSet::OnBnClickedApply()
{
    m_html.SubmitCurrent();
    ::SendMessage(Prefor().mainWnd, kSettingsChangedMessage, 0, 0);
}

// ---------------------------------------------------------------- the page

IMPLEMENT_DYNCREATE(CHTMLSysSet, CDHtmlDialog)

BEGIN_DISPATCH_MAP(CHTMLSysSet, CDHtmlDialog)
    DISP_FUNCTION(CHTMLSysSet, "SetSysProp", SetSysProp, VT_EMPTY, VTS_VARIANT VTS_VARIANT VTS_VARIANT)
    DISP_FUNCTION(CHTMLSysSet, "SelectSavePath", SelectSavePath, VT_EMPTY, VTS_NONE)
    DISP_FUNCTION(CHTMLSysSet, "SelectSoundPath", SelectSoundPath, VT_EMPTY, VTS_VARIANT)
    DISP_FUNCTION(CHTMLSysSet, "RefreshWindow", RefreshWindow, VT_EMPTY, VTS_NONE)
    DISP_FUNCTION(CHTMLSysSet, "SendRemoveBlackToMain", SendRemoveBlackToMain, VT_EMPTY, VTS_VARIANT)
END_DISPATCH_MAP()

BEGIN_DHTML_EVENT_MAP(CHTMLSysSet)
    DHTML_EVENT_ONCLICK("ButtonOK", OnButtonOK)
    DHTML_EVENT_ONCLICK("ButtonCancel", OnButtonCancel)
END_DHTML_EVENT_MAP()

CHTMLSysSet::CHTMLSysSet() : CPluginPage(IDD_HTML_SYS_SET, IDR_HTML_SYS_SET) {}

void CHTMLSysSet::OnDocumentComplete(LPDISPATCH browser, LPCTSTR url)
{
    CPluginPage::OnDocumentComplete(browser, url);
    const PreforGlobals& g = Prefor();
    InvokeScriptMethod("setUserID", {IdText(g.userId)});
    InvokeScriptMethod("setCurPath", {ProgramFolderText()});
    m_mapProps.clear();
    if (g.store && g.store->GetSysSet(g.userId, &m_mapProps)) {
        for (const auto& entry : m_mapProps) InvokeScriptMethod("setProp", {entry.first, entry.second});
    }
    InvokeScriptMethod("initAllPage");
    if (g.blackList == 1) InvokeScriptMethod("showBlackListDiv");
}

void CHTMLSysSet::SetSysProp(const VARIANT& isPublic, const VARIANT& key, const VARIANT& value)
{
    const PreforGlobals& g = Prefor();
    if (!g.store) return;
    const CString pub = VariantToText(isPublic);
    const CString name = VariantToText(key);
    const CString text = VariantToText(value);
    if (name.IsEmpty()) return;
    if (pub != "0") {
        g.store->InsertSysSet(g.userId, name, text);
    } else if (name == "Basic_AutoLogin" && text == "1") {
        // The account that logs in automatically: its id and one blank.
        CString own;
        own.Format("%d ", g.userId);
        g.store->InsertSysSet(0, name, own);
    } else {
        g.store->InsertSysSet(0, name, text);
    }
}

void CHTMLSysSet::SelectSavePath()
{
    const CString folder = BrowseForFolder(m_hWnd, "请选择文件存储目录：");
    if (!folder.IsEmpty() && PathFileExists(folder))
        InvokeScriptMethod("setFileSavePath", {folder});
    else
        AfxMessageBox("无效的目录，请重新选择");
    RefreshWindow();
}

void CHTMLSysSet::SelectSoundPath(const VARIANT& type)
{
    CFileDialog dlg(TRUE, nullptr, nullptr, OFN_HIDEREADONLY, "Sound Files (*.mp3;*.wav)|*.mp3;*.wav||", this);
    CString path;
    if (dlg.DoModal() == IDOK) path = dlg.GetPathName();
    RefreshWindow();
    InvokeScriptMethod("setSoundFile", {VariantToText(type), path});
}

void CHTMLSysSet::RefreshWindow()
{
    if (m_hWnd) UpdateWindow();
}

void CHTMLSysSet::SendRemoveBlackToMain(const VARIANT& ids)
{
    HWND main = Prefor().mainWnd;
    if (!main) return;
    CString text = VariantToText(ids);
    ::SendMessage(main, kBlackListRemovedMessage, reinterpret_cast<WPARAM>(&text), 0);
}

// The page writes each changed key through SetSysProp while it saves; those
// writes are done before the save returns, so that the main window, told
// next, reads the new values.
void CHTMLSysSet::SubmitAll()
{
    if (!m_hWnd) return;
    InvokeScriptMethod("submitAllChange");
    DispatchPendingCalls();
}

void CHTMLSysSet::SubmitCurrent()
{
    if (!m_hWnd) return;
    InvokeScriptMethod("submitCurChange");
    DispatchPendingCalls();
}

int CHTMLSysSet::PendingRequests()
{
    CString result;
    if (!m_hWnd || InvokeScriptMethod("pendingRequests", {}, &result) != S_OK) return 0;
    return std::atoi(result.GetString());
}

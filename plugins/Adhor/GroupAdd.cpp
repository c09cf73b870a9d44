#include "plugins/Adhor/GroupAdd.h"

#include "plugins/Adhor/AdhorApp.h"
#include "plugins/Vistel/VistelExports.h"
#include "platform/module.h"
#include "platform/resources.h"

#include <cstdlib>

namespace {

// A function, not a constant: the frames are built while the module loads.
CRect GroupPlacement()
{
    return CRect(250, 250, 250 + 500, 250 + 400);
}

CRect InvitePlacement()
{
    return CRect(250, 250, 250 + 340, 250 + 200);
}

// A button of the group frame: its id, its picture and its place.
struct FrameButton {
    UINT id;
    UINT image;
    int x;  // in the smallest frame
};
const FrameButton kButtons[8] = {
    {IDC_BTN_SUBMIT, IDB_PNG_OK, 320},          {IDC_BTN_RESET, IDB_PNG_RESET, 410},
    {IDC_BTN_ADD_MEMBERS, IDB_PNG_ADD_MEMBERS, 320}, {IDC_BTN_SUCCESS_CLOSE, IDB_PNG_OK, 410},
    {IDC_BTN_PASS_SELECTION, IDB_PNG_OK, 320},  {IDC_BTN_MEMBER_CLOSE, IDB_PNG_CLOSE, 410},
    {IDC_BTN_PREV_PAGE, IDB_PNG_PREV, 20},      {IDC_BTN_NEXT_PAGE, IDB_PNG_NEXT, 130},
};

}  // namespace

// ---------------------------------------------------------------- group page

BEGIN_DISPATCH_MAP(CHTMLGrpAdd, CDHtmlDialog)
    DISP_FUNCTION(CHTMLGrpAdd, "RefreshDialog", RefreshDialog, VT_EMPTY, VTS_NONE)
    DISP_FUNCTION(CHTMLGrpAdd, "SetGroupInfo", SetGroupInfo, VT_EMPTY,
                  VTS_VARIANT VTS_VARIANT VTS_VARIANT VTS_VARIANT VTS_VARIANT)
    DISP_FUNCTION(CHTMLGrpAdd, "ShowAddSucc", ShowAddSucc, VT_EMPTY, VTS_NONE)
    DISP_FUNCTION(CHTMLGrpAdd, "ShowCurrentPage", ShowCurrentPage, VT_EMPTY, VTS_VARIANT)
    DISP_FUNCTION(CHTMLGrpAdd, "ShowTotalPage", ShowTotalPage, VT_EMPTY, VTS_VARIANT)
    DISP_FUNCTION(CHTMLGrpAdd, "GetSelIDs", GetSelIDs, VT_EMPTY, VTS_VARIANT)
    DISP_FUNCTION(CHTMLGrpAdd, "ShowMemberInfo", ShowMemberInfo, VT_EMPTY, VTS_VARIANT)
END_DISPATCH_MAP()

CHTMLGrpAdd::CHTMLGrpAdd() : CPluginPage(IDD_HTML_GRP_ADD, IDR_HTML_CREATE) {}

void CHTMLGrpAdd::OnDocumentComplete(LPDISPATCH browser, LPCTSTR url)
{
    CPluginPage::OnDocumentComplete(browser, url);
    const CAdhorApp& app = AdhorApp();
    if (m_nStep == 1) {
        SetElementValue("hid_userID", app.m_strAccount);
        SetElementValue("hid_verifyCode", app.m_strVerifyCode);
    } else if (m_nStep == 2) {
        InvokeScriptMethod("loadGrpInfo", {m_strName, m_strGid, m_strClass, m_strStyle, m_strNote});
    }
    InvokeScriptMethod("getVerifyCode", {app.m_strVerifyCode});
    InvokeScriptMethod("getUserPhone", {app.m_strAccount});
}

void CHTMLGrpAdd::RefreshDialog()
{
    Invalidate(FALSE);
    UpdateWindow();
}

void CHTMLGrpAdd::SetGroupInfo(const VARIANT& gid, const VARIANT& name, const VARIANT& groupClass,
                               const VARIANT& style, const VARIANT& note)
{
    m_strGid = VariantToText(gid);
    m_strName = VariantToText(name);
    m_strClass = VariantToText(groupClass);
    m_strStyle = VariantToText(style);
    m_strNote = VariantToText(note);
    m_group.m_nId = std::atoi(m_strGid.GetString());
    m_group.m_bstrName = m_strName.GetString();
    m_group.m_bstrSign = m_strNote.GetString();
    m_group.m_nIsMaster = 1;
    m_group.m_nStyle = std::atoi(m_strStyle.GetString());
    CAdhorApp& app = AdhorApp();
    if (app.m_hMainWnd && ::IsWindow(app.m_hMainWnd))
        ::SendMessage(app.m_hMainWnd, UM_GROUP_CREATED, reinterpret_cast<WPARAM>(&m_group), 0);
    InvokeScriptMethod("reset_grpInfo");
    app.m_strGroupId = m_strGid;
}

void CHTMLGrpAdd::ShowAddSucc()
{
    m_nStep = 2;
    if (auto* frame = dynamic_cast<CDialogGroupAdd*>(GetParent())) frame->ShowSuccessStep();
}

void CHTMLGrpAdd::ShowCurrentPage(const VARIANT&) {}
void CHTMLGrpAdd::ShowTotalPage(const VARIANT&) {}

void CHTMLGrpAdd::GetSelIDs(const VARIANT& ids)
{
    CAdhorApp& app = AdhorApp();
    app.m_strSelectedIds = VariantToText(ids);
    CDialogGroupAdd& frame = app.m_dlgGroupAdd;
    frame.ShowWindow(SW_HIDE);
    app.OpenInvite();
    FreeVistel(frame);
    // The frame goes once this call into it has returned.
    frame.PostMessage(WM_CLOSE, 0, 0);
}

void CHTMLGrpAdd::ShowMemberInfo(const VARIANT& id)
{
    CDialogGroupAdd& frame = AdhorApp().m_dlgGroupAdd;
    if (!frame.m_hVistel) return;
    auto show = PluginExport(frame.m_hVistel, VistelExports::Show);
    if (!show) return;
    const CAdhorApp& app = AdhorApp();
    show(2, std::atoi(VariantToText(id).GetString()), std::atoi(app.m_strOwnId.GetString()), app.m_strAccount,
         app.m_hMainWnd, app.m_strVerifyCode);
}

// ---------------------------------------------------------------- group frame

BEGIN_MESSAGE_MAP(CDialogGroupAdd, CPluginFrame)
    ON_BN_CLICKED(IDC_BTN_SUBMIT, OnSubmit)
    ON_BN_CLICKED(IDC_BTN_RESET, OnReset)
    ON_BN_CLICKED(IDC_BTN_ADD_MEMBERS, OnAddMembers)
    ON_BN_CLICKED(IDC_BTN_SUCCESS_CLOSE, OnCloseFrame)
    ON_BN_CLICKED(IDC_BTN_PASS_SELECTION, OnPassSelection)
    ON_BN_CLICKED(IDC_BTN_MEMBER_CLOSE, OnCloseFrame)
    ON_BN_CLICKED(IDC_BTN_PREV_PAGE, OnPrevPage)
    ON_BN_CLICKED(IDC_BTN_NEXT_PAGE, OnNextPage)
    ON_WM_SIZE()
    ON_WM_CLOSE()
    ON_WM_DESTROY()
END_MESSAGE_MAP()

CDialogGroupAdd::CDialogGroupAdd() : CPluginFrame(IDD_DLG_GROUP_ADD, m_page, IDB_PNG_TITLE, GroupPlacement(), 500) {}

CDialogGroupAdd::~CDialogGroupAdd()
{
    FreeVistel(*this);
}

CString CDialogGroupAdd::Caption() const
{
    return AdhorApp().m_nAddMember == 1 ? "添加成员" : "创建群";
}

BOOL CDialogGroupAdd::OnInitDialog()
{
    m_page.m_nStep = 1;
    m_page.m_nHtmlResID = IDR_HTML_CREATE;
    CPluginFrame::OnInitDialog();
    for (int i = 0; i < 8; ++i) {
        m_buttons[i].Create("", WS_CHILD, CRect(0, 0, 70, 26), this, kButtons[i].id);
        CResourceScope scope(AfxGetInstanceHandle());
        m_buttons[i].SetButtonImage(kButtons[i].image);
    }
    ShowButtons({IDC_BTN_SUBMIT, IDC_BTN_RESET});
    Layout(m_rcPlacement.Width(), m_rcPlacement.Height());
    // The card plug-in for the search rows' details buttons.
    m_hVistel = LoadLibrary("Vistel.dll");
    if (!m_hVistel) AfxMessageBox("Fail", MB_OK);
    return TRUE;
}

void CDialogGroupAdd::ShowButtons(std::initializer_list<int> shown)
{
    for (int i = 0; i < 8; ++i) {
        bool on = false;
        for (int id : shown) on = on || static_cast<int>(kButtons[i].id) == id;
        if (m_buttons[i].m_hWnd) m_buttons[i].ShowWindow(on ? SW_SHOW : SW_HIDE);
    }
}

void CDialogGroupAdd::ShowMemberStep()
{
    m_page.LoadFromResource(IDR_HTML_MEMBER);
    ShowButtons({IDC_BTN_PASS_SELECTION, IDC_BTN_MEMBER_CLOSE, IDC_BTN_PREV_PAGE, IDC_BTN_NEXT_PAGE});
    Invalidate(FALSE);
}

void CDialogGroupAdd::ShowSuccessStep()
{
    ShowButtons({IDC_BTN_ADD_MEMBERS, IDC_BTN_SUCCESS_CLOSE});
    m_page.LoadFromResource(IDR_HTML_SUCCESS);
}

void CDialogGroupAdd::Layout(int cx, int cy)
{
    if (!m_hWnd) return;
    if (m_page.m_hWnd) m_page.MoveWindow(4, 30, cx - 8, cy - 60);
    for (int i = 0; i < 8; ++i) {
        if (!m_buttons[i].m_hWnd) continue;
        int x = kButtons[i].x;
        if (x == 320) x = cx - 180;
        else if (x == 410) x = cx - 90;
        m_buttons[i].MoveWindow(x, cy - 28, 70, 26);
        if (m_pBgBitmap) m_buttons[i].SetButtonBackImage(m_pBgBitmap, x, cy - 28);
    }
}

void CDialogGroupAdd::OnSize(UINT type, int cx, int cy)
{
    CPluginFrame::OnSize(type, cx, cy);
    Layout(m_rcClient.right - m_rcClient.left, m_rcClient.bottom - m_rcClient.top);
}

void CDialogGroupAdd::OnSubmit()
{
    m_page.InvokeScriptMethod("submitGrpInfo");
}

void CDialogGroupAdd::OnReset()
{
    m_page.InvokeScriptMethod("reset_grpInfo");
}

void CDialogGroupAdd::OnAddMembers()
{
    ShowMemberStep();
}

void CDialogGroupAdd::OnCloseFrame()
{
    PostMessage(WM_CLOSE, 0, 0);
}

void CDialogGroupAdd::OnPassSelection()
{
    m_page.InvokeScriptMethod("passSelIDs");
}

void CDialogGroupAdd::OnPrevPage()
{
    m_page.InvokeScriptMethod("changePage", {"-1"});
}

void CDialogGroupAdd::OnNextPage()
{
    m_page.InvokeScriptMethod("changePage", {"1"});
}

void CDialogGroupAdd::OnClose()
{
    // The close box, 4003, 4005 and GetSelIDs all end here.
    FreeVistel(*this);
    CPluginFrame::OnClose();
}

void CDialogGroupAdd::OnDestroy()
{
    FreeVistel(*this);
    CPluginFrame::OnDestroy();
}

void FreeVistel(CDialogGroupAdd& frame)
{
    HMODULE vistel = frame.m_hVistel;
    frame.m_hVistel = nullptr;
    if (vistel) FreeLibrary(vistel);
}

// ---------------------------------------------------------------- invitation

BEGIN_DISPATCH_MAP(CHTMLInvite, CDHtmlDialog)
    DISP_FUNCTION(CHTMLInvite, "ConfirmSubmit", ConfirmSubmit, VT_EMPTY, VTS_NONE)
    DISP_FUNCTION(CHTMLInvite, "ShowSendTip", ShowSendTip, VT_EMPTY, VTS_NONE)
    DISP_FUNCTION(CHTMLInvite, "CloseWindow", CloseWindow, VT_EMPTY, VTS_NONE)
END_DISPATCH_MAP()

CHTMLInvite::CHTMLInvite() : CPluginPage(IDD_HTML_INVITE, IDR_HTML_INVITE) {}

// Confirming sends the invitation: the page's submitInvite with the kept
// selection, group and own user id (it checks the text, posts the call and
// shows the sent tip).
void CHTMLInvite::ConfirmSubmit()
{
    const CAdhorApp& app = AdhorApp();
    InvokeScriptMethod("submitInvite", {app.m_strSelectedIds, app.m_strGroupId, app.m_strOwnId});
}

void CHTMLInvite::ShowSendTip()
{
    LoadFromResource(IDR_HTML_SENT);
}

void CHTMLInvite::CloseWindow()
{
    if (CWnd* frame = GetParent()) frame->PostMessage(WM_CLOSE, 0, 0);
}

CDialogInvite::CDialogInvite() : CPluginFrame(IDD_DLG_INVITE, m_page, IDB_PNG_TITLE, InvitePlacement(), 300) {}

void RegisterAdhorTemplates()
{
    RegisterPluginTemplates(IDD_DLG_GROUP_ADD, IDD_HTML_GRP_ADD, GroupPlacement(), "创建群");
    RegisterPluginTemplates(IDD_DLG_INVITE, IDD_HTML_INVITE, InvitePlacement(), "");
}

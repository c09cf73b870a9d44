#include "Lum/chat/DlgChatMsgList.h"

#include "Common/Common.h"
#include "platform/windc.h"
#include "platform/codepage.h"
#include "Common/controls/GdiPlusBitmap.h"
#include "Common/stores/FileDbMsg.h"
#include "Common/XMLNode.h"
#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/KivMessages.h"
#include "Lum/chat/MessageBody.h"
#include "Lum/transfer/PeerTransfer.h"
#include "Lum/session/Workers.h"
#include "platform/commdlg.h"
#include "platform/config.h"
#include "platform/dialog.h"
#include "platform/files.h"
#include "platform/listctrl.h"
#include "platform/threads.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace {

const UINT kUserPaneTemplate = 104;
const UINT kUserPage = 105;
const UINT kGroupPaneTemplate = 106;
const UINT kGroupPage = 107;
const UINT kMemberList = 1031;

// Where the member list sits in the group pane: right column, under the card.
const int kMemberListWidth = 140;
const int kMemberListTop = 205;

const int kOffline = 3;
const long long kPictureLimit = 1048576;  // pictures must be smaller than 1 MB

const char* const kBoxTitle = "Orvane";
const char* const kPictureFilter =
    "所有图片文件|*.jpg;*.jpeg;*.gif;*.png;*.bmp|JPEG (*.jpg)|*.jpg|GIF (*.gif)|*.gif|PNG (*.png)|*.png|Bitmap "
    "(*.bmp)|*.bmp||";

int ToInt(const VARIANT& v)
{
    CString text = VariantToText(v);
    text.Trim();
    return text.IsEmpty() ? 0 : std::atoi(text.GetString());
}

// The local time as the history keeps it.
CString TimeText()
{
    const time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    char buffer[32];
    strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
    return buffer;
}

// Closes every image element: "/" goes before the ">" that ends it.
void CloseImageTags(CString& markup)
{
    int from = 0;
    for (;;) {
        const int img = markup.Find("<img", from);
        if (img < 0) break;
        const int end = markup.Find('>', img);
        if (end < 0) break;
        if (markup[end - 1] != '/') {
            markup.Insert(end, '/');
            from = end + 1;
        } else {
            from = end;
        }
    }
}

// The texts of the top element of the body, empty when it is not XML.
CString PlainText(const CString& markup)
{
    XMLResults results{};
    XMLNode root = XMLNode::parseString(markup, nullptr, &results);
    if (results.error != eXMLErrorNone && results.error != eXMLErrorMissingEndTag) return CString();
    XMLNode top = root;
    if (!top.isEmpty() && (!top.getName() || !*top.getName())) top = root.getChildNode(0);
    if (top.isEmpty()) return CString();
    return PlainTextOf(top);
}

// Pictures travel by name: "file://" followed by the files folder becomes
// "file:///" so that only the picture's name is left. The folder is looked
// for as written, then with its blanks as "%20", then escaped as the
// picture's address escapes it.
void StripFilesFolder(CString& markup, const CString& folder)
{
    markup.Replace("FILE:///", "file:///");
    if (markup.Find("file:///") < 0 || folder.IsEmpty()) return;
    CString blanks = folder;
    blanks.Replace(" ", "%20");
    const CString escaped = FileUrl(folder).Mid(7);  // without "file://"
    for (const CString& form : {folder, blanks, escaped}) {
        if (markup.Replace("file://" + form, "file:///") > 0) return;
        // A folder written without its leading separator.
        if (form.Left(1) == "/" && markup.Replace("file:///" + form.Mid(1), "file:///") > 0) return;
    }
}

// "Orvane" boxes of the send path.
void SendBox(CWnd* owner, const char* text)
{
    MessageBox(owner ? owner->GetSafeHwnd() : nullptr, text, kBoxTitle, MB_OK);
}

DialogTemplate PaneTemplate(UINT id)
{
    DialogTemplate t;
    t.id = id;
    t.cx = 592;
    t.cy = 412;
    t.style = WS_CHILD;
    return t;
}

}  // namespace

void RegisterChatPaneTemplates()
{
    static bool registered = false;
    if (registered) return;
    registered = true;
    HINSTANCE module = AfxGetInstanceHandle();
    RegisterDialogTemplate(module, PaneTemplate(kUserPaneTemplate));
    DialogTemplate group = PaneTemplate(kGroupPaneTemplate);
    DialogItemTemplate list;
    list.className = "SysListView32";
    list.id = kMemberList;
    list.x = group.cx - kMemberListWidth;
    list.y = kMemberListTop;
    list.cx = kMemberListWidth;
    list.cy = group.cy - kMemberListTop;
    list.style = WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_OWNERDRAWFIXED | LVS_NOCOLUMNHEADER;
    group.items.push_back(list);
    RegisterDialogTemplate(module, group);
}

ChatFont& GetChatFont()
{
    static ChatFont font;
    return font;
}

int& ChatSendKeyMode()
{
    static int mode = 0;
    return mode;
}

// ---------------------------------------------------------------- both panes

std::function<void(int, const CString&, int)> CDlgChatMsgListBase::s_showHistory;
std::function<bool()> CDlgChatMsgListBase::s_isCtrlDown = [] {
    return (GetKeyState(VK_LCONTROL) & 0x8000) != 0 || (GetKeyState(VK_RCONTROL) & 0x8000) != 0;
};

IMPLEMENT_DYNAMIC(CDlgChatMsgListBase, CDHtmlDialog)

BEGIN_DISPATCH_MAP(CDlgChatMsgListBase, CDHtmlDialog)
    DISP_FUNCTION(CDlgChatMsgListBase, "HTMLSendMsg", HTMLSendMsg, VT_EMPTY, VTS_NONE)
    DISP_FUNCTION(CDlgChatMsgListBase, "HTMLCloseDlg", HTMLCloseDlg, VT_EMPTY, VTS_NONE)
    DISP_FUNCTION(CDlgChatMsgListBase, "updateFontSet", updateFontSet, VT_EMPTY, VTS_VARIANT VTS_VARIANT)
END_DISPATCH_MAP()

BEGIN_DHTML_EVENT_MAP(CDlgChatMsgListBase)
    DHTML_EVENT_ONCLICK("ButtonOK", OnButtonOK)
    DHTML_EVENT_ONCLICK("ImgSendImage", OnImgSendImage)
    DHTML_EVENT_ONCLICK("ImgShowHistory", OnImgShowHistory)
    DHTML_EVENT_ONCLICK("imgColor", OnImgColor)
END_DHTML_EVENT_MAP()

CDlgChatMsgListBase::CDlgChatMsgListBase(UINT pageTemplateId, UINT htmlResourceId, CWnd* parent)
    : CDHtmlDialog(pageTemplateId, htmlResourceId, parent)
{
    RegisterChatPaneTemplates();
    EnableAutomation();
}

CDlgChatMsgListBase::~CDlgChatMsgListBase() = default;

BOOL CDlgChatMsgListBase::OnInitDialog()
{
    m_nDocComplete = 0;
    CDHtmlDialog::OnInitDialog();
    SetExternalDispatch(GetIDispatch(FALSE));
    // Files dropped on the pane must not replace the page.
    if (m_pBrowserApp) m_pBrowserApp->put_RegisterAsDropTarget(VARIANT_FALSE);
    m_strPageUrl = GetEndpointConfig().webBaseUrl + "/";
    return TRUE;
}

BOOL CDlgChatMsgListBase::IsExternalDispatchSafe()
{
    return TRUE;
}

HRESULT CDlgChatMsgListBase::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*)
{
    return S_OK;
}

HRESULT CDlgChatMsgListBase::TranslateAccelerator(LPMSG msg, const GUID* cmdGroup, DWORD cmdId)
{
    if (msg && msg->message == WM_KEYDOWN) {
        if (msg->wParam == VK_F5) return S_OK;  // no reload
        if (msg->wParam == VK_RETURN) {
            OnOK();
            return S_OK;
        }
    }
    return CDHtmlDialog::TranslateAccelerator(msg, cmdGroup, cmdId);
}

void CDlgChatMsgListBase::OnDocumentComplete(LPDISPATCH browser, LPCTSTR url)
{
    CDHtmlDialog::OnDocumentComplete(browser, url);
    CString loaded = url ? url : "";
    CString own = m_strPageUrl;
    loaded.TrimRight("/");
    own.TrimRight("/");
    if (loaded.CompareNoCase(own) != 0) return;
    // The page shows the pictures of the files folder (received, sent and
    // stored lines name them by their file: addresses).
    SetLocalFolder(FilesFolder());
    m_nDocComplete = 1;
    while (!m_lstPending.empty()) {
        const CString line = m_lstPending.front();
        m_lstPending.pop_front();
        InvokeScriptMethod("setHistoryTxt", {line});
    }
    const ChatFont& font = GetChatFont();
    InvokeScriptMethod("setFontInfo", {font.family, font.size, font.color, font.bold, font.italic, font.underline});
    CallSetInfo();
}

void CDlgChatMsgListBase::AppendHistoryLine(const CString& line)
{
    if (m_nDocComplete && m_hWnd)
        InvokeScriptMethod("setHistoryTxt", {line});
    else
        m_lstPending.push_back(line);
}

void CDlgChatMsgListBase::ShowNoticeLine(const CString& text)
{
    // The notice names a picture that arrived in the files folder: the page
    // shows it again from there.
    if (m_nDocComplete && m_hWnd) InvokeScriptMethod("ReLoadImg", {text, FilesFolder()});
}

void CDlgChatMsgListBase::InsertWriteText(const CString& markup)
{
    InvokeScriptMethod("insertWriteTxt", {markup});
}

void CDlgChatMsgListBase::OnOK()
{
    const bool ctrl = s_isCtrlDown && s_isCtrlDown();
    const int mode = ChatSendKeyMode();
    if (ctrl && mode == 0) return;
    if (!ctrl && mode == 1) {
        InsertWriteText("<br/>");
        return;
    }
    SendTyped();
}

void CDlgChatMsgListBase::OnCancel()
{
    // Escape inside the pane does not close the chat.
}

void CDlgChatMsgListBase::SendTyped()
{
    CString markup;
    if (!m_hWnd || InvokeScriptMethod("getWriteTxt", {}, &markup) != S_OK) {
        SendBox(this, "发送信息失败！");
        return;
    }
    if (markup.IsEmpty()) {
        SendBox(this, "请输入您要发送的信息");
        return;
    }
    if (markup == "err1000") {
        SendBox(this, "发送内容不能大于1000个字符!");
        return;
    }
    markup.Replace("<IMG", "<img");
    if (!ChatRecord()) {
        if (CWnd* parent = GetParent()) parent->DestroyWindow();
        return;
    }
    CloseImageTags(markup);
    markup.Replace("<br>", "<br/>");
    const CString time = TimeText();
    StoreSentLine(markup, PlainText(markup), time);
    StripFilesFolder(markup, FilesFolder());
    if (OwnStatus() == kOffline) {
        AppendHistoryLine("你处于离线状态,发送信息不能到达对方,请上线后再试");
        return;
    }
    // The page names the line it showed, so that it can be marked should
    // the service not take it.
    CString lineId;
    InvokeScriptMethod("nameSentLine", {}, &lineId);
    StartSend(markup, lineId);
}

LRESULT CDlgChatMsgListBase::OnSendFailed(WPARAM wParam, LPARAM)
{
    const char* lineId = reinterpret_cast<const char*>(wParam);
    if (lineId && *lineId && m_nDocComplete) InvokeScriptMethod("markUndelivered", {CString(lineId)});
    return 0;
}

void CDlgChatMsgListBase::HTMLSendMsg()
{
    OnOK();
}

void CDlgChatMsgListBase::HTMLCloseDlg()
{
    if (CWnd* parent = GetParent()) parent->PostMessage(WM_CLOSE, 0, 0);
}

void CDlgChatMsgListBase::updateFontSet(const VARIANT& name, const VARIANT& value)
{
    CString text = VariantToText(value);
    text.Trim();
    if (text.IsEmpty()) return;
    const CString key = VariantToText(name);
    ChatFont& font = GetChatFont();
    if (key == "fontfamily") {
        font.family = text;
    } else if (key == "fontsize") {
        text.Replace("px", "");
        font.size = std::atoi(text.GetString());
    } else if (key == "fontbold") {
        font.bold = text == "1" ? 1 : 0;
    } else if (key == "fontitalic") {
        font.italic = text == "1" ? 1 : 0;
    } else if (key == "underline") {
        font.underline = text == "1" ? 1 : 0;
    } else if (key == "fontcolor") {
        font.color = text;
    }
}

HRESULT CDlgChatMsgListBase::OnButtonOK(IHTMLElement*)
{
    // The button always sends; the send-key mode is about the keyboard.
    SendTyped();
    return S_OK;
}

HRESULT CDlgChatMsgListBase::OnImgSendImage(IHTMLElement*)
{
    CFileDialog dialog(TRUE, nullptr, nullptr, OFN_FILEMUSTEXIST | OFN_HIDEREADONLY, kPictureFilter, this);
    if (dialog.DoModal() != IDOK) return S_OK;
    const CString path = dialog.GetPathName();
    struct _stat status;
    if (_stat(path, &status) != 0) {
        AfxMessageBox("提取" + path + "失败!", MB_OK);
        return S_OK;
    }
    if (static_cast<long long>(status.st_size) >= kPictureLimit) {
        AfxMessageBox("请选择小于1M的图片!", MB_OK);
        return S_OK;
    }
    CString name;
    CCommon::getFileName(&name, OwnId());
    const CString ext = dialog.GetFileExt();
    CString target;
    target.Format("%s%s.%s", FilesFolder().GetString(), name.GetString(), ext.GetString());
    std::error_code error;
    std::filesystem::copy_file(path.str(), target.str(), std::filesystem::copy_options::overwrite_existing, error);
    if (error) {
        AfxMessageBox("提取" + path + "失败!", MB_OK);
        return S_OK;
    }
    // Names made by getFileName hold "#" (and folders may hold blanks or
    // "%"): the address is escaped, and every value is escaped for the markup.
    CString markup;
    markup.Format("<img id='%s.%s' src='%s'>", EscapeHtml(name).GetString(), EscapeHtml(ext).GetString(),
                  EscapeHtml(FileUrl(target)).GetString());
    InsertWriteText(markup);
    return S_OK;
}

HRESULT CDlgChatMsgListBase::OnImgShowHistory(IHTMLElement*)
{
    CData* rec = ChatRecord();
    if (rec && s_showHistory) s_showHistory(rec->m_nId, RecordName(), HistoryKind());
    return S_OK;
}

HRESULT CDlgChatMsgListBase::OnImgColor(IHTMLElement*)
{
    CColorDialog dialog(0, 0, this);
    // A cancelled dialog leaves the colour as it was.
    if (dialog.DoModal() != IDOK) return S_OK;
    const COLORREF color = dialog.GetColor();
    CString text;
    text.Format("#%02X%02X%02X", GetRValue(color), GetGValue(color), GetBValue(color));
    InvokeScriptMethod("setColor", {text});
    return S_OK;
}

int CDlgChatMsgListBase::OwnStatus()
{
    CKivDlg* main = KivMainWindow();
    return main ? main->m_nStatus : 1;
}

void* CDlgChatMsgListBase::HistoryStore()
{
    CKivDlg* main = KivMainWindow();
    return main ? &main->m_dbMsg : nullptr;
}

CString CDlgChatMsgListBase::FilesFolder()
{
    CKivApp* app = GetKivApp();
    return app ? app->m_strUserPath : CString();
}

// ---------------------------------------------------------------- user pane

std::function<void(CDlgChatMsgList*, const CString&, const CString&, int)> CDlgChatMsgList::s_acceptFile;

IMPLEMENT_DYNCREATE(CDlgChatMsgList, CDlgChatMsgListBase)

BEGIN_MESSAGE_MAP(CDlgChatMsgList, CDlgChatMsgListBase)
    ON_MESSAGE(UM_FILE_PROGRESS, OnFileProgress)
    ON_MESSAGE(UM_SEND_FAILED, OnSendFailed)
END_MESSAGE_MAP()

BEGIN_DISPATCH_MAP(CDlgChatMsgList, CDlgChatMsgListBase)
    DISP_FUNCTION(CDlgChatMsgList, "TrunFile", TrunFile, VT_EMPTY, VTS_VARIANT VTS_VARIANT VTS_VARIANT)
END_DISPATCH_MAP()

CDlgChatMsgList::CDlgChatMsgList() : CDlgChatMsgListBase(kUserPaneTemplate, kUserPage) {}

CDlgChatMsgList::~CDlgChatMsgList() = default;

CString CDlgChatMsgList::StateName(const CDataUser* user)
{
    if (!user) return "未知";
    switch (user->m_nStatus) {
    case 0: return user->m_strPhone.Find('@') < 0 ? "短信" : "未知";
    case 1: return "网站";
    case 2: return "PC端";
    case 3: return "手机";
    case 4: return "WAP";
    case 7: return "离线";
    default: return "未知";
    }
}

CData* CDlgChatMsgList::ChatRecord()
{
    return m_pUser;
}

void CDlgChatMsgList::StoreSentLine(const CString& markup, const CString& plain, const CString& time)
{
    if (m_pUser) m_pUser->UpdateMsgToHistory(markup, plain, 1, time, HistoryStore());
}

void CDlgChatMsgList::StartSend(const CString& markup, const CString& lineId)
{
    if (!m_pUser) return;
    auto* block = new SendMsgBlock;
    block->nUnused = OwnId();
    block->toid = m_pUser->m_nId;
    block->gid = m_pUser->m_nGroupId;
    block->msg = markup;
    block->pane = m_hWnd;
    block->lineId = lineId;
    // Pictures in the line may be fetched by the contact from now on, and
    // the contact must be able to reach this client for them.
    PeerOfferPictures(m_pUser->m_nId, markup);
    if (markup.Find("file:///") >= 0) PeerPicturesSent(m_pUser->m_nId, m_pUser->m_nGroupId);
    AfxBeginThread(ThreadSendUserMsg, block);
}

void CDlgChatMsgList::CallSetInfo()
{
    if (!m_pUser) return;
    InvokeScriptMethod("setInfo", {IdText(OwnId()), IdText(m_pUser->m_nId),
                                   CString(static_cast<const char*>(m_pUser->m_bstrSign)), StateName(m_pUser),
                                   m_pUser->m_strCity, RecordName()});
}

int CDlgChatMsgList::HistoryKind()
{
    return m_pUser ? m_pUser->m_nGroupId : 0;
}

CString CDlgChatMsgList::RecordName()
{
    if (!m_pUser) return CString();
    if (!m_pUser->m_strRemark.IsEmpty()) return m_pUser->m_strRemark;
    return static_cast<const char*>(m_pUser->m_bstrName);
}

LRESULT CDlgChatMsgList::OnFileProgress(WPARAM wParam, LPARAM lParam)
{
    const auto* fileId = reinterpret_cast<const CString*>(wParam);
    if (!fileId || !m_nDocComplete) return 0;
    const int percent = static_cast<int>(lParam);
    // The status tells the page whether the transfer is complete.
    InvokeScriptMethod("ReUpdateFileProgress", {*fileId, percent, percent >= 100 ? 1 : 0});
    return 0;
}

void CDlgChatMsgList::TrunFile(const VARIANT& fileId, const VARIANT& filePath, const VARIANT& groupId)
{
    const CString id = VariantToText(fileId);
    if (id.IsEmpty()) return;
    if (s_acceptFile) s_acceptFile(this, id, VariantToText(filePath), ToInt(groupId));
}

// ---------------------------------------------------------------- group pane

IMPLEMENT_DYNCREATE(CDlgChatMsgListGroup, CDlgChatMsgListBase)

BEGIN_DISPATCH_MAP(CDlgChatMsgListGroup, CDlgChatMsgListBase)
    DISP_FUNCTION(CDlgChatMsgListGroup, "AccessJoinGroup", AccessJoinGroup, VT_EMPTY, VTS_VARIANT)
END_DISPATCH_MAP()

CDlgChatMsgListGroup::CDlgChatMsgListGroup() : CDlgChatMsgListBase(kGroupPaneTemplate, kGroupPage) {}

CDlgChatMsgListGroup::~CDlgChatMsgListGroup() = default;

void CDlgChatMsgListGroup::DoDataExchange(CDataExchange* dx)
{
    CDlgChatMsgListBase::DoDataExchange(dx);
    DDX_Control(dx, kMemberList, m_listMembers);
}

BOOL CDlgChatMsgListGroup::OnInitDialog()
{
    m_nMembersFilled = 0;
    CDlgChatMsgListBase::OnInitDialog();
    if (m_listMembers.m_hWnd) {
        m_listMembers.SetRowHeight(27);
        m_listMembers.m_clrBack = 0xFFFFFFFF;
        m_listMembers.m_clrHover = 0xFFCFF5FF;
        m_listMembers.m_clrSelect = 0xFFFFEFB1;
        if (m_pGroup) m_listMembers.m_nListId = m_pGroup->m_nId;
        m_listMembers.BringWindowToTop();
    }
    return TRUE;
}

BEGIN_MESSAGE_MAP(CDlgChatMsgListGroup, CDlgChatMsgListBase)
    ON_WM_PAINT()
    ON_MESSAGE(UM_SEND_FAILED, OnSendFailed)
END_MESSAGE_MAP()

CRect CDlgChatMsgListGroup::PageRect(int cx, int cy)
{
    return CRect(0, 0, std::max(cx - kMemberListWidth, 1), cy);
}

void CDlgChatMsgListGroup::OnPaint()
{
    CPaintDC dc(this);
    CRect r;
    GetClientRect(&r);
    const int left = r.right - kMemberListWidth;
    Gdiplus::Graphics g(dc.m_hDC);
    Gdiplus::SolidBrush back(Gdiplus::Color(0xFFF4F8FD));
    g.FillRectangle(&back, left, 0, kMemberListWidth, kMemberListTop);
    Gdiplus::Pen line(Gdiplus::Color(0xFFC3D5EA));
    g.DrawLine(&line, left, 0, left, r.bottom);
    g.DrawLine(&line, left, kMemberListTop - 20, r.right, kMemberListTop - 20);
    Gdiplus::SolidBrush band(Gdiplus::Color(0xFFDCE8F5));
    g.FillRectangle(&band, left + 1, kMemberListTop - 19, kMemberListWidth - 1, 19);
    if (!m_pGroup) return;
    // The group's card: head, name, id and the first 20 characters of its note.
    Gdiplus::Bitmap* head = m_pGroup->m_imgHead;
    std::unique_ptr<Gdiplus::Bitmap> fallback;
    if (!head) {
        fallback.reset(CopyPngResource(153, AfxGetInstanceHandle()));
        head = fallback.get();
    }
    if (head) g.DrawImage(head, left + (kMemberListWidth - 64) / 2, 10, 64, 64);
    Gdiplus::FontFamily family(L"宋体");
    Gdiplus::Font bold(&family, 14, Gdiplus::FontStyleBold, Gdiplus::UnitPixel);
    Gdiplus::Font plain(&family, 12, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
    Gdiplus::SolidBrush dark(Gdiplus::Color(0xFF1F3347));
    Gdiplus::SolidBrush grey(Gdiplus::Color(0xFF6B7D90));
    Gdiplus::StringFormat centre;
    centre.SetAlignment(Gdiplus::StringAlignmentCenter);
    auto text = [&](const CString& value, Gdiplus::Font* font, Gdiplus::Brush* brush, int y, int h) {
        const std::wstring wide = MultiByteToWide(CP_ACP, value.str());
        g.DrawString(wide.c_str(), static_cast<Gdiplus::INT>(wide.size()), font,
                     Gdiplus::RectF(static_cast<Gdiplus::REAL>(left + 4), static_cast<Gdiplus::REAL>(y),
                                    static_cast<Gdiplus::REAL>(kMemberListWidth - 8), static_cast<Gdiplus::REAL>(h)),
                     &centre, brush);
    };
    CString id;
    id.Format("(%d)", m_pGroup->m_nId);
    const CString name = NameOf(m_pGroup);
    text(name.IsEmpty() ? id : name, &bold, &dark, 80, 36);
    text(id, &plain, &grey, 116, 16);
    const std::wstring note = MultiByteToWide(CP_ACP, static_cast<const char*>(m_pGroup->m_bstrSign));
    text(CString(WideToMultiByte(CP_ACP, note.substr(0, 20)).c_str()), &plain, &grey, 134, 48);
    text("群成员", &plain, &dark, kMemberListTop - 17, 16);
}

void CDlgChatMsgListGroup::OnSize(UINT type, int cx, int cy)
{
    CDlgChatMsgListBase::OnSize(type, cx, cy);
    if (m_listMembers.m_hWnd) {
        m_listMembers.MoveWindow(cx - kMemberListWidth, kMemberListTop, kMemberListWidth, cy - kMemberListTop);
        // The page's view comes up above the pane's controls when it is
        // shown; the list stays on top of it.
        m_listMembers.BringWindowToTop();
    }
}

void CDlgChatMsgListGroup::OnDocumentComplete(LPDISPATCH browser, LPCTSTR url)
{
    CString loaded = url ? url : "";
    CString own = m_strPageUrl;
    loaded.TrimRight("/");
    own.TrimRight("/");
    if (!m_nMembersFilled && m_pGroup && loaded.CompareNoCase(own) == 0) {
        m_nMembersFilled = 1;
        FillMembers();
    }
    CDlgChatMsgListBase::OnDocumentComplete(browser, url);
}

void CDlgChatMsgListGroup::FillMembers()
{
    if (!m_listMembers.m_hWnd) return;
    m_listMembers.DeleteAllUsers();
    if (m_pGroup) {
        m_listMembers.m_nListId = m_pGroup->m_nId;
        m_listMembers.m_bIsMaster = m_pGroup->m_nIsMaster == 1 ? 1 : 0;
        m_listMembers.AddUsers(m_pGroup->m_mapMembers);
    }
    m_listMembers.SendMessage(WM_SIZE, 0, 0);
    m_listMembers.BringWindowToTop();
}

void CDlgChatMsgListGroup::AccessJoinGroup(const VARIANT& userId)
{
    const int id = ToInt(userId);
    if (id <= 0 || !m_pGroup) return;
    if (OwnStatus() == kOffline) {
        AppendHistoryLine("你处于离线状态,请上线后再试");
        return;
    }
    auto* block = new JoinGroupRespBlock;
    block->toid = id;
    block->gid = m_pGroup->m_nId;
    block->gname = static_cast<const char*>(m_pGroup->m_bstrName);
    AfxBeginThread(ThreadDealJoinGroupResp, block);
    if (!m_pGroup->m_mapMembers.count(id)) {
        auto* member = new CDataUser;
        member->m_nId = id;
        member->m_nGroupId = m_pGroup->m_nId;
        member->m_bstrName = IdText(id).GetString();
        m_pGroup->m_mapMembers[id] = member;
    }
    FillMembers();
}

CData* CDlgChatMsgListGroup::ChatRecord()
{
    return m_pGroup;
}

void CDlgChatMsgListGroup::StoreSentLine(const CString& markup, const CString& plain, const CString& time)
{
    if (m_pGroup) m_pGroup->UpdateMsgToHistory(OwnId(), markup, plain, 1, time, HistoryStore());
}

void CDlgChatMsgListGroup::StartSend(const CString& markup, const CString& lineId)
{
    if (!m_pGroup) return;
    auto* block = new SendMsgBlock;
    block->gid = m_pGroup->m_nId;
    block->msg = markup;
    block->pane = m_hWnd;
    block->lineId = lineId;
    // Every member fetches the line's pictures from this client.
    if (markup.Find("file:///") >= 0) {
        PeerOfferPictures(m_pGroup->m_nId, markup);
        const int own = OwnId();
        for (const auto& member : m_pGroup->m_mapMembers)
            if (member.first != own && member.first > 0) PeerPicturesSent(member.first, m_pGroup->m_nId);
    }
    AfxBeginThread(ThreadSendGroupMsg, block);
}

void CDlgChatMsgListGroup::CallSetInfo()
{
    if (!m_pGroup) return;
    InvokeScriptMethod("setInfo", {IdText(m_pGroup->m_nId), CString(static_cast<const char*>(m_pGroup->m_bstrSign)), RecordName()});
}

int CDlgChatMsgListGroup::HistoryKind()
{
    return m_pGroup && m_pGroup->m_nStyle == 4 ? 4 : 3;
}

CString CDlgChatMsgListGroup::RecordName()
{
    return NameOf(m_pGroup);
}

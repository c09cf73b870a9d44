#include "plugins/Mievo/HeadPhoto.h"

#include "Common/records/Data.h"
#include "plugins/Mievo/MievoApp.h"

const char* const kHeadNotReadable = "新头像无法读取，仍使用原来的头像!";

namespace {

CRect Placement()
{
    return CRect(250, 250, 250 + 500, 250 + 400);
}

}  // namespace

IMPLEMENT_DYNCREATE(CHTMLHeadPhoto, CDHtmlDialog)

BEGIN_DISPATCH_MAP(CHTMLHeadPhoto, CDHtmlDialog)
    DISP_FUNCTION(CHTMLHeadPhoto, "ConfirmHeadChg", ConfirmHeadChg, VT_EMPTY, VTS_NONE)
    DISP_FUNCTION(CHTMLHeadPhoto, "CloseDialog", CloseDialog, VT_EMPTY, VTS_NONE)
END_DISPATCH_MAP()

CHTMLHeadPhoto::CHTMLHeadPhoto() : CPluginPage(IDD_HTML_HEADPHOTO, IDR_HTML_HEADPHOTO) {}

CHTMLHeadPhoto::~CHTMLHeadPhoto()
{
    if (m_nListener) lumheads::RemoveHeadListener(m_nListener);
}

void CHTMLHeadPhoto::OnDocumentComplete(LPDISPATCH browser, LPCTSTR url)
{
    CPluginPage::OnDocumentComplete(browser, url);
    m_strUserId = MievoApp().m_strAccount;
    SetElementValue("hid_userID", m_strUserId);
}

void CHTMLHeadPhoto::ConfirmHeadChg()
{
    CWnd* frame = GetParent();
    // 1. The window that opened this one shows the new head (the profile
    // window; a head-photo window has no owner of its own).
    CWnd* owner = frame ? frame->GetOwner() : nullptr;
    HWND profile = owner && owner->m_hWnd ? owner->m_hWnd : MievoApp().m_dlgUserInfo.m_hWnd;
    if (profile && ::IsWindow(profile)) ::SendMessage(profile, kMsgOwnHeadChanged, 0, 0);

    // 2.-4. The own record takes the new head only when it downloads and
    // decodes; then it is stored and the main window redraws it. The head
    // loader fetches it anew in the background.
    CDataUser* own = Mievo().own;
    if (own && own->m_nId >= 1) {
        m_nAwaitedId = own->m_nId;
        if (!m_nListener)
            m_nListener = lumheads::AddHeadListener(
                [this](const std::vector<const lumheads::Head*>& batch) { OnHeadsArrived(batch); });
        lumheads::RequestHead(false, own->m_nId, true);
    }
    // 5.
    if (frame && frame->m_hWnd) frame->PostMessage(WM_CLOSE, 0, 0);
}

void CHTMLHeadPhoto::OnHeadsArrived(const std::vector<const lumheads::Head*>& batch)
{
    for (const lumheads::Head* head : batch) {
        if (head->group || head->id != m_nAwaitedId) continue;
        lumheads::RemoveHeadListener(m_nListener);
        m_nListener = 0;
        m_nAwaitedId = 0;
        CDataUser* own = Mievo().own;
        if (!own || own->m_nId != head->id) return;
        if (!head->image) {
            AfxMessageBox(kHeadNotReadable, MB_OK);
            return;
        }
        if (!own->m_imgHead) own->m_imgHead = new Gdiplus::Bitmap(40, 40, Gdiplus::PixelFormat32bppARGB);
        {
            Gdiplus::Graphics g(own->m_imgHead);
            g.DrawImage(head->image, 0, 0);
        }
        own->Update(Mievo().store);
        if (Mievo().mainWnd && ::IsWindow(Mievo().mainWnd)) ::SendMessage(Mievo().mainWnd, kMsgOwnHeadChanged, 0, 1);
        return;
    }
}

void CHTMLHeadPhoto::CloseDialog()
{
    CWnd* frame = GetParent();
    if (frame && frame->m_hWnd) frame->PostMessage(WM_CLOSE, 0, 0);
}

CDialogHeadPhoto::CDialogHeadPhoto()
    : CPluginFrame(IDD_DIALOG_HEADPHOTO, m_html, IDB_PNG_MIEVO_TITLE, Placement(), 500)
{
}

CString CDialogHeadPhoto::Caption() const
{
    return "更换头像";
}

void RegisterHeadPhotoTemplates()
{
    RegisterPluginTemplates(IDD_DIALOG_HEADPHOTO, IDD_HTML_HEADPHOTO, Placement(), "更换头像");
}

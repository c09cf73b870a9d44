// The main window's part in applying settings: the skin chooser, the skin on
// every open window, the black-list removals of the settings window and the
// report of a hotkey that cannot be registered.
#include "Lum/KivDlgSettings.h"

#include "Lum/chat/DlgChatMsgList.h"
#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/LumResource.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/gdiplus.h"
#include "platform/module.h"

#include <cstdlib>
#include <memory>
#include <string>

bool IsSkinImageUsable(const CString& path)
{
    if (path.IsEmpty() || !PathFileExists(path)) return false;
    const std::wstring wide = MultiByteToWide(CP_ACP, path.GetString());
    std::unique_ptr<Gdiplus::Image> image(Gdiplus::Image::FromFile(wide.c_str()));
    return image && image->GetLastStatus() == Gdiplus::Ok && image->GetWidth() > 0 && image->GetHeight() > 0;
}

void ReportHotKeyTaken(const CString& value)
{
    CString text;
    text.Format("读取信息热键 %s 已被其他程序占用，请在系统设置中另选热键。", value.GetString());
    AfxMessageBox(text, MB_OK | MB_ICONWARNING);
}

void ApplyChatFontSettings(const CKivApp* app)
{
    if (!app) return;
    ChatFont& font = GetChatFont();
    font.family = app->m_strFontFamily;
    font.size = app->m_nFontSize;
    font.color = app->m_strFontColor;
    font.bold = app->m_nFontBold;
    font.italic = app->m_nFontItalic;
    font.underline = app->m_nFontUnderline;
}

void KeepChatFontSettings(CKivApp* app)
{
    if (!app) return;
    const ChatFont& font = GetChatFont();
    app->m_strFontFamily = font.family;
    app->m_nFontSize = font.size;
    app->m_strFontColor = font.color;
    app->m_nFontBold = font.bold;
    app->m_nFontItalic = font.italic;
    app->m_nFontUnderline = font.underline;
}

void RemoveBlackListIds(std::set<int>& blackList, const CString& ids)
{
    const CString wrapped = "," + ids + ",";
    int start = 0;
    for (;;) {
        const int comma = wrapped.Find(',', start);
        if (comma < 0) break;
        const CString item = wrapped.Mid(start, comma - start);
        if (!item.IsEmpty()) blackList.erase(std::atoi(item.GetString()));
        start = comma + 1;
    }
}

LRESULT CKivDlg::OnBlackListRemoved(WPARAM wParam, LPARAM)
{
    const CString* ids = reinterpret_cast<const CString*>(wParam);
    if (ids) RemoveBlackListIds(m_book.BlackList(), *ids);
    return 0;
}

void CKivDlg::ShowSkinChooser()
{
    if (!m_pDlgSkin) m_pDlgSkin = std::make_unique<CDlgChangeSkin>();
    if (!m_pDlgSkin->m_hWnd && !m_pDlgSkin->CreateChooser(this)) return;
    CRect button;
    m_btnSkin.GetWindowRect(&button);
    m_pDlgSkin->MoveWindow(button.right - 300, button.top + 26, 300, 230);
    m_pDlgSkin->ShowWindow(SW_SHOW);
    m_pDlgSkin->UpdateWindow();
}

namespace {

// Lays out a skinned top-level window again at its size, which rebuilds its
// background with the skin, and repaints it.
void Reskin(CWnd* wnd)
{
    if (!wnd || !wnd->m_hWnd || wnd->GetParent()) return;
    if (!dynamic_cast<CDlgBase*>(wnd)) return;
    CRect r;
    wnd->GetClientRect(&r);
    wnd->SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.Width(), r.Height()));
    wnd->Invalidate(FALSE);
}

}  // namespace

void CKivDlg::ApplySkinToOpenWindows()
{
    m_listGroup.RefreshChatWindows();
    m_listFriend.RefreshChatWindows();
    m_listStranger.RefreshChatWindows();
    // The windows of the feature plug-ins that are open.
    for (HMODULE module : {m_hPlugin, m_hQuillon}) {
        if (!module || !IsModuleLoaded(module)) continue;
        for (HWND hwnd : GetModuleWindows(module)) Reskin(CWnd::FromHandle(hwnd));
    }
}

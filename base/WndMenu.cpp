#include "base/WndMenu.h"

#include "base/BaseModule.h"
#include "base/MenuCommands.h"
#include "platform/config.h"
#include "platform/shell.h"
#include "platform/uiapp.h"
#include "platform/windc.h"

#include <algorithm>
#include <functional>
#include <sstream>

IMPLEMENT_DYNAMIC(CMenuEx, CMenu)
IMPLEMENT_DYNAMIC(CWndMenu, CWnd)

BEGIN_MESSAGE_MAP(CWndMenu, CWnd)
    ON_COMMAND_RANGE(9026, 9076, OnMenuCommand)
END_MESSAGE_MAP()

namespace {

// The tool bar's button ids, in image order (TOOLBAR 13008).
std::vector<UINT> toolbarIds(HINSTANCE module)
{
    std::vector<UINT> ids;
    HRSRC res = FindResource(module, MAKEINTRESOURCE(IDR_TOOLBAR_MENUICONS), RT_TOOLBAR);
    if (!res) return ids;
    const char* text = static_cast<const char*>(LockResource(LoadResource(module, res)));
    if (!text) return ids;
    std::istringstream in(std::string(text, SizeofResource(module, res)));
    UINT id;
    while (in >> id) ids.push_back(id);
    return ids;
}

void collectIds(CMenu* menu, std::vector<UINT>& ids)
{
    for (int i = 0; menu && i < menu->GetMenuItemCount(); ++i) {
        const UINT id = menu->GetMenuItemID(i);
        if (id == static_cast<UINT>(-1)) collectIds(menu->GetSubMenu(i), ids);
        else if (id != 0) ids.push_back(id);
    }
}

CMenuItemRecord* recordAt(CMenu* menu, int position)
{
    return reinterpret_cast<CMenuItemRecord*>(menu->GetMenuItemData(static_cast<UINT>(position), MF_BYPOSITION));
}

template <class T> bool contains(const std::vector<T>& v, const T& x)
{
    return std::find(v.begin(), v.end(), x) != v.end();
}

void forEachMenu(CMenuEx* menu, const std::function<void(CMenuEx*)>& f)
{
    f(menu);
    for (CMenuEx* sub : menu->m_subMenus) forEachMenu(sub, f);
}

// The layout of the template's popup `popup` with the commands `ids` kept.
CWndMenu::MenuLayout Keeping(int popup, std::vector<UINT> ids)
{
    CWndMenu::MenuLayout layout;
    layout.popup = popup;
    layout.keepIds = std::move(ids);
    return layout;
}

}  // namespace

// ---------------------------------------------------------------- CMenuEx

CMenuEx::~CMenuEx()
{
    DestroyMenu();
    for (CMenuEx* sub : m_subMenus) delete sub;
    for (CMenuItemRecord* r : m_records) delete r;
}

BOOL CMenuEx::BuildFrom(CMenu* tmpl)
{
    if (!tmpl || !tmpl->GetSafeHmenu() || !CreatePopupMenu()) return FALSE;
    m_clrHighlightText = GetSysColor(COLOR_HIGHLIGHTTEXT);
    m_clrText = GetSysColor(COLOR_MENUTEXT);
    for (int i = 0; i < tmpl->GetMenuItemCount(); ++i) {
        CMenu* popup = tmpl->GetSubMenu(i);
        if (!popup) continue;
        CString caption;
        tmpl->GetMenuString(static_cast<UINT>(i), caption, MF_BYPOSITION);
        auto* sub = new CMenuEx;
        sub->topMenu_ = this;
        sub->CreatePopupMenu();
        convert(popup, sub, this);
        m_subMenus.push_back(sub);
        AppendMenu(MF_POPUP, reinterpret_cast<UINT_PTR>(sub->GetSafeHmenu()), caption);
    }
    return TRUE;
}

void CMenuEx::convert(CMenu* from, CMenuEx* to, CMenuEx* top)
{
    to->m_clrHighlightText = top->m_clrHighlightText;
    to->m_clrText = top->m_clrText;
    for (int i = 0; i < from->GetMenuItemCount(); ++i) {
        auto* record = new CMenuItemRecord;
        top->m_records.push_back(record);
        const UINT id = from->GetMenuItemID(i);
        const UINT state = from->GetMenuState(static_cast<UINT>(i), MF_BYPOSITION);
        from->GetMenuString(static_cast<UINT>(i), record->m_strText, MF_BYPOSITION);
        const LPCTSTR data = reinterpret_cast<LPCTSTR>(record);
        if (id == static_cast<UINT>(-1)) {
            auto* nested = new CMenuEx;
            nested->topMenu_ = top;
            nested->CreatePopupMenu();
            convert(from->GetSubMenu(i), nested, top);
            to->m_subMenus.push_back(nested);
            record->m_nID = -1;
            to->AppendMenu(MF_POPUP | MF_OWNERDRAW, reinterpret_cast<UINT_PTR>(nested->GetSafeHmenu()), data);
        } else if (id == 0) {
            record->m_nID = 0;
            to->AppendMenu(MF_SEPARATOR | MF_OWNERDRAW, 0, data);
        } else {
            record->m_nID = static_cast<int>(id);
            to->AppendMenu(MF_OWNERDRAW | (state & (MF_CHECKED | MF_GRAYED)), id, data);
        }
    }
}

BOOL CMenuEx::LoadIcons()
{
    const HINSTANCE base = GetBaseModuleHandle();
    const std::vector<UINT> ids = toolbarIds(base);
    const int count = static_cast<int>(std::count_if(ids.begin(), ids.end(), [](UINT id) { return id != 0; }));
    CBitmap strip;
    {
        CResourceScope scope(base);
        if (count == 0 || !strip.LoadBitmap(IDR_TOOLBAR_MENUICONS)) return FALSE;
    }
    BITMAP info;
    strip.GetBitmap(&info);
    const int w = info.bmWidth / count, h = info.bmHeight;
    m_ImageList.DeleteImageList();
    m_ImageList.Create(w, h, ILC_COLOR24 | ILC_MASK, 0, 5);
    m_ImageList.Add(&strip, RGB(0xC0, 0xC0, 0xC0));
    for (CMenuItemRecord* r : m_records) {
        auto it = std::find(ids.begin(), ids.end(), static_cast<UINT>(r->m_nID));
        if (r->m_nID > 0 && it != ids.end()) {
            r->m_nImage = static_cast<int>(it - ids.begin());
            r->m_pImageList = &m_ImageList;
        }
    }
    forEachMenu(this, [w, h](CMenuEx* m) {
        m->m_nIconWidth = w;
        m->m_nIconHeight = h;
    });
    return TRUE;
}

void CMenuEx::MarkForChecks()
{
    if (!m_bCheckCreated) {
        m_bCheckCreated = m_bmpCheck.CreateBitmap(22, 68, 1, 32, nullptr);
        m_szCheck.cx = 22;
        m_szCheck.cy = 68;
    }
    for (CMenuItemRecord* r : m_records) r->m_nMeasure = 1;
}

void CMenuEx::MeasureItem(LPMEASUREITEMSTRUCT mis)
{
    auto* record = reinterpret_cast<CMenuItemRecord*>(mis->itemData);
    if (!record) return;
    if (record->m_nID == 0) {
        mis->itemWidth = 0;
        mis->itemHeight = static_cast<UINT>(m_nSeparatorHeight);
        return;
    }
    // Text is measured as the main window shows it.
    CWnd* main = AfxGetMainWnd();
    HWND measuring = main && IsWindow(main->m_hWnd) ? main->m_hWnd : nullptr;
    HDC hdc = ::GetDC(measuring);
    CSize text(record->m_strText.GetLength() * 12, 14);
    if (hdc) {
        text = CDC::FromHandle(hdc)->GetTextExtent(record->m_strText);
        ::ReleaseDC(measuring, hdc);
    }
    int width = static_cast<int>(text.cx) + m_nIconWidth;
    if (record->m_nMeasure == 1) width += 30;
    if (record->m_nID == -1) width += 15;
    mis->itemWidth = static_cast<UINT>(width);
    mis->itemHeight = static_cast<UINT>(m_nIconHeight + 4);
}

void CMenuEx::DrawItem(LPDRAWITEMSTRUCT dis)
{
    auto* record = reinterpret_cast<CMenuItemRecord*>(dis->itemData);
    CDC* dc = CDC::FromHandle(dis->hDC);
    if (!record || !dc) return;
    const CRect r(dis->rcItem);
    dc->FillSolidRect(&r, RGB(255, 255, 255));
    dc->FillSolidRect(r.left, r.top, m_nIconWidth + 5, r.Height(), RGB(0xF0, 0xF0, 0xF0));
    if (record->m_nID == 0) {
        const int x = r.left + m_nIconWidth + 7;
        dc->Draw3dRect(x, r.top + r.Height() / 2 - 1, r.right - x, 2, RGB(0xC0, 0xC0, 0xC0), RGB(255, 255, 255));
        return;
    }
    const bool selected = (dis->itemState & ODS_SELECTED) != 0;
    const bool grayed = (dis->itemState & (ODS_GRAYED | ODS_DISABLED)) != 0;
    const bool checked = (dis->itemState & ODS_CHECKED) != 0;
    if (selected) {
        CPen pen(PS_SOLID, 1, RGB(195, 235, 255));
        CBrush brush(RGB(195, 235, 255));
        CPen* oldPen = dc->SelectObject(&pen);
        CBrush* oldBrush = dc->SelectObject(&brush);
        dc->Rectangle(&r);
        dc->SelectObject(oldPen);
        dc->SelectObject(oldBrush);
    }
    dc->SetBkMode(TRANSPARENT);
    CRect textRect(r.left + m_nIconWidth + 15, r.top + 5, r.right, r.bottom);
    if (grayed) {
        dc->DrawState(textRect.TopLeft(), textRect.Size(), record->m_strText, DSS_DISABLED | DST_PREFIXTEXT, TRUE, 0,
                      static_cast<CBrush*>(nullptr));
    } else {
        dc->SetTextColor(selected ? m_clrText : m_clrText);
        dc->DrawText(record->m_strText, &textRect, DT_VCENTER | DT_SINGLELINE | DT_EXPANDTABS);
    }
    if (checked) {
        CRect cell(r.left + 2, r.top + 2, r.left + m_nIconWidth + 4, r.top + m_nIconHeight + 4);
        cell.DeflateRect(2, 2);
        const CString glyph("√");
        if (grayed) {
            CRect etched = cell;
            etched.OffsetRect(1, 1);
            dc->SetTextColor(RGB(255, 255, 255));
            dc->DrawText(glyph, &etched, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            dc->SetTextColor(RGB(0x7F, 0x7F, 0x7F));
        } else {
            dc->SetTextColor(GetSysColor(COLOR_MENUTEXT));
        }
        dc->DrawText(glyph, &cell, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    } else if (record->m_nImage >= 0 && record->m_pImageList) {
        POINT p;
        p.x = r.left + 4;
        p.y = r.top + 4;
        record->m_pImageList->Draw(dc, record->m_nImage, p, ILD_TRANSPARENT | (grayed ? ILD_BLEND50 : 0));
    }
}

// ---------------------------------------------------------------- CWndMenu

BOOL CWndMenu::_LoadMenu(CMenu* menu, HINSTANCE)
{
    if (!menu) return FALSE;
    return menu->LoadMenu(GetBaseModuleHandle(), IDR_MENU_POPUPS);
}

void CWndMenu::SetGroupBother(CMenu* menu, int days)
{
    if (!menu) return;
    UINT id = 0;
    if (days == 1) id = IDM_BLOCK_1_DAY;
    else if (days == 2 || days == 3) id = IDM_BLOCK_3_DAYS;
    else if (days >= 4 && days <= 7) id = IDM_BLOCK_7_DAYS;
    if (id) menu->CheckMenuItem(id, MF_BYCOMMAND | MF_CHECKED);
}

CMenuEx* CWndMenu::Build(CMenuEx& menu, const MenuLayout& layout)
{
    CMenu tmpl;
    if (!_LoadMenu(&tmpl, GetBaseModuleHandle()) || !menu.BuildFrom(&tmpl)) return nullptr;
    if (layout.icons) menu.LoadIcons();
    if (layout.checkPass) menu.MarkForChecks();
    auto* popup = dynamic_cast<CMenuEx*>(menu.GetSubMenu(layout.popup));
    // A nested popup shown on its own is taken by its place in the template.
    if (popup && layout.nestedPopup >= 0) popup = dynamic_cast<CMenuEx*>(popup->GetSubMenu(layout.nestedPopup));
    if (!popup) return nullptr;

    std::vector<UINT> ids;
    collectIds(popup, ids);
    for (UINT id : ids)
        if (!contains(layout.keepIds, id))
            while (popup->RemoveMenu(id, MF_BYCOMMAND)) {
            }
    for (int i = popup->GetMenuItemCount() - 1; i >= 0; --i) {
        if (popup->GetMenuItemID(i) != static_cast<UINT>(-1)) continue;
        CMenuItemRecord* record = recordAt(popup, i);
        if (!record || !contains(layout.keepPopups, record->m_strText)) popup->DeleteMenu(static_cast<UINT>(i), MF_BYPOSITION);
    }
    if (layout.days >= 0) SetGroupBother(popup, layout.days);
    if (layout.checkId) popup->CheckMenuItem(layout.checkId, MF_BYCOMMAND | MF_CHECKED);
    return popup;
}

void CWndMenu::show(CWnd* owner, HINSTANCE caller, const MenuLayout& layout)
{
    AfxSetResourceHandle(GetBaseModuleHandle());
    {
        CMenuEx menu;
        if (CMenuEx* popup = Build(menu, layout)) {
            POINT p;
            GetCursorPos(&p);
            popup->TrackPopupMenu(TPM_RIGHTBUTTON, p.x, p.y - layout.yOffset, owner);
        }
    }
    AfxSetResourceHandle(caller);
}

CWndMenu::MenuLayout CWndMenu::LoginLayout()
{
    MenuLayout layout = Keeping(4, {9071, 9072});
    layout.icons = true;
    return layout;
}

CWndMenu::MenuLayout CWndMenu::TaskBarLayout()
{
    MenuLayout layout = Keeping(3, {9071, 9072, 9073, 9074, 9063, 9066});
    layout.icons = true;
    return layout;
}

CWndMenu::MenuLayout CWndMenu::MainLayout()
{
    MenuLayout layout = Keeping(2, {9036, 9067, 9026, 9035, 9069, 9070, 9064, 9065, 9066});
    layout.keepPopups = {"服务", "工具"};
    layout.icons = true;
    layout.yOffset = 165;
    return layout;
}

CWndMenu::MenuLayout CWndMenu::FriendBlankLayout()
{
    return Keeping(1, {9036});
}

CWndMenu::MenuLayout CWndMenu::FriendLayout()
{
    return Keeping(1, {9028, 9035, 9044, 9046, 9030, 9052});
}

CWndMenu::MenuLayout CWndMenu::BlackLayout()
{
    return Keeping(1, {9028, 9045, 9030, 9052});
}

CWndMenu::MenuLayout CWndMenu::StrangerLayout()
{
    return Keeping(1, {9028, 9043, 9077, 9030, 9052});
}

CWndMenu::MenuLayout CWndMenu::GroupBlankLayout()
{
    return Keeping(0, {9067, 9026});
}

CWndMenu::MenuLayout CWndMenu::GroupMasterLayout(int days)
{
    MenuLayout layout = Keeping(1, {9034, 9035, 9039, 9040, 9042, 9031, 9032, 9033, 9048});
    layout.keepPopups = {"屏蔽群短信"};
    layout.days = days;
    return layout;
}

CWndMenu::MenuLayout CWndMenu::GroupNoMasterLayout(int days)
{
    MenuLayout layout = Keeping(1, {9034, 9035, 9041, 9042, 9031, 9032, 9033, 9049});
    layout.keepPopups = {"屏蔽群短信"};
    layout.days = days;
    layout.checkPass = false;
    return layout;
}

CWndMenu::MenuLayout CWndMenu::AddBlacklistLayout()
{
    MenuLayout layout = Keeping(0, {9031, 9032, 9033});
    layout.nestedPopup = 7;
    return layout;
}

CWndMenu::MenuLayout CWndMenu::GroupMasterMemberLayout(int self, int deputy)
{
    MenuLayout layout = Keeping(1, {9028, 9035, 9038, 9047, 9030, 9052});
    if (!self) layout.keepIds.push_back(deputy == 1 ? 9082 : 9081);
    return layout;
}

CWndMenu::MenuLayout CWndMenu::GroupNoMasterMemberLayout()
{
    return Keeping(1, {9028, 9035, 9043, 9029, 9030, 9052});
}

CWndMenu::MenuLayout CWndMenu::GroupMeetingMemberLayout()
{
    return Keeping(0, {9028, 9029, 9030});
}

CWndMenu::MenuLayout CWndMenu::GroupMeetingMasterLayout()
{
    return Keeping(5, {9034, 9035, 9040, 9048});
}

CWndMenu::MenuLayout CWndMenu::GroupMeetingNoMasterLayout()
{
    return Keeping(5, {9034, 9035, 9049});
}

CWndMenu::MenuLayout CWndMenu::ChangeGroupStyleLayout(UINT checkedId)
{
    MenuLayout layout = Keeping(6, {9078, 9079, 9080});
    layout.checkId = checkedId;
    return layout;
}

void CWndMenu::ShowLoginMenu(CWnd* owner, HINSTANCE caller) { show(owner, caller, LoginLayout()); }
void CWndMenu::ShowTaskBarMenu(CWnd* owner, HINSTANCE caller) { show(owner, caller, TaskBarLayout()); }
void CWndMenu::ShowMainMenu(CWnd* owner, HINSTANCE caller) { show(owner, caller, MainLayout()); }
void CWndMenu::ShowFriendBlankMenu(CWnd* owner, HINSTANCE caller) { show(owner, caller, FriendBlankLayout()); }
void CWndMenu::ShowFriendMenu(CWnd* owner, HINSTANCE caller) { show(owner, caller, FriendLayout()); }
void CWndMenu::ShowBlackMenu(CWnd* owner, HINSTANCE caller) { show(owner, caller, BlackLayout()); }
void CWndMenu::ShowStrangerMenu(CWnd* owner, HINSTANCE caller) { show(owner, caller, StrangerLayout()); }
void CWndMenu::ShowGroupBlankMenu(CWnd* owner, HINSTANCE caller) { show(owner, caller, GroupBlankLayout()); }
void CWndMenu::ShowGroupMasterMenu(CWnd* owner, HINSTANCE caller, int days) { show(owner, caller, GroupMasterLayout(days)); }
void CWndMenu::ShowGroupNoMasterMenu(CWnd* owner, HINSTANCE caller, int days)
{
    show(owner, caller, GroupNoMasterLayout(days));
}
void CWndMenu::ShowAddBlacklist(CWnd* owner, HINSTANCE caller) { show(owner, caller, AddBlacklistLayout()); }
void CWndMenu::ShowGroupMasterMemberMenu(CWnd* owner, HINSTANCE caller, int self, int deputy)
{
    show(owner, caller, GroupMasterMemberLayout(self, deputy));
}
void CWndMenu::ShowGroupNoMasterMemberMenu(CWnd* owner, HINSTANCE caller) { show(owner, caller, GroupNoMasterMemberLayout()); }
void CWndMenu::ShowGroupMeetingMemberMenu(CWnd* owner, HINSTANCE caller) { show(owner, caller, GroupMeetingMemberLayout()); }
void CWndMenu::ShowGroupMeetingMasterMenu(CWnd* owner, HINSTANCE caller) { show(owner, caller, GroupMeetingMasterLayout()); }
void CWndMenu::ShowGroupMeetingNoMasterMenu(CWnd* owner, HINSTANCE caller)
{
    show(owner, caller, GroupMeetingNoMasterLayout());
}
void CWndMenu::ShowChangeGroupStyle(CWnd* owner, HINSTANCE caller, UINT checkedId)
{
    show(owner, caller, ChangeGroupStyleLayout(checkedId));
}

void CWndMenu::OnGetHelp()
{
    ShellExecute(nullptr, "open", GetEndpointConfig().webBaseUrl, nullptr, nullptr, SW_SHOWMAXIMIZED);
}

void CWndMenu::OnMenuCommand(UINT id)
{
    CMenu tmpl;
    CString caption;
    if (_LoadMenu(&tmpl, GetBaseModuleHandle())) tmpl.GetMenuString(id, caption, MF_BYCOMMAND);
    AfxMessageBox(caption);
}

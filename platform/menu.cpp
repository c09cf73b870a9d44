#include "platform/menu.h"
#include "platform/uitest.h"

#include "platform/codepage.h"
#include "platform/gdi.h"
#include "platform/resources.h"
#include "platform/windc.h"
#include "platform/window_internal.h"

#include <wx/app.h>
#include <wx/window.h>

#include <algorithm>
#include <map>
#include <memory>
#include <sstream>

using namespace lumui;

namespace {

struct MenuItem {
    UINT flags = 0;
    UINT id = 0;
    HMENU popup = nullptr;
    CString text;
    ULONG_PTR data = 0;
};

struct MenuData {
    std::vector<MenuItem> items;
    CMenu* object = nullptr;         // the CMenu bound to the handle, if any
    std::unique_ptr<CMenu> wrapper;  // a bound object the layer made (GetSubMenu)
};

std::map<HMENU, std::unique_ptr<MenuData>> g_menus;
uintptr_t g_nextMenu = 0x5000;

MenuData* dataOf(HMENU menu)
{
    auto it = g_menus.find(menu);
    return it == g_menus.end() ? nullptr : it->second.get();
}

HMENU newMenu()
{
    HMENU h = reinterpret_cast<HMENU>(g_nextMenu);
    g_nextMenu += 8;
    g_menus[h] = std::make_unique<MenuData>();
    return h;
}

void destroyMenu(HMENU menu)
{
    MenuData* d = dataOf(menu);
    if (!d) return;
    std::vector<HMENU> subs;
    for (const MenuItem& i : d->items)
        if (i.popup) subs.push_back(i.popup);
    if (d->object) d->object->m_hMenu = nullptr;
    g_menus.erase(menu);
    for (HMENU s : subs) destroyMenu(s);
}

// Finds an item by command id (searching nested popups) or by position.
bool locate(HMENU menu, UINT position, UINT flags, HMENU* owner, size_t* index)
{
    MenuData* d = dataOf(menu);
    if (!d) return false;
    if (flags & MF_BYPOSITION) {
        if (position >= d->items.size()) return false;
        *owner = menu;
        *index = position;
        return true;
    }
    for (size_t i = 0; i < d->items.size(); ++i) {
        const MenuItem& item = d->items[i];
        if (!item.popup && !(item.flags & MF_SEPARATOR) && item.id == position) {
            *owner = menu;
            *index = i;
            return true;
        }
        if (item.popup && locate(item.popup, position, flags, owner, index)) return true;
    }
    return false;
}

MenuItem makeItem(UINT flags, UINT_PTR idOrPopup, LPCTSTR item)
{
    MenuItem m;
    m.flags = flags & ~MF_BYPOSITION;
    if (flags & MF_POPUP) m.popup = reinterpret_cast<HMENU>(idOrPopup);
    else m.id = static_cast<UINT>(idOrPopup);
    if (flags & MF_OWNERDRAW) m.data = reinterpret_cast<ULONG_PTR>(item);
    else if (item && !(flags & MF_SEPARATOR)) m.text = item;
    return m;
}

// ---------------------------------------------------------------- resource parsing

bool parseMenu(const std::string& text, HMENU root)
{
    std::vector<std::pair<int, HMENU>> stack{{-1, root}};
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        const int indent = static_cast<int>(start);
        while (stack.size() > 1 && stack.back().first >= indent) stack.pop_back();
        HMENU parent = stack.back().second;
        std::string rest = line.substr(start);
        auto quoted = [](const std::string& s) {
            size_t a = s.find('"'), b = s.rfind('"');
            return a == std::string::npos || b <= a ? std::string() : s.substr(a + 1, b - a - 1);
        };
        if (rest.rfind("POPUP", 0) == 0) {
            HMENU sub = newMenu();
            dataOf(parent)->items.push_back(makeItem(MF_POPUP, reinterpret_cast<UINT_PTR>(sub), quoted(rest).c_str()));
            stack.emplace_back(indent, sub);
        } else if (rest.rfind("SEPARATOR", 0) == 0) {
            dataOf(parent)->items.push_back(makeItem(MF_SEPARATOR, 0, nullptr));
        } else if (rest.rfind("ITEM", 0) == 0) {
            UINT id = static_cast<UINT>(std::strtoul(rest.c_str() + 4, nullptr, 10));
            UINT flags = MF_STRING;
            if (rest.find(" CHECKED") != std::string::npos && rest.rfind('"') < rest.find(" CHECKED")) flags |= MF_CHECKED;
            if (rest.find(" GRAYED") != std::string::npos && rest.rfind('"') < rest.find(" GRAYED")) flags |= MF_GRAYED;
            dataOf(parent)->items.push_back(makeItem(flags, id, quoted(rest).c_str()));
        } else {
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------- popup windows

class PopupWindow;
std::vector<PopupWindow*> g_popups;  // open popups, root first
HWND g_rootPopup = nullptr;

const int kBorder = 3;

class PopupWindow : public CWnd {
public:
    PopupWindow(HMENU menu, CWnd* owner, int level) : menu_(menu), owner_(owner), level_(level) {}

    bool Open(int x, int y, UINT flags)
    {
        measure();
        const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
        if (flags & TPM_RIGHTALIGN) x -= width_;
        else if (flags & TPM_CENTERALIGN) x -= width_ / 2;
        if (flags & TPM_BOTTOMALIGN) y -= height_;
        if (x + width_ > sw) x = sw - width_;
        if (y + height_ > sh) y = std::max(0, y - height_);
        x = std::max(x, 0);
        y = std::max(y, 0);
        if (!CreateEx(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kMenuClass, nullptr, WS_POPUP, x, y, width_, height_,
                      owner_ ? owner_->m_hWnd : nullptr, 0))
            return false;
        ShowWindow(SW_SHOWNA);
        // The root popup holds the pointer and the keyboard, so that a click
        // anywhere else closes the menu and keys reach it; every popup
        // takes the layer's capture in turn.
        if (level_ == 0) GrabInput(m_hWnd, true);
        SetCapture();
        return true;
    }

    void Close()
    {
        ReleaseInput(m_hWnd);
        DestroyWindow();
    }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        switch (message) {
        case WM_PAINT: paint(); return 0;
        case WM_ERASEBKGND: return TRUE;
        case WM_MOUSEMOVE: hover(CPoint(lParam)); return 0;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN: press(CPoint(lParam)); return 0;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP: release(CPoint(lParam)); return 0;
        case WM_KEYDOWN: key(static_cast<UINT>(wParam)); return 0;
        default: return CWnd::WindowProc(message, wParam, lParam);
        }
    }

    HMENU menu() const { return menu_; }

    void entries(std::vector<PopupMenuEntry>* out) const
    {
        MenuData* d = dataOf(menu_);
        for (size_t i = 0; d && i < d->items.size() && i < rows_.size(); ++i) {
            const MenuItem& item = d->items[i];
            PopupMenuEntry e;
            e.id = item.popup ? static_cast<UINT>(-1) : (item.flags & MF_SEPARATOR) ? 0 : item.id;
            e.text = item.text;
            e.place = CRect(kBorder, rows_[i].top, width_ - kBorder, rows_[i].top + rows_[i].height);
            out->push_back(e);
        }
    }

private:
    struct Row {
        int top = 0, height = 0;
    };

    CMenu* object() const
    {
        MenuData* d = dataOf(menu_);
        return d ? d->object : nullptr;
    }

    void measure()
    {
        MenuData* d = dataOf(menu_);
        rows_.clear();
        int y = kBorder, w = 0;
        HDC dc = ::GetDC(nullptr);
        CDC* cdc = CDC::FromHandle(dc);
        for (size_t i = 0; d && i < d->items.size(); ++i) {
            const MenuItem& item = d->items[i];
            Row r;
            r.top = y;
            if (item.flags & MF_OWNERDRAW) {
                MEASUREITEMSTRUCT mis;
                mis.CtlType = ODT_MENU;
                mis.itemID = item.popup ? static_cast<UINT>(-1) : item.id;
                mis.itemData = item.data;
                if (CMenu* m = object()) m->MeasureItem(&mis);
                r.height = static_cast<int>(mis.itemHeight);
                w = std::max(w, static_cast<int>(mis.itemWidth));
            } else if (item.flags & MF_SEPARATOR) {
                r.height = 8;
            } else {
                r.height = 22;
                CSize s = cdc ? cdc->GetTextExtent(item.text) : CSize(item.text.GetLength() * 7, 14);
                w = std::max(w, static_cast<int>(s.cx) + 50);
            }
            y += r.height;
            rows_.push_back(r);
        }
        ::ReleaseDC(nullptr, dc);
        width_ = std::max(w, 60) + 2 * kBorder;
        height_ = y + kBorder;
    }

    int itemAt(CPoint p) const
    {
        if (p.x < 0 || p.x >= width_) return -1;
        for (size_t i = 0; i < rows_.size(); ++i)
            if (p.y >= rows_[i].top && p.y < rows_[i].top + rows_[i].height) return static_cast<int>(i);
        return -1;
    }

    bool selectable(int index) const
    {
        MenuData* d = dataOf(menu_);
        if (!d || index < 0 || index >= static_cast<int>(d->items.size())) return false;
        return !(d->items[index].flags & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED));
    }

    void paint()
    {
        CPaintDC dc(this);
        MenuData* d = dataOf(menu_);
        CRect client(0, 0, width_, height_);
        dc.FillSolidRect(&client, GetSysColor(COLOR_MENU));
        dc.Draw3dRect(&client, RGB(160, 160, 160), RGB(120, 120, 120));
        for (size_t i = 0; d && i < d->items.size() && i < rows_.size(); ++i) {
            const MenuItem& item = d->items[i];
            CRect r(kBorder, rows_[i].top, width_ - kBorder, rows_[i].top + rows_[i].height);
            UINT state = 0;
            if (static_cast<int>(i) == hot_) state |= ODS_SELECTED;
            if (item.flags & MF_GRAYED) state |= ODS_GRAYED;
            if (item.flags & MF_DISABLED) state |= ODS_DISABLED;
            if (item.flags & MF_CHECKED) state |= ODS_CHECKED;
            if (item.flags & MF_OWNERDRAW) {
                DRAWITEMSTRUCT dis;
                dis.CtlType = ODT_MENU;
                dis.itemID = item.popup ? static_cast<UINT>(-1) : item.id;
                dis.itemAction = ODA_DRAWENTIRE;
                dis.itemState = state;
                dis.hwndItem = reinterpret_cast<HWND>(menu_);
                dis.hDC = dc.GetSafeHdc();
                dis.rcItem = r;
                dis.itemData = item.data;
                if (CMenu* m = object()) {
                    const int saved = dc.SaveDC();
                    dc.IntersectClipRect(&r);
                    m->DrawItem(&dis);
                    dc.RestoreDC(saved);
                }
                if (item.popup) {
                    // The submenu arrow is the system's, as for any popup item.
                    dc.SetBkMode(TRANSPARENT);
                    dc.SetTextColor(GetSysColor(COLOR_MENUTEXT));
                    CRect arrow(r.right - 14, r.top, r.right, r.bottom);
                    dc.DrawText(CString("›"), &arrow, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
                }
            } else if (item.flags & MF_SEPARATOR) {
                CRect line(r.left + 4, r.top + r.Height() / 2 - 1, r.right - 4, r.top + r.Height() / 2 + 1);
                dc.Draw3dRect(&line, RGB(192, 192, 192), RGB(255, 255, 255));
            } else {
                if (state & ODS_SELECTED) dc.FillSolidRect(&r, RGB(195, 235, 255));
                dc.SetBkMode(TRANSPARENT);
                dc.SetTextColor((state & ODS_GRAYED) ? GetSysColor(COLOR_GRAYTEXT) : GetSysColor(COLOR_MENUTEXT));
                CRect text(r.left + 26, r.top, r.right - 16, r.bottom);
                dc.DrawText(item.text, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_EXPANDTABS);
                if (state & ODS_CHECKED) {
                    CRect check(r.left, r.top, r.left + 24, r.bottom);
                    dc.DrawText(CString("√"), &check, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
                }
                if (item.popup) {
                    CRect arrow(r.right - 16, r.top, r.right, r.bottom);
                    dc.DrawText(CString("›"), &arrow, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
                }
            }
        }
    }

    void closeChildren()
    {
        while (g_popups.size() > static_cast<size_t>(level_ + 1)) {
            PopupWindow* child = g_popups.back();
            g_popups.pop_back();
            child->Close();
            delete child;
        }
    }

    void openSubmenu(int index)
    {
        MenuData* d = dataOf(menu_);
        if (!d || index < 0 || !d->items[index].popup) return;
        if (g_popups.size() > static_cast<size_t>(level_ + 1) && g_popups[level_ + 1]->menu() == d->items[index].popup)
            return;
        closeChildren();
        CRect wr;
        GetWindowRect(&wr);
        auto* sub = new PopupWindow(d->items[index].popup, owner_, level_ + 1);
        g_popups.push_back(sub);
        if (!sub->Open(wr.right - kBorder, wr.top + rows_[index].top - kBorder, 0)) {
            g_popups.pop_back();
            delete sub;
        }
    }

    void setHot(int index)
    {
        if (index == hot_) return;
        hot_ = index;
        Invalidate(FALSE);
        UpdateWindow();
    }

    // A point in this popup's coordinates that lies in another open popup.
    PopupWindow* popupAt(CPoint p, CPoint* local) const
    {
        CPoint screen = p;
        ClientToScreen(&screen);
        for (auto it = g_popups.rbegin(); it != g_popups.rend(); ++it) {
            CRect r;
            (*it)->GetWindowRect(&r);
            if (r.PtInRect(screen)) {
                *local = screen;
                (*it)->ScreenToClient(local);
                return *it;
            }
        }
        return nullptr;
    }

    void hover(CPoint p)
    {
        CPoint local;
        PopupWindow* target = popupAt(p, &local);
        if (target && target != this) {
            target->hover(local);
            return;
        }
        if (!target) return;
        const int index = itemAt(p);
        setHot(selectable(index) ? index : -1);
        MenuData* d = dataOf(menu_);
        if (index >= 0 && d && d->items[index].popup && selectable(index)) openSubmenu(index);
        else if (index >= 0) closeChildren();
    }

    void press(CPoint p)
    {
        CPoint local;
        PopupWindow* target = popupAt(p, &local);
        if (!target) {
            EndModal(g_rootPopup, 0);  // a click outside every popup closes the menu
            return;
        }
        if (target != this) {
            target->press(local);
            return;
        }
        const int index = itemAt(p);
        MenuData* d = dataOf(menu_);
        if (d && selectable(index) && d->items[index].popup) openSubmenu(index);
    }

    void release(CPoint p)
    {
        CPoint local;
        PopupWindow* target = popupAt(p, &local);
        if (!target) return;
        if (target != this) {
            target->release(local);
            return;
        }
        const int index = itemAt(p);
        MenuData* d = dataOf(menu_);
        if (d && selectable(index) && !d->items[index].popup) EndModal(g_rootPopup, static_cast<int>(d->items[index].id));
    }

    void key(UINT vk)
    {
        PopupWindow* inner = g_popups.empty() ? this : g_popups.back();
        if (inner != this) {
            inner->key(vk);
            return;
        }
        MenuData* d = dataOf(menu_);
        const int n = d ? static_cast<int>(d->items.size()) : 0;
        if (vk == VK_ESCAPE) {
            if (level_ == 0) EndModal(g_rootPopup, 0);
            else g_popups[level_ - 1]->closeChildren();
        } else if ((vk == VK_DOWN || vk == VK_UP) && n > 0) {
            int i = hot_;
            for (int step = 0; step < n; ++step) {
                i = vk == VK_DOWN ? (i + 1) % n : (i <= 0 ? n - 1 : i - 1);
                if (selectable(i)) break;
            }
            setHot(selectable(i) ? i : -1);
        } else if (vk == VK_RETURN && selectable(hot_)) {
            if (d->items[hot_].popup) openSubmenu(hot_);
            else EndModal(g_rootPopup, static_cast<int>(d->items[hot_].id));
        } else if (vk == VK_RIGHT && selectable(hot_) && d->items[hot_].popup) {
            openSubmenu(hot_);
        } else if (vk == VK_LEFT && level_ > 0) {
            g_popups[level_ - 1]->closeChildren();
        }
    }

    HMENU menu_;
    CWnd* owner_;
    int level_;
    std::vector<Row> rows_;
    int width_ = 0, height_ = 0;
    int hot_ = -1;
};

}  // namespace

// ---------------------------------------------------------------- CMenu

const CRuntimeClass* CMenu::GetThisClass()
{
    static const CRuntimeClass rc = {"CMenu", nullptr};
    return &rc;
}

const CRuntimeClass* CMenu::GetRuntimeClass() const
{
    return GetThisClass();
}

CMenu::~CMenu()
{
    DestroyMenu();
}

CMenu* CMenu::FromHandle(HMENU menu)
{
    MenuData* d = dataOf(menu);
    return d ? d->object : nullptr;
}

BOOL CMenu::Attach(HMENU menu)
{
    MenuData* d = dataOf(menu);
    if (!d || m_hMenu) return FALSE;
    d->object = this;
    m_hMenu = menu;
    return TRUE;
}

HMENU CMenu::Detach()
{
    HMENU h = m_hMenu;
    if (MenuData* d = dataOf(h))
        if (d->object == this) d->object = nullptr;
    m_hMenu = nullptr;
    return h;
}

BOOL CMenu::CreatePopupMenu()
{
    if (m_hMenu) return FALSE;
    return Attach(newMenu());
}

BOOL CMenu::LoadMenu(UINT id)
{
    return LoadMenu(AfxGetResourceHandle(), id);
}

BOOL CMenu::LoadMenu(HINSTANCE module, UINT id)
{
    if (m_hMenu) return FALSE;
    HRSRC res = FindResource(module, MAKEINTRESOURCE(id), RT_MENU);
    if (!res) return FALSE;
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, res)));
    if (!bytes) return FALSE;
    HMENU h = newMenu();
    if (!parseMenu(std::string(bytes, SizeofResource(module, res)), h)) {
        destroyMenu(h);
        return FALSE;
    }
    return Attach(h);
}

BOOL CMenu::DestroyMenu()
{
    if (!m_hMenu) return FALSE;
    HMENU h = m_hMenu;
    m_hMenu = nullptr;
    if (MenuData* d = dataOf(h)) d->object = nullptr;
    destroyMenu(h);
    return TRUE;
}

BOOL DestroyMenu(HMENU menu)
{
    if (!dataOf(menu)) return FALSE;
    destroyMenu(menu);
    return TRUE;
}

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR idOrPopup, LPCTSTR item)
{
    MenuData* d = dataOf(m_hMenu);
    if (!d) return FALSE;
    d->items.push_back(makeItem(flags, idOrPopup, item));
    return TRUE;
}

BOOL CMenu::InsertMenu(UINT position, UINT flags, UINT_PTR idOrPopup, LPCTSTR item)
{
    HMENU owner = m_hMenu;
    size_t index = 0;
    MenuData* d = dataOf(m_hMenu);
    if (!d) return FALSE;
    if (!locate(m_hMenu, position, flags, &owner, &index)) return AppendMenu(flags, idOrPopup, item);
    MenuData* od = dataOf(owner);
    od->items.insert(od->items.begin() + static_cast<long>(index), makeItem(flags, idOrPopup, item));
    return TRUE;
}

BOOL CMenu::ModifyMenu(UINT position, UINT flags, UINT_PTR idOrPopup, LPCTSTR item)
{
    HMENU owner;
    size_t index;
    if (!locate(m_hMenu, position, flags, &owner, &index)) return FALSE;
    dataOf(owner)->items[index] = makeItem(flags, idOrPopup, item);
    return TRUE;
}

BOOL CMenu::RemoveMenu(UINT position, UINT flags)
{
    HMENU owner;
    size_t index;
    if (!locate(m_hMenu, position, flags, &owner, &index)) return FALSE;
    MenuData* d = dataOf(owner);
    d->items.erase(d->items.begin() + static_cast<long>(index));
    return TRUE;
}

BOOL CMenu::DeleteMenu(UINT position, UINT flags)
{
    HMENU owner;
    size_t index;
    if (!locate(m_hMenu, position, flags, &owner, &index)) return FALSE;
    MenuData* d = dataOf(owner);
    HMENU popup = d->items[index].popup;
    d->items.erase(d->items.begin() + static_cast<long>(index));
    if (popup) {
        // A popup that still has an object of its own is that object's to destroy.
        MenuData* pd = dataOf(popup);
        if (pd && !pd->object) destroyMenu(popup);
    }
    return TRUE;
}

int CMenu::GetMenuItemCount() const
{
    MenuData* d = dataOf(m_hMenu);
    return d ? static_cast<int>(d->items.size()) : -1;
}

UINT CMenu::GetMenuItemID(int position) const
{
    MenuData* d = dataOf(m_hMenu);
    if (!d || position < 0 || position >= static_cast<int>(d->items.size())) return static_cast<UINT>(-1);
    const MenuItem& item = d->items[position];
    if (item.popup) return static_cast<UINT>(-1);
    if (item.flags & MF_SEPARATOR) return 0;
    return item.id;
}

int CMenu::GetMenuString(UINT position, CString& text, UINT flags) const
{
    text.Empty();
    HMENU owner;
    size_t index;
    if (!locate(m_hMenu, position, flags, &owner, &index)) return 0;
    text = dataOf(owner)->items[index].text;
    return text.GetLength();
}

UINT CMenu::GetMenuState(UINT position, UINT flags) const
{
    HMENU owner;
    size_t index;
    if (!locate(m_hMenu, position, flags, &owner, &index)) return 0xFFFFFFFF;
    const MenuItem& item = dataOf(owner)->items[index];
    UINT state = item.flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_SEPARATOR | MF_OWNERDRAW);
    if (item.popup) {
        MenuData* pd = dataOf(item.popup);
        state |= MF_POPUP | (static_cast<UINT>(pd ? pd->items.size() : 0) << 8);
    }
    return state;
}

ULONG_PTR CMenu::GetMenuItemData(UINT position, UINT flags) const
{
    HMENU owner;
    size_t index;
    if (!locate(m_hMenu, position, flags, &owner, &index)) return 0;
    return dataOf(owner)->items[index].data;
}

CMenu* CMenu::GetSubMenu(int position) const
{
    MenuData* d = dataOf(m_hMenu);
    if (!d || position < 0 || position >= static_cast<int>(d->items.size()) || !d->items[position].popup)
        return nullptr;
    HMENU sub = d->items[position].popup;
    MenuData* sd = dataOf(sub);
    if (!sd) return nullptr;
    if (!sd->object) {
        // A wrapper for a popup that has no object of its own, living as
        // long as the popup.
        sd->wrapper = std::make_unique<CMenu>();
        sd->wrapper->Attach(sub);
    }
    return sd->object;
}

UINT CMenu::CheckMenuItem(UINT position, UINT flags)
{
    HMENU owner;
    size_t index;
    if (!locate(m_hMenu, position, flags, &owner, &index)) return 0xFFFFFFFF;
    MenuItem& item = dataOf(owner)->items[index];
    const UINT old = item.flags & MF_CHECKED;
    item.flags = (item.flags & ~MF_CHECKED) | (flags & MF_CHECKED);
    return old;
}

UINT CMenu::EnableMenuItem(UINT position, UINT flags)
{
    HMENU owner;
    size_t index;
    if (!locate(m_hMenu, position, flags, &owner, &index)) return 0xFFFFFFFF;
    MenuItem& item = dataOf(owner)->items[index];
    const UINT old = item.flags & (MF_GRAYED | MF_DISABLED);
    item.flags = (item.flags & ~(MF_GRAYED | MF_DISABLED)) | (flags & (MF_GRAYED | MF_DISABLED));
    return old;
}

BOOL CMenu::TrackPopupMenu(UINT flags, int x, int y, CWnd* owner, LPCRECT)
{
    if (!dataOf(m_hMenu) || g_rootPopup) return FALSE;
    auto* root = new PopupWindow(m_hMenu, owner, 0);
    g_popups.push_back(root);
    HWND ownerHandle = owner ? owner->m_hWnd : nullptr;
    if (!root->Open(x, y, flags)) {
        g_popups.clear();
        delete root;
        return FALSE;
    }
    g_rootPopup = root->m_hWnd;
    const int chosen = RunModal(root->m_hWnd);
    g_rootPopup = nullptr;
    for (auto it = g_popups.rbegin(); it != g_popups.rend(); ++it) {
        (*it)->Close();
        delete *it;
    }
    g_popups.clear();
    if (flags & TPM_RETURNCMD) return chosen;
    if (chosen > 0 && IsWindow(ownerHandle)) ::PostMessage(ownerHandle, WM_COMMAND, MAKEWPARAM(chosen, 0), 0);
    return TRUE;
}

void CMenu::MeasureItem(LPMEASUREITEMSTRUCT) {}
void CMenu::DrawItem(LPDRAWITEMSTRUCT) {}

namespace lumui {

HWND OpenPopupMenu()
{
    return g_popups.empty() ? nullptr : g_popups.back()->m_hWnd;
}

bool PopupMenuEntries(HWND popup, std::vector<PopupMenuEntry>* entries)
{
    for (PopupWindow* p : g_popups)
        if (p->m_hWnd == popup) {
            p->entries(entries);
            return true;
        }
    return false;
}

void RunLater(std::function<void()> work)
{
    if (wxTheApp) wxTheApp->CallAfter([work] { work(); });
}

namespace {

void collectCommands(HMENU menu, std::vector<UINT>& out, int depth)
{
    MenuData* d = dataOf(menu);
    if (!d || depth > 8) return;
    for (const MenuItem& item : d->items) {
        if (item.flags & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED)) continue;
        if (item.popup) collectCommands(item.popup, out, depth + 1);
        else out.push_back(item.id);
    }
}

}  // namespace

std::vector<UINT> OpenPopupMenuCommands()
{
    std::vector<UINT> ids;
    if (!g_popups.empty()) collectCommands(g_popups.front()->menu(), ids, 0);
    return ids;
}

bool ChooseOpenMenuCommand(UINT id)
{
    const std::vector<UINT> ids = OpenPopupMenuCommands();
    if (!g_rootPopup || std::find(ids.begin(), ids.end(), id) == ids.end()) return false;
    EndModal(g_rootPopup, static_cast<int>(id));
    return true;
}

}  // namespace lumui

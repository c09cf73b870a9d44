// Menus: popup menus built in code or loaded from a MENU resource, shown at
// a point with TrackPopupMenu. The toolkit's own menus cannot be drawn by
// their owner, so a popup is a small window of the layer: it measures and
// draws owner-drawn items through the CMenu that holds them (MeasureItem,
// DrawItem) and everything else itself; the pointer highlights items, a
// click on an item closes every open popup and sends WM_COMMAND with the
// item's id to the owner window; Escape or a click outside closes it.
//
// MENU resources are texts, one entry a line, nested by indentation:
//   POPUP "caption"
//     ITEM 9067 "创建群"
//     SEPARATOR
#pragma once

#include "platform/window.h"

#include <vector>

struct HMENU__;
typedef HMENU__* HMENU;

#define MF_STRING 0x00000000
#define MF_BYCOMMAND 0x00000000
#define MF_ENABLED 0x00000000
#define MF_UNCHECKED 0x00000000
#define MF_GRAYED 0x00000001
#define MF_DISABLED 0x00000002
#define MF_BITMAP 0x00000004
#define MF_CHECKED 0x00000008
#define MF_POPUP 0x00000010
#define MF_OWNERDRAW 0x00000100
#define MF_BYPOSITION 0x00000400
#define MF_SEPARATOR 0x00000800

#define TPM_LEFTALIGN 0x0000
#define TPM_RIGHTBUTTON 0x0002
#define TPM_CENTERALIGN 0x0004
#define TPM_RIGHTALIGN 0x0008
#define TPM_TOPALIGN 0x0000
#define TPM_BOTTOMALIGN 0x0020
#define TPM_NONOTIFY 0x0080
#define TPM_RETURNCMD 0x0100

class CMenu {
public:
    CMenu() = default;
    virtual ~CMenu();
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    static const CRuntimeClass* GetThisClass();
    virtual const CRuntimeClass* GetRuntimeClass() const;

    // The object bound to a menu handle (null for none).
    static CMenu* FromHandle(HMENU menu);
    operator HMENU() const { return m_hMenu; }
    HMENU GetSafeHmenu() const { return m_hMenu; }
    BOOL Attach(HMENU menu);
    HMENU Detach();

    BOOL CreatePopupMenu();
    BOOL CreateMenu() { return CreatePopupMenu(); }
    // MENU resource `id` of the current resource handle.
    BOOL LoadMenu(UINT id);
    BOOL LoadMenu(HINSTANCE module, UINT id);
    BOOL DestroyMenu();

    // `idOrPopup` is a command id, or an HMENU with MF_POPUP; with
    // MF_OWNERDRAW, `item` is the item data handed to MeasureItem/DrawItem.
    BOOL AppendMenu(UINT flags, UINT_PTR idOrPopup = 0, LPCTSTR item = nullptr);
    BOOL InsertMenu(UINT position, UINT flags, UINT_PTR idOrPopup = 0, LPCTSTR item = nullptr);
    BOOL ModifyMenu(UINT position, UINT flags, UINT_PTR idOrPopup = 0, LPCTSTR item = nullptr);
    // Removes an item (by command: searched in nested popups too). DeleteMenu
    // also destroys a removed popup.
    BOOL RemoveMenu(UINT position, UINT flags);
    BOOL DeleteMenu(UINT position, UINT flags);
    int GetMenuItemCount() const;
    UINT GetMenuItemID(int position) const;  // -1 for a popup, 0 for a separator
    int GetMenuString(UINT position, CString& text, UINT flags) const;
    UINT GetMenuState(UINT position, UINT flags) const;  // 0xFFFFFFFF when there is no such item
    ULONG_PTR GetMenuItemData(UINT position, UINT flags) const;
    CMenu* GetSubMenu(int position) const;
    UINT CheckMenuItem(UINT position, UINT flags);
    UINT EnableMenuItem(UINT position, UINT flags);

    // Shows the menu at (x, y) in screen coordinates and returns when it
    // closes. With TPM_RETURNCMD the chosen id is returned (0 for none) and
    // nothing is sent; otherwise the owner gets WM_COMMAND.
    BOOL TrackPopupMenu(UINT flags, int x, int y, CWnd* owner, LPCRECT ignored = nullptr);

    virtual void MeasureItem(LPMEASUREITEMSTRUCT mis);
    virtual void DrawItem(LPDRAWITEMSTRUCT dis);

    HMENU m_hMenu = nullptr;
};

BOOL DestroyMenu(HMENU menu);

namespace lumui {
// The innermost popup menu window open now (null when none), for tests.
HWND OpenPopupMenu();
// Runs `work` later on the UI thread, from inside whatever loop runs then.
void RunLater(std::function<void()> work);
}  // namespace lumui

// The popup menus of the client: one menu template (MENU 13003 of base),
// turned into owner-drawn menus with a light icon strip (CMenuEx), and the
// Show...Menu operations of CWndMenu that pick one popup of the template,
// remove what does not apply, check the current choice and show it at the
// pointer. The chosen item reaches the owner window as WM_COMMAND.
#pragma once

#include "platform/imagelist.h"
#include "platform/menu.h"

#include <vector>

#define IDR_MENU_POPUPS 13003
#define IDR_TOOLBAR_MENUICONS 13008

// One owner-drawn item: its text, id (-1 popup, 0 separator), image index
// (-1 none), measure mark (1: room for a check mark) and the image list.
struct CMenuItemRecord {
    CString m_strText;
    int m_nID = -1;
    int m_nImage = -1;
    int m_nMeasure = -1;
    int m_nReserved = -1;
    CImageList* m_pImageList = nullptr;
};

class CMenuEx : public CMenu {
    DECLARE_DYNAMIC(CMenuEx)

public:
    CMenuEx() = default;
    ~CMenuEx() override;

    // Builds this menu from a loaded template: every top-level popup becomes
    // an owner-drawn popup of this menu, nested popups alike.
    BOOL BuildFrom(CMenu* tmpl);
    // Icon pass: images of BITMAP 13008 for the ids of TOOLBAR 13008.
    BOOL LoadIcons();
    // Check pass: every record gets the measure mark.
    void MarkForChecks();

    void MeasureItem(LPMEASUREITEMSTRUCT mis) override;
    void DrawItem(LPDRAWITEMSTRUCT dis) override;

    int m_nSeparatorHeight = 8;
    CBitmap m_bmpCheck;
    SIZE m_szCheck;
    BOOL m_bCheckCreated = FALSE;
    COLORREF m_clrBack = RGB(255, 255, 255);
    COLORREF m_clrHighlightText;
    CImageList m_ImageList;
    int m_nIconWidth = 20;
    int m_nIconHeight = 20;
    COLORREF m_clrText;
    std::vector<CMenuEx*> m_subMenus;       // owned
    std::vector<CMenuItemRecord*> m_records;  // owned (top menu only)

private:
    void convert(CMenu* from, CMenuEx* to, CMenuEx* top);
    CMenuEx* topMenu_ = this;
};

class CWndMenu : public CWnd {
    DECLARE_DYNAMIC(CWndMenu)

public:
    CWndMenu() = default;

    void ShowLoginMenu(CWnd* owner, HINSTANCE caller);
    void ShowTaskBarMenu(CWnd* owner, HINSTANCE caller);
    void ShowMainMenu(CWnd* owner, HINSTANCE caller);
    void ShowFriendBlankMenu(CWnd* owner, HINSTANCE caller);
    void ShowFriendMenu(CWnd* owner, HINSTANCE caller);
    void ShowBlackMenu(CWnd* owner, HINSTANCE caller);
    void ShowStrangerMenu(CWnd* owner, HINSTANCE caller);
    void ShowGroupBlankMenu(CWnd* owner, HINSTANCE caller);
    void ShowGroupMasterMenu(CWnd* owner, HINSTANCE caller, int days);
    void ShowGroupNoMasterMenu(CWnd* owner, HINSTANCE caller, int days);
    void ShowAddBlacklist(CWnd* owner, HINSTANCE caller);
    void ShowGroupMasterMemberMenu(CWnd* owner, HINSTANCE caller, int self, int deputy);
    void ShowGroupNoMasterMemberMenu(CWnd* owner, HINSTANCE caller);
    void ShowGroupMeetingMemberMenu(CWnd* owner, HINSTANCE caller);
    void ShowGroupMeetingMasterMenu(CWnd* owner, HINSTANCE caller);
    void ShowGroupMeetingNoMasterMenu(CWnd* owner, HINSTANCE caller);
    void ShowChangeGroupStyle(CWnd* owner, HINSTANCE caller, UINT checkedId);

    // Checks the blocking-days item for `days`: 1 -> 9031, 2 or 3 -> 9032,
    // 4 to 7 -> 9033, anything else none.
    static void SetGroupBother(CMenu* menu, int days);
    // Attaches template 13003 with base's resources.
    static BOOL _LoadMenu(CMenu* menu, HINSTANCE module);
    // Opens the service's web site in the browser.
    void OnGetHelp();

    // The layout a Show...Menu operation shows: which popup of the menu
    // template, which of its commands and nested popups stay, and what is
    // checked. Built without showing it (tests and the operations themselves
    // use this).
    struct MenuLayout {
        int popup = 0;                       // position of the template popup
        std::vector<UINT> keepIds;           // commands that stay
        std::vector<CString> keepPopups;     // nested popups that stay
        bool icons = false;
        bool checkPass = true;
        int days = -1;                       // blocking days to check, -1 none
        UINT checkId = 0;                    // an id to check, 0 none
        int nestedPopup = -1;                // show only this nested popup (by position)
        int yOffset = 0;                     // shown this far above the pointer
    };
    // Builds the menu for `layout` into `menu`; returns the popup to show.
    static CMenuEx* Build(CMenuEx& menu, const MenuLayout& layout);

    static MenuLayout LoginLayout();
    static MenuLayout TaskBarLayout();
    static MenuLayout MainLayout();
    static MenuLayout FriendBlankLayout();
    static MenuLayout FriendLayout();
    static MenuLayout BlackLayout();
    static MenuLayout StrangerLayout();
    static MenuLayout GroupBlankLayout();
    static MenuLayout GroupMasterLayout(int days);
    static MenuLayout GroupNoMasterLayout(int days);
    static MenuLayout AddBlacklistLayout();
    static MenuLayout GroupMasterMemberLayout(int self, int deputy);
    static MenuLayout GroupNoMasterMemberLayout();
    static MenuLayout GroupMeetingMemberLayout();
    static MenuLayout GroupMeetingMasterLayout();
    static MenuLayout GroupMeetingNoMasterLayout();
    static MenuLayout ChangeGroupStyleLayout(UINT checkedId);

protected:
    void OnMenuCommand(UINT id);
    DECLARE_MESSAGE_MAP()

private:
    void show(CWnd* owner, HINSTANCE caller, const MenuLayout& layout);
};

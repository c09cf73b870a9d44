// The list view control ("SysListView32"): rows of items with texts in
// columns under an optional header, as a report.
//
// The control paints itself: the header, the rows (each row's text per
// column, the selection, grid lines with LVS_EX_GRIDLINES) and a vertical
// scroll bar when the rows do not fit. With LVS_OWNERDRAWFIXED the parent
// paints the rows instead: the row height comes from WM_MEASUREITEM (asked
// when first needed and again on every WM_WINDOWPOSCHANGED) and every visible
// row from WM_DRAWITEM; both reach the list's MeasureItem / DrawItem when the
// parent does not take them.
//
// The state lives behind the window's LVM_ messages and every member
// function goes through them, so that a worker thread can read and change
// the rows with SendMessage (the handler runs on the UI thread).
//
// Input: a left click selects the row under the pointer and sends NM_CLICK,
// a double click NM_DBLCLK, a right click selects and sends NM_RCLICK on
// release (each an NMITEMACTIVATE in WM_NOTIFY to the parent, which offers
// it to the list's ON_NOTIFY_REFLECT handlers first). The wheel and the
// scroll bar send WM_VSCROLL to the list itself, whose default handling
// scrolls by rows. Up, Down, Page Up, Page Down, Home and End move the
// selection. There is never a horizontal scroll bar.
#pragma once

#include "platform/gdi.h"
#include "platform/window.h"

#include <vector>

#define WC_LISTVIEW "SysListView32"

// Styles. Every view is shown as a report; the header only with LVS_REPORT.
#define LVS_ICON 0x0000
#define LVS_REPORT 0x0001
#define LVS_SMALLICON 0x0002
#define LVS_LIST 0x0003
#define LVS_TYPEMASK 0x0003
#define LVS_SINGLESEL 0x0004
#define LVS_SHOWSELALWAYS 0x0008
#define LVS_OWNERDRAWFIXED 0x0400
#define LVS_NOCOLUMNHEADER 0x4000
#define LVS_NOSORTHEADER 0x8000

#define LVS_EX_GRIDLINES 0x00000001
#define LVS_EX_FULLROWSELECT 0x00000020

// Columns
#define LVCFMT_LEFT 0x0000
#define LVCFMT_RIGHT 0x0001
#define LVCFMT_CENTER 0x0002
#define LVCFMT_JUSTIFYMASK 0x0003
#define LVCF_FMT 0x0001
#define LVCF_WIDTH 0x0002
#define LVCF_TEXT 0x0004
#define LVCF_SUBITEM 0x0008

// Items
#define LVIF_TEXT 0x0001
#define LVIF_IMAGE 0x0002
#define LVIF_PARAM 0x0004
#define LVIF_STATE 0x0008
#define LVIS_FOCUSED 0x0001
#define LVIS_SELECTED 0x0002

#define LVNI_ALL 0x0000
#define LVNI_FOCUSED 0x0001
#define LVNI_SELECTED 0x0002

#define LVFI_PARAM 0x0001
#define LVFI_STRING 0x0002
#define LVFI_PARTIAL 0x0008
#define LVFI_WRAP 0x0020

#define LVIR_BOUNDS 0
#define LVIR_ICON 1
#define LVIR_LABEL 2
#define LVIR_SELECTBOUNDS 3

#define LVHT_NOWHERE 0x0001
#define LVHT_ONITEMICON 0x0002
#define LVHT_ONITEMLABEL 0x0004
#define LVHT_ONITEMSTATEICON 0x0008
#define LVHT_ONITEM (LVHT_ONITEMICON | LVHT_ONITEMLABEL | LVHT_ONITEMSTATEICON)
#define LVHT_ABOVE 0x0008
#define LVHT_BELOW 0x0010
#define LVHT_TORIGHT 0x0020
#define LVHT_TOLEFT 0x0040

// Key flags of NMITEMACTIVATE
#define LVKF_ALT 0x0001
#define LVKF_CONTROL 0x0002
#define LVKF_SHIFT 0x0004

// Messages
#define LVM_FIRST 0x1000
#define LVM_GETITEMCOUNT (LVM_FIRST + 4)
#define LVM_GETITEM (LVM_FIRST + 5)
#define LVM_SETITEM (LVM_FIRST + 6)
#define LVM_INSERTITEM (LVM_FIRST + 7)
#define LVM_DELETEITEM (LVM_FIRST + 8)
#define LVM_DELETEALLITEMS (LVM_FIRST + 9)
#define LVM_GETNEXTITEM (LVM_FIRST + 12)
#define LVM_FINDITEM (LVM_FIRST + 13)
#define LVM_GETITEMRECT (LVM_FIRST + 14)
#define LVM_HITTEST (LVM_FIRST + 18)
#define LVM_ENSUREVISIBLE (LVM_FIRST + 19)
#define LVM_SCROLL (LVM_FIRST + 20)
#define LVM_INSERTCOLUMN (LVM_FIRST + 27)
#define LVM_DELETECOLUMN (LVM_FIRST + 28)
#define LVM_GETCOLUMNWIDTH (LVM_FIRST + 29)
#define LVM_SETCOLUMNWIDTH (LVM_FIRST + 30)
#define LVM_GETTOPINDEX (LVM_FIRST + 39)
#define LVM_GETCOUNTPERPAGE (LVM_FIRST + 40)
#define LVM_SETITEMSTATE (LVM_FIRST + 43)
#define LVM_GETITEMSTATE (LVM_FIRST + 44)
#define LVM_GETITEMTEXT (LVM_FIRST + 45)
#define LVM_SETITEMTEXT (LVM_FIRST + 46)
#define LVM_SETEXTENDEDLISTVIEWSTYLE (LVM_FIRST + 54)
#define LVM_GETEXTENDEDLISTVIEWSTYLE (LVM_FIRST + 55)
#define LVM_GETSELECTIONMARK (LVM_FIRST + 66)
#define LVM_SETSELECTIONMARK (LVM_FIRST + 67)

struct LVITEM {
    UINT mask = 0;
    int iItem = 0;
    int iSubItem = 0;
    UINT state = 0;
    UINT stateMask = 0;
    LPTSTR pszText = nullptr;
    int cchTextMax = 0;
    int iImage = 0;
    LPARAM lParam = 0;
    int iIndent = 0;
};
typedef LVITEM* LPLVITEM;

struct LVCOLUMN {
    UINT mask = 0;
    int fmt = LVCFMT_LEFT;
    int cx = 0;
    LPTSTR pszText = nullptr;
    int cchTextMax = 0;
    int iSubItem = 0;
};
typedef LVCOLUMN* LPLVCOLUMN;

struct LVFINDINFO {
    UINT flags = 0;
    LPCTSTR psz = nullptr;
    LPARAM lParam = 0;
    POINT pt;
    UINT vkDirection = 0;
};

struct LVHITTESTINFO {
    POINT pt;
    UINT flags = 0;
    int iItem = -1;
    int iSubItem = 0;
};

// NM_CLICK, NM_DBLCLK and NM_RCLICK of a list.
struct NMITEMACTIVATE {
    NMHDR hdr;
    int iItem = -1;
    int iSubItem = 0;
    UINT uNewState = 0;
    UINT uOldState = 0;
    UINT uChanged = 0;
    POINT ptAction;  // client coordinates of the pointer
    LPARAM lParam = 0;
    UINT uKeyFlags = 0;
};
typedef NMITEMACTIVATE* LPNMITEMACTIVATE;

// The common head of the list notifications (same layout as NMITEMACTIVATE).
struct NMLISTVIEW {
    NMHDR hdr;
    int iItem = -1;
    int iSubItem = 0;
    UINT uNewState = 0;
    UINT uOldState = 0;
    UINT uChanged = 0;
    POINT ptAction;
    LPARAM lParam = 0;
};
typedef NMLISTVIEW* LPNMLISTVIEW;

class CListCtrl : public CWnd {
    DECLARE_DYNAMIC(CListCtrl)
public:
    CListCtrl() = default;
    ~CListCtrl() override;

    virtual BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);

    // Columns
    int InsertColumn(int col, LPCTSTR heading, int format = LVCFMT_LEFT, int width = -1, int subItem = -1);
    BOOL DeleteColumn(int col);
    int GetColumnWidth(int col) const;
    BOOL SetColumnWidth(int col, int width);

    DWORD GetExtendedStyle() const;
    // Returns the previous extended style.
    DWORD SetExtendedStyle(DWORD exStyle);

    // Items. An index at or beyond the end appends; the new index is returned.
    int InsertItem(int item, LPCTSTR text);
    int InsertItem(const LVITEM* item);
    BOOL DeleteItem(int item);
    BOOL DeleteAllItems();
    int GetItemCount() const;
    BOOL SetItemText(int item, int subItem, LPCTSTR text);
    CString GetItemText(int item, int subItem) const;
    BOOL SetItemData(int item, DWORD_PTR data);
    DWORD_PTR GetItemData(int item) const;
    // LVIS_SELECTED / LVIS_FOCUSED; item -1 sets the state of every item.
    BOOL SetItemState(int item, UINT state, UINT mask);
    UINT GetItemState(int item, UINT mask) const;
    // The next item after `item` (-1: from the start) with the LVNI_ flags.
    int GetNextItem(int item, int flags) const;
    int GetSelectionMark() const;
    int SetSelectionMark(int item);
    // From the item after `start` to the end (and round with LVFI_WRAP).
    int FindItem(LVFINDINFO* find, int start = -1) const;

    // Geometry, in client coordinates.
    BOOL GetItemRect(int item, LPRECT rect, UINT code) const;
    int HitTest(CPoint point, UINT* flags = nullptr) const;
    int HitTest(LVHITTESTINFO* info) const;
    BOOL EnsureVisible(int item, BOOL partialOK);
    int GetTopIndex() const;
    // Rows that fit completely.
    int GetCountPerPage() const;
    // Scrolls by size.cy pixels, rounded to whole rows.
    BOOL Scroll(CSize size);

    // Owner-drawn rows (LVS_OWNERDRAWFIXED): the parent's WM_MEASUREITEM and
    // WM_DRAWITEM come here when it does not take them.
    void DrawItem(LPDRAWITEMSTRUCT dis) override;
    void MeasureItem(LPMEASUREITEMSTRUCT mis) override;
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    // Painting ends with the header, the scroll bar and the border drawn over
    // whatever the class's own WM_PAINT handler drew, as the separate parts
    // of the control they stand for.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // The list's own behaviour: painting, input, scrolling and LVM_ messages.
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    struct Column {
        CString heading;
        int format = LVCFMT_LEFT;
        int width = 0;
    };
    struct Item {
        std::vector<CString> texts;  // by sub-item; column 0 is the item's text
        DWORD_PTR data = 0;
        UINT state = 0;
    };
    enum class Drag { None, Thumb, Page };

    // Layout
    CRect inner() const;
    int headerHeight();
    int rowHeight();
    int textRowHeight();
    int textHeight();
    CRect rowsArea();
    int pageRows();
    int maxTop();
    bool scrollable();
    CRect scrollBarRect();
    CRect thumbRect();
    CRect rowRect(int item);
    int itemAt(CPoint point, UINT* flags, int* subItem);
    int columnAt(int x) const;
    void measure();
    void setTop(int top);

    // Painting
    void paint();
    void paintChrome();
    void paintHeader(CDC& dc);
    void paintRow(CDC& dc, int item, const CRect& r, bool focused);
    void paintScrollBar(CDC& dc);
    void selectFont(CDC& dc);

    // Input
    void selectOnly(int item);
    void clickAt(UINT message, UINT keys, CPoint point);
    void scrollBarDown(CPoint point);
    void dragThumb(CPoint point);
    void endDrag();
    void moveSelection(UINT vk);
    void notify(UINT code, int item, int subItem, CPoint point, UINT keys);
    void sendScroll(UINT code, int pos = 0);

    // LVM_ messages
    LRESULT insertItem(const LVITEM* lv);
    LRESULT setItem(const LVITEM* lv);
    LRESULT getItem(LVITEM* lv);
    LRESULT insertColumn(int col, const LVCOLUMN* lvc);
    LRESULT findItem(int start, const LVFINDINFO* find);
    LRESULT getItemRect(int item, RECT* rect);
    LRESULT hitTest(LVHITTESTINFO* info);
    LRESULT setItemState(int item, const LVITEM* lv);
    LRESULT getNextItem(int start, UINT flags);
    bool valid(int item) const { return item >= 0 && item < static_cast<int>(m_items.size()); }

    std::vector<Column> m_columns;
    std::vector<Item> m_items;
    DWORD m_exStyle = 0;
    int m_top = 0;
    int m_mark = -1;
    int m_itemHeight = 0;         // measured owner-drawn row height; 0: not asked yet
    CFont* m_textFont = nullptr;  // the font m_textHeight was measured with
    int m_textHeight = 0;
    Drag m_drag = Drag::None;
    int m_dragOffset = 0;     // pointer y minus thumb top while dragging
    bool m_thumbHot = false;  // the pointer is over the scroll bar
    bool m_rightDown = false; // a right press on the rows waits for its release
    int m_rightItem = -1;
};

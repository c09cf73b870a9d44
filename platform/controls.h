// Standard controls: push buttons and check boxes, static texts and
// pictures, edit fields, progress bars, tool tips and links.
//
// Each control is a window of the layer whose class paints it and keeps its
// state; the edit field is the toolkit's native one. A control works the same
// whether its object created it (Create) or took over a window made from a
// dialog template (SubclassWindow / DDX_Control). Controls report to their
// parent as the original controls do: WM_COMMAND with a notification code
// (BN_CLICKED, STN_CLICKED, EN_CHANGE), WM_NOTIFY (links), WM_DRAWITEM (owner
// drawn buttons, reflected back to DrawItem) and WM_CTLCOLORSTATIC (text
// colour and background of statics, check boxes and links).
#pragma once

#include "platform/gdi.h"
#include "platform/window.h"

#include <vector>

// ---------------------------------------------------------------- buttons

#define BS_PUSHBUTTON 0x0000L
#define BS_DEFPUSHBUTTON 0x0001L
#define BS_CHECKBOX 0x0002L
#define BS_AUTOCHECKBOX 0x0003L
#define BS_OWNERDRAW 0x000BL
#define BS_TYPEMASK 0x000FL

#define BST_UNCHECKED 0x0000
#define BST_CHECKED 0x0001
#define BST_PUSHED 0x0004
#define BST_FOCUS 0x0008

#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BM_GETSTATE 0x00F2
#define BM_SETSTATE 0x00F3
#define BM_SETSTYLE 0x00F4
#define BM_CLICK 0x00F5

class CButton : public CWnd {
    DECLARE_DYNAMIC(CButton)
public:
    CButton() = default;
    ~CButton() override;

    virtual BOOL Create(LPCTSTR caption, DWORD style, const RECT& rect, CWnd* parent, UINT id);

    // Check boxes: BST_UNCHECKED or BST_CHECKED.
    int GetCheck() const;
    void SetCheck(int check);
    // BST_CHECKED, BST_PUSHED and BST_FOCUS as they apply now.
    UINT GetState() const;
    // Shows the button pressed (TRUE) or released, without clicking it.
    void SetState(BOOL highlight);
    // The BS_ style bits (the low word of the window style).
    UINT GetButtonStyle() const;
    void SetButtonStyle(UINT style, BOOL redraw = TRUE);

    // Owner-drawn buttons (BS_OWNERDRAW) paint here: the parent's
    // WM_DRAWITEM comes back to the button when the parent does not take it.
    void DrawItem(LPDRAWITEMSTRUCT dis) override;
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    // The button's own behaviour: pressing with the mouse, clicking,
    // painting and the BM_ messages.
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void paint();
    void paintPushButton(CDC& dc, const CRect& r);
    void paintCheckBox(CDC& dc, const CRect& r);
    void setPressed(bool pressed);
    void buttonDown();
    void notify(UINT code);

    int m_check = BST_UNCHECKED;
    bool m_pressed = false;   // shown pushed in
    bool m_captured = false;  // the left button went down on it and is still down
    bool m_hot = false;       // the pointer is over it (push buttons and check boxes)
};

// ---------------------------------------------------------------- statics

#define SS_LEFT 0x00000000L
#define SS_CENTER 0x00000001L
#define SS_RIGHT 0x00000002L
#define SS_ICON 0x00000003L
#define SS_BITMAP 0x0000000EL
#define SS_TYPEMASK 0x0000001FL
#define SS_NOPREFIX 0x00000080L
#define SS_NOTIFY 0x00000100L
#define SS_CENTERIMAGE 0x00000200L

#define STN_DBLCLK 1

#define STM_SETICON 0x0170
#define STM_GETICON 0x0171
#define STM_SETIMAGE 0x0172
#define STM_GETIMAGE 0x0173
#define IMAGE_BITMAP 0
#define IMAGE_ICON 1

class CStatic : public CWnd {
    DECLARE_DYNAMIC(CStatic)
public:
    CStatic() = default;
    ~CStatic() override;

    virtual BOOL Create(LPCTSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id = 0xFFFF);

    // A picture static (SS_BITMAP / SS_ICON) shows the bitmap or icon at its
    // top-left corner, or centred with SS_CENTERIMAGE; the caller keeps
    // ownership. Each returns the previous one.
    HBITMAP SetBitmap(HBITMAP bitmap);
    HBITMAP GetBitmap() const { return m_bitmap; }
    HICON SetIcon(HICON icon);
    HICON GetIcon() const { return m_icon; }

    // Text statics ask the parent for colours (WM_CTLCOLORSTATIC) and are
    // transparent unless it answers with a brush. Clicks reach the parent as
    // STN_CLICKED with SS_NOTIFY; without it they pass through to the parent.
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void paint();

    HBITMAP m_bitmap = nullptr;
    HICON m_icon = nullptr;
};

// ---------------------------------------------------------------- edit fields

#define ES_LEFT 0x0000L
#define ES_MULTILINE 0x0004L
#define ES_PASSWORD 0x0020L
#define ES_AUTOHSCROLL 0x0080L
#define ES_READONLY 0x0800L

#define EM_GETSEL 0x00B0
#define EM_SETSEL 0x00B1
#define EM_REPLACESEL 0x00C2
#define EM_LIMITTEXT 0x00C5
#define EM_SETLIMITTEXT EM_LIMITTEXT
#define EM_SETREADONLY 0x00CF
#define EM_GETLIMITTEXT 0x00D5

// The native edit field ("Edit"). Positions are offsets in the text as the
// program holds it (bytes of the ANSI code page), as the original counts them.
class CEdit : public CWnd {
    DECLARE_DYNAMIC(CEdit)
public:
    CEdit() = default;
    ~CEdit() override;

    virtual BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);

    // At most `chars` characters can be typed (0: no limit of its own).
    void LimitText(int chars = 0);
    void SetLimitText(UINT chars) { LimitText(static_cast<int>(chars)); }
    UINT GetLimitText() const;
    // start 0, end -1 selects everything; start -1 removes the selection.
    void SetSel(int start, int end, BOOL noScroll = FALSE);
    void SetSel(DWORD selection, BOOL noScroll = FALSE);
    void GetSel(int& start, int& end) const;
    DWORD GetSel() const;
    // Replaces the selection (or inserts at the caret).
    void ReplaceSel(LPCTSTR text, BOOL canUndo = FALSE);
    BOOL SetReadOnly(BOOL readOnly = TRUE);

    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    UINT m_limit = 0;
};

// ---------------------------------------------------------------- progress bars

#define PBS_SMOOTH 0x01
#define PBM_SETRANGE (WM_USER + 1)
#define PBM_SETPOS (WM_USER + 2)
#define PBM_DELTAPOS (WM_USER + 3)
#define PBM_SETSTEP (WM_USER + 4)
#define PBM_STEPIT (WM_USER + 5)
#define PBM_SETRANGE32 (WM_USER + 6)
#define PBM_GETRANGE (WM_USER + 7)
#define PBM_GETPOS (WM_USER + 8)

// The state lives behind the window's messages, so that a worker thread can
// move the bar with SendMessage (PBM_SETPOS) or SetPos.
class CProgressCtrl : public CWnd {
    DECLARE_DYNAMIC(CProgressCtrl)
public:
    CProgressCtrl() = default;
    ~CProgressCtrl() override;

    virtual BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);

    void SetRange(short lower, short upper);
    void SetRange32(int lower, int upper);
    void GetRange(int& lower, int& upper);
    // Each returns the previous position.
    int SetPos(int pos);
    int GetPos();
    int OffsetPos(int delta);
    int SetStep(int step);
    int StepIt();

    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void paint();
    int clamp(int pos) const;

    int m_lower = 0;
    int m_upper = 100;
    int m_pos = 0;
    int m_step = 10;
};

// ---------------------------------------------------------------- tool tips

#define TTM_ACTIVATE (WM_USER + 1)
#define TTM_RELAYEVENT (WM_USER + 7)

// A small pop-up text shown near the pointer once it has rested about half a
// second on a tool (a control added with AddTool); it goes when the pointer
// leaves the tool or a button is pressed. The owner relays its mouse messages
// (RelayEvent or TTM_RELAYEVENT) from PreTranslateMessage.
class CToolTipCtrl : public CWnd {
    DECLARE_DYNAMIC(CToolTipCtrl)
public:
    CToolTipCtrl() = default;
    ~CToolTipCtrl() override;

    virtual BOOL Create(CWnd* parent, DWORD style = 0);
    BOOL AddTool(CWnd* wnd, LPCTSTR text, LPCRECT rect = nullptr, UINT_PTR id = 0);
    void DelTool(CWnd* wnd, UINT_PTR id = 0);
    void UpdateTipText(LPCTSTR text, CWnd* wnd, UINT_PTR id = 0);
    int GetToolCount() const { return static_cast<int>(m_tools.size()); }
    void Activate(BOOL activate);
    void RelayEvent(LPMSG msg);
    void Pop();

    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Milliseconds the pointer must rest on a tool.
    static const UINT kInitialDelay = 500;

private:
    struct Tool {
        HWND hwnd;
        CString text;
    };
    const Tool* toolOf(HWND hwnd) const;
    bool pointerOn(HWND tool) const;
    void show();
    void hide();
    void paint();

    std::vector<Tool> m_tools;
    HWND m_hotTool = nullptr;   // the tool under the pointer
    bool m_suppressed = false;  // a click on the hot tool: no tip until it changes
    bool m_active = true;
    CString m_shownText;
};

// ---------------------------------------------------------------- links

#define WC_LINK "SysLink"

// A text with links marked "<a>...</a>": the links are drawn blue and
// underlined (the tags are not shown); a click on one sends WM_NOTIFY
// NM_CLICK to the parent.
class CLinkCtrl : public CWnd {
    DECLARE_DYNAMIC(CLinkCtrl)
public:
    CLinkCtrl() = default;
    ~CLinkCtrl() override;

    virtual BOOL Create(LPCTSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id);

    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // One run of the text: plain (link -1) or the link of that index.
    struct Run {
        CString text;
        int link = -1;
        CRect rect;  // where it was laid out
    };
    // The runs of a marked-up text, tags removed.
    static std::vector<Run> Parse(const CString& markup);

private:
    std::vector<Run> layout(CDC& dc);
    int linkAt(CPoint point);
    void paint();

    int m_pressedLink = -1;
    CFont m_linkFont;
};

namespace lumui {
// The control object for a window of `className` made from a dialog
// template: CButton for "Button", CStatic for "Static", CEdit for "Edit",
// CProgressCtrl for "msctls_progress32", CLinkCtrl for "SysLink", CListCtrl
// for "SysListView32", and a plain CWnd for other classes. The layer owns it until a C++ object subclasses
// the window.
CWnd* NewControlObject(const CString& className);
// The opacity last given to a layered window (255 for other windows).
BYTE LayeredAlpha(HWND hwnd);
}  // namespace lumui

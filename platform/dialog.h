// Dialogs: windows built from a template of controls, run modal or
// modeless, with OK/Cancel handling, data exchange and (CDialogEx) a
// background image or colour.
//
// Templates are registered per module in code (RegisterDialogTemplate) and
// found by id through the current resource handle, falling back to the
// module that registered the id.
#pragma once

#include "platform/resources.h"
#include "platform/window.h"

#include <vector>

struct DialogItemTemplate {
    CString className;  // "Button", "Static", "Edit", "SysListView32", ...
    UINT id = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    DWORD style = WS_CHILD | WS_VISIBLE;
    CString text;
};

struct DialogTemplate {
    UINT id = 0;
    int x = 0, y = 0;     // ignored for top-level dialogs, which start centred
    int cx = 0, cy = 0;
    bool dialogUnits = false;  // sizes in dialog units (x * 3/2, y * 13/8 pixels)
    DWORD style = WS_POPUP;
    DWORD exStyle = 0;
    CString caption;
    std::vector<DialogItemTemplate> items;
};

// One control of a template: visible, a child, with `style` added.
DialogItemTemplate DialogItem(const char* className, UINT id, int x, int y, int cx, int cy, DWORD style = 0,
                              const char* text = "");

void RegisterDialogTemplate(HINSTANCE module, const DialogTemplate& tmpl);
const DialogTemplate* FindDialogTemplate(UINT id);

class CDataExchange {
public:
    CDataExchange(CWnd* dlg, BOOL save) : m_bSaveAndValidate(save), m_pDlgWnd(dlg) {}
    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
};
void DDX_Control(CDataExchange* dx, int id, CWnd& control);
void DDX_Text(CDataExchange* dx, int id, CString& value);

class CDialog : public CWnd {
public:
    CDialog() = default;
    explicit CDialog(UINT templateId, CWnd* parent = nullptr) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}
    ~CDialog() override;

    static const CRuntimeClass* GetThisClass();
    const CRuntimeClass* GetRuntimeClass() const override;

    // Runs the dialog modally; returns the value given to EndDialog.
    virtual INT_PTR DoModal();
    // Creates the dialog modeless (shown when its template says so).
    virtual BOOL Create(UINT templateId, CWnd* parent = nullptr);
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange*) {}
    BOOL UpdateData(BOOL save = TRUE);
    void EndDialog(int result);
    void SetDefID(UINT id);
    BOOL IsModal() const { return m_bModal; }

    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    UINT m_nIDTemplate = 0;
    CWnd* m_pParentWnd = nullptr;

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    const AFX_MSGMAP* GetMessageMap() const override;
    // Makes the window and its controls from the template; WM_INITDIALOG is
    // sent by the caller.
    BOOL CreateFromTemplate(UINT templateId, CWnd* parent);

    bool m_bModal = false;
};

enum BackgroundLocation { BACKGR_TILE, BACKGR_TOPLEFT, BACKGR_TOPRIGHT, BACKGR_BOTTOMLEFT, BACKGR_BOTTOMRIGHT };

class CDialogEx : public CDialog {
public:
    CDialogEx() = default;
    explicit CDialogEx(UINT templateId, CWnd* parent = nullptr) : CDialog(templateId, parent) {}

    static const CRuntimeClass* GetThisClass();
    const CRuntimeClass* GetRuntimeClass() const override;

    // The bitmap is painted under the controls, tiled or at a corner. With
    // autoDestroy the dialog takes the bitmap and deletes it when replaced.
    void SetBackgroundImage(HBITMAP bitmap, BackgroundLocation location = BACKGR_TILE, BOOL autoDestroy = TRUE,
                            BOOL repaint = TRUE);
    // A BITMAP resource of the current resource handle.
    BOOL SetBackgroundImage(UINT resourceId, BackgroundLocation location = BACKGR_TILE, BOOL smoothResize = FALSE,
                            BOOL repaint = TRUE);
    void SetBackgroundColor(COLORREF color, BOOL repaint = TRUE);
};

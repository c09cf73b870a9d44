// The frame under every window: a borderless dialog with a rounded region, a
// painted skin (a tiled image or a colour) with a light gradient along the
// top, a two-line border, minimise and close buttons in the top right
// corner, dragging by any free point of the client area and resizing from
// 3-pixel edges and 10-pixel corners.
//
// The skin is process-wide: the five statics below are shared by every
// module, and a frame repaints itself with InitSize after they change. The
// whole frame is painted once per size into a back buffer (m_pBgBitmap) that
// becomes the dialog's background; derived dialogs lay out from m_rcClient
// and give the back buffer to their own PNG buttons.
#pragma once

#include "Common/controls/CustomPngButton.h"
#include "platform/dialog.h"
#include "platform/gdiplus.h"

#define IDC_BTN_DLG_MIN 13000
#define IDC_BTN_DLG_CLOSE 13001
#define IDB_PNG_DLG_CLOSE 13000
#define IDB_PNG_DLG_MIN 13001

class CDlgBase : public CDialogEx {
    DECLARE_DYNAMIC(CDlgBase)

public:
    CDlgBase(UINT templateId, CWnd* parent = nullptr);
    ~CDlgBase() override;

    BOOL OnInitDialog() override;
    // Repaints the frame for a client size of w x h.
    void InitSize(int w, int h);
    // Adds a closed rounded rectangle with d x d corner arcs to `path`.
    void CreateRoundRectRgn(Gdiplus::GraphicsPath* path, int left, int top, int right, int bottom, int d);

    virtual void OnBnClickedButtonDlgMin();
    virtual void OnBnClickedButtonDlgClose();
    // Derived dialogs paint their title and fixed decorations into the back buffer.
    virtual void DrawOwnerInBackgroud(Gdiplus::Graphics* graphics);

    // The skin shared by every frame of the process.
    static int m_R;
    static int m_G;
    static int m_B;
    static int m_IsAppBgColor;
    static CString m_sBgImgName;

    CCustomPngButton m_btnMin;
    CCustomPngButton m_btnClose;
    RECT m_rcClient;
    Gdiplus::Bitmap* m_pBgBitmap = nullptr;
    Gdiplus::Image* m_pSkinImage = nullptr;
    Gdiplus::ARGB m_clrBg = 0xFF000000;

protected:
    void DoDataExchange(CDataExchange*) override {}
    void OnSize(UINT type, int cx, int cy) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    LRESULT OnNcHitTest(CPoint point) override;
    BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message) override;
    void OnNcLButtonDown(UINT hitTest, CPoint point) override;
    void OnClose() override;

    DECLARE_MESSAGE_MAP()
};

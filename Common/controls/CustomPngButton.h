// A button painted from one PNG strip of four frames side by side: normal,
// hovered, pressed and a disabled look. Frame buttons, tabs and tool buttons
// of every module are made of it.
#pragma once

#include "Common/controls/GdiPlusBitmap.h"
#include "platform/controls.h"
#include "platform/gdiplus.h"

class CCustomPngButton : public CButton {
    DECLARE_DYNAMIC(CCustomPngButton)
public:
    CCustomPngButton() = default;
    ~CCustomPngButton() override;

    // Makes the button owner-drawn and loads PNG `id` of the current resource
    // handle as its strip; the button takes one frame's size (a quarter of
    // the strip's width, its full height) at its top-left corner. Nothing
    // changes when the image cannot be loaded.
    void SetButtonImage(UINT id);
    // The same from an image file.
    void SetButtonImage(const wchar_t* path);
    // What lies under the button: the rectangle (x, y, frame size) of the
    // caller's background, which the button paints before its frame.
    void SetButtonBackImage(Gdiplus::Bitmap* background, int x, int y);
    // The colour under the button when it has no back image.
    void SetButtonBackColor(COLORREF color);
    // 1: the button rests on its pressed frame (a selected tab); else frame 0.
    void SetIsClick(int click);

    void DrawItem(LPDRAWITEMSTRUCT dis) override;
    // A double click is taken as one more press, so two fast clicks are two
    // clicks.
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnMouseHover(UINT flags, CPoint point) override;
    void OnMouseLeave() override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    DECLARE_MESSAGE_MAP()

    // Takes the loaded strip (owned) and sizes the button to one frame.
    void useStrip(CGdiPlusBitmap* strip);

    CRect m_rect;                                // place in the parent's client area
    int m_bDisabled = 0;                         // 1: draw frame 3
    int m_bTracking = 0;                         // mouse-leave tracking armed
    int m_bHover = 0;                            // the pointer rests on the button
    int m_nImageWidth = 0;                       // the strip's width
    int m_nImageHeight = 0;                      // the strip's (and a frame's) height
    int m_nFrameWidth = 0;                       // a quarter of the strip's width
    Gdiplus::Bitmap* m_pBackImage = nullptr;     // what lies under the button (owned)
    CGdiPlusBitmap* m_pStripImage = nullptr;     // the four frames (owned)
    int m_nRestFrame = 0;                        // 0, or 2 after SetIsClick(1)
    Gdiplus::ARGB m_backColor = 0xFFFFFFFF;      // used without a back image
};

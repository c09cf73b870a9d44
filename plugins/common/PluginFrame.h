// The frame of a plug-in window: a skinned CDlgBase holding one page, with
// the title icon and caption painted into the frame, a fixed start position
// and size that is also the smallest size, and the page kept 4 pixels from
// the left, right and bottom edges and m_nPageTop from the top.
#pragma once

#include "base/DlgBase.h"

class CPluginFrame : public CDlgBase {
public:
    // `page` is a member of the derived frame: it is only used once the
    // window is created. `titlePng` is the PNG resource of the title icon in
    // the plug-in's own module.
    CPluginFrame(UINT templateId, CDialog& page, UINT titlePng, const CRect& placement, int captionWidth);
    ~CPluginFrame() override;

    BOOL OnInitDialog() override;
    void DrawOwnerInBackgroud(Gdiplus::Graphics* graphics) override;
    // The caption text (ANSI code page).
    virtual CString Caption() const = 0;
    // Where the caption text is laid out: from (40, 10), 30 pixels high.
    Gdiplus::RectF CaptionArea() const { return Gdiplus::RectF(40, 10, static_cast<Gdiplus::REAL>(m_nCaptionWidth), 30); }

    Gdiplus::Font* m_pFont = nullptr;
    Gdiplus::SolidBrush* m_pBrush = nullptr;
    Gdiplus::Bitmap* m_pTitleImage = nullptr;  // null when the PNG cannot be loaded
    int m_nPageLeft = 4;
    int m_nPageTop = 30;

protected:
    void OnSize(UINT type, int cx, int cy) override;
    void OnGetMinMaxInfo(MINMAXINFO* info) override;
    void OnClose() override;
    // Places the page for a client area of cx x cy.
    void PlacePage(int cx, int cy);

    CDialog& m_page;
    UINT m_nTitlePng;
    CRect m_rcPlacement;
    int m_nCaptionWidth;

    DECLARE_MESSAGE_MAP()
};

// Registers a frame template (a popup) and its page template (a child) with
// the calling plug-in's module; later calls for the same ids do nothing.
void RegisterPluginTemplates(UINT frameTemplate, UINT pageTemplate, const CRect& placement, const char* caption);

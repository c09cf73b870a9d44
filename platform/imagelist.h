// A list of equally sized images cut from a bitmap strip, drawn with a mask
// colour made transparent and, for disabled looks, blended.
#pragma once

#include "platform/gdi.h"

#include <vector>

#define ILC_MASK 0x00000001
#define ILC_COLOR24 0x00000018
#define ILC_COLOR32 0x00000020
#define ILD_NORMAL 0x0000
#define ILD_TRANSPARENT 0x0001
#define ILD_BLEND25 0x0002
#define ILD_BLEND50 0x0004

class CImageList {
public:
    CImageList() = default;
    ~CImageList();
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;

    BOOL Create(int cx, int cy, UINT flags, int initial, int grow);
    // Cuts BITMAP resource `bitmapId` of the current resource handle into
    // images `cx` wide; pixels of colour `mask` become transparent.
    BOOL Create(UINT bitmapId, int cx, int grow, COLORREF mask);
    // Appends the images of a strip; returns the index of the first, or -1.
    int Add(CBitmap* bitmap, COLORREF mask);
    int GetImageCount() const { return static_cast<int>(images_.size()); }
    BOOL Draw(CDC* dc, int index, POINT point, UINT style);
    BOOL DeleteImageList();
    SIZE GetImageSize() const { SIZE s; s.cx = cx_; s.cy = cy_; return s; }

private:
    int cx_ = 0, cy_ = 0;
    std::vector<void*> images_;  // cairo image surfaces
};

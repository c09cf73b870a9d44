#include "platform/imagelist.h"

#include "platform/gdi_internal.h"
#include "platform/gdiplus.h"
#include "platform/resources.h"

#include <algorithm>

namespace {

cairo_surface_t* surf(void* p)
{
    return static_cast<cairo_surface_t*>(p);
}

}  // namespace

CImageList::~CImageList()
{
    DeleteImageList();
}

BOOL CImageList::Create(int cx, int cy, UINT, int, int)
{
    DeleteImageList();
    if (cx <= 0 || cy <= 0) return FALSE;
    cx_ = cx;
    cy_ = cy;
    return TRUE;
}

BOOL CImageList::Create(UINT bitmapId, int cx, int grow, COLORREF mask)
{
    CBitmap strip;
    if (!strip.LoadBitmap(bitmapId)) return FALSE;
    BITMAP info;
    strip.GetBitmap(&info);
    if (!Create(cx, info.bmHeight, ILC_COLOR24 | ILC_MASK, 0, grow)) return FALSE;
    return Add(&strip, mask) >= 0;
}

int CImageList::Add(CBitmap* bitmap, COLORREF mask)
{
    cairo_surface_t* src = bitmap ? SurfaceOfBitmap(*bitmap) : nullptr;
    if (!src || cx_ <= 0) return -1;
    cairo_surface_flush(src);
    const int w = cairo_image_surface_get_width(src), h = std::min(cairo_image_surface_get_height(src), cy_);
    const int first = GetImageCount();
    const uint32_t key = 0xFF000000u | (static_cast<uint32_t>(GetRValue(mask)) << 16) |
                         (static_cast<uint32_t>(GetGValue(mask)) << 8) | GetBValue(mask);
    const unsigned char* data = cairo_image_surface_get_data(src);
    const int stride = cairo_image_surface_get_stride(src);
    for (int x0 = 0; x0 + cx_ <= w; x0 += cx_) {
        cairo_surface_t* img = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, cx_, cy_);
        cairo_surface_flush(img);
        unsigned char* out = cairo_image_surface_get_data(img);
        const int ostride = cairo_image_surface_get_stride(img);
        for (int y = 0; y < h; ++y) {
            const uint32_t* in = reinterpret_cast<const uint32_t*>(data + y * stride) + x0;
            uint32_t* o = reinterpret_cast<uint32_t*>(out + y * ostride);
            for (int x = 0; x < cx_; ++x) o[x] = in[x] == key ? 0 : in[x];
        }
        cairo_surface_mark_dirty(img);
        images_.push_back(img);
    }
    return GetImageCount() > first ? first : -1;
}

BOOL CImageList::Draw(CDC* dc, int index, POINT point, UINT style)
{
    cairo_t* cr = dc ? CairoOf(dc->GetSafeHdc()) : nullptr;
    if (!cr || index < 0 || index >= GetImageCount()) return FALSE;
    cairo_save(cr);
    cairo_set_source_surface(cr, surf(images_[static_cast<size_t>(index)]), point.x, point.y);
    if (style & ILD_BLEND50) cairo_paint_with_alpha(cr, 0.5);
    else if (style & ILD_BLEND25) cairo_paint_with_alpha(cr, 0.75);
    else cairo_paint(cr);
    cairo_restore(cr);
    return TRUE;
}

BOOL CImageList::DeleteImageList()
{
    for (void* p : images_) cairo_surface_destroy(surf(p));
    images_.clear();
    return TRUE;
}

// The drawing layer's seams for the rest of the platform layer (windows and
// GDI+). Not for modules: it exposes cairo and pango.
#pragma once

#include "platform/gdi.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <string>

// A DC drawing onto an existing cairo context (a window's back buffer during
// painting, for instance) of `width` x `height` pixels. The DC holds a
// reference on `cr` until it is deleted; the context's transformation and
// clip are those of the caller.
HDC CreateCairoDC(cairo_t* cr, int width, int height);
void DeleteCairoDC(HDC dc);
// The context a DC draws with (borrowed; a memory DC gets a new one when
// another bitmap is selected). Null for an unknown DC.
cairo_t* CairoOf(HDC dc);

// The ARGB32 image surface of a bitmap (borrowed, valid while the bitmap lives).
cairo_surface_t* SurfaceOfBitmap(HBITMAP bitmap);
// A new bitmap over an ARGB32 image surface; takes a reference on it.
HBITMAP BitmapFromSurface(cairo_surface_t* surface);
// The pixels of a region (borrowed, valid while the region lives).
const cairo_region_t* RegionOf(HRGN region);
// The premultiplied ARGB32 surface of an icon (borrowed, valid while the icon
// lives) and its hot spot; null for an unknown icon.
cairo_surface_t* IconSurface(HICON icon, int* hotX, int* hotY);
// The colour of a solid brush (WM_CTLCOLOR answers); false when `brush` is
// not a live solid brush.
bool SolidBrushColor(HBRUSH brush, COLORREF* color);

namespace gdi_internal {

// A layout of UTF-8 `text` for drawing on `cr` with the given font, text
// antialiased as on the original system whatever the shape antialiasing.
PangoLayout* NewTextLayout(cairo_t* cr, const PangoFontDescription* font, bool underline, bool strikeOut,
                           const std::string& text);
// `text` with invalid UTF-8 sequences replaced.
std::string ValidUtf8(const std::string& text);
// A new premultiplied ARGB32 surface, or null.
cairo_surface_t* NewArgbSurface(int width, int height);
// A copy of an image surface's pixels in a new ARGB32 surface.
cairo_surface_t* CopySurface(cairo_surface_t* surface);

}  // namespace gdi_internal

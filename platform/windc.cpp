#include "platform/windc.h"

#include "platform/gdi_internal.h"
#include "platform/window_internal.h"

#include <wx/window.h>

#include <map>

using namespace lumui;

namespace {

// DCs handed out by BeginPaint outside a paint cycle and by GetDC.
std::map<HDC, HWND> g_windowDCs;

HDC dcOnBackBuffer(HWND hwnd)
{
    cairo_surface_t* back = hwnd ? BackBuffer(hwnd) : nullptr;
    cairo_surface_t* scratch = nullptr;
    if (!back) {
        if (hwnd) return nullptr;
        scratch = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
        back = scratch;
    }
    cairo_t* cr = cairo_create(back);
    HDC dc = CreateCairoDC(cr, cairo_image_surface_get_width(back), cairo_image_surface_get_height(back));
    cairo_destroy(cr);
    if (scratch) cairo_surface_destroy(scratch);
    if (dc) g_windowDCs[dc] = hwnd;
    return dc;
}

}  // namespace

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps)
{
    WindowRecord* rec = Find(hwnd);
    if (!rec) return nullptr;
    HDC dc = rec->paintDC ? rec->paintDC : dcOnBackBuffer(hwnd);
    if (ps) {
        ps->hdc = dc;
        ps->fErase = FALSE;
        ::GetClientRect(hwnd, &ps->rcPaint);
    }
    return dc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps)
{
    if (ps && g_windowDCs.count(ps->hdc)) ReleaseDC(hwnd, ps->hdc);
    return TRUE;
}

HDC GetDC(HWND hwnd)
{
    return dcOnBackBuffer(hwnd);
}

int ReleaseDC(HWND hwnd, HDC dc)
{
    auto it = g_windowDCs.find(dc);
    if (it == g_windowDCs.end()) return 0;
    g_windowDCs.erase(it);
    DeleteCairoDC(dc);
    // Outside a paint cycle, show what was drawn (the buffer is not painted
    // over unless the window was invalidated); inside one it shows anyway.
    WindowRecord* rec = Find(hwnd);
    if (rec && !rec->paintDC && rec->widget) rec->widget->Refresh(false);
    return 1;
}

CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(wnd ? wnd->m_hWnd : nullptr)
{
    HDC dc = BeginPaint(m_hWnd, &m_ps);
    if (dc) Attach(dc);
}

CPaintDC::~CPaintDC()
{
    Detach();
    EndPaint(m_hWnd, &m_ps);
}

CClientDC::CClientDC(CWnd* wnd) : m_hWnd(wnd ? wnd->m_hWnd : nullptr)
{
    if (HDC dc = GetDC(m_hWnd)) Attach(dc);
}

CClientDC::~CClientDC()
{
    HDC dc = Detach();
    if (dc) ReleaseDC(m_hWnd, dc);
}

CDC* CWnd::GetDC()
{
    HDC dc = ::GetDC(m_hWnd);
    if (!dc) return nullptr;
    auto* cdc = new CDC;
    cdc->Attach(dc);
    return cdc;
}

int CWnd::ReleaseDC(CDC* dc)
{
    if (!dc) return 0;
    HDC h = dc->Detach();
    delete dc;
    return ::ReleaseDC(m_hWnd, h);
}

CDC* CWnd::DCFromHandle(HDC hdc)
{
    return CDC::FromHandle(hdc);
}

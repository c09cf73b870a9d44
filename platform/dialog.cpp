#include "platform/dialog.h"

#include "platform/controls.h"
#include "platform/gdiplus.h"
#include "platform/window_internal.h"

#include <wx/window.h>

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/gdi_internal.h"

using namespace lumui;

namespace {

std::mutex g_templatesLock;
std::multimap<UINT, std::pair<HINSTANCE, DialogTemplate>> g_templates;

int dluX(const DialogTemplate& t, int v)
{
    return t.dialogUnits ? v * 3 / 2 : v;
}

int dluY(const DialogTemplate& t, int v)
{
    return t.dialogUnits ? v * 13 / 8 : v;
}

void paintSurface(cairo_t* cr, cairo_surface_t* s, bool tile, int w, int h)
{
    cairo_save(cr);
    cairo_set_source_surface(cr, s, 0, 0);
    if (tile) cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_REPEAT);
    cairo_rectangle(cr, 0, 0, tile ? w : cairo_image_surface_get_width(s), tile ? h : cairo_image_surface_get_height(s));
    cairo_fill(cr);
    cairo_restore(cr);
}

void fillColor(cairo_t* cr, COLORREF c)
{
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
    cairo_paint(cr);
    cairo_restore(cr);
}

}  // namespace

// The default background of a window: a dialog's image or colour, the
// system face colour for other dialogs and top-level windows, and for
// children what their parent shows under them.
void lumEraseBackground(HWND hwnd, HDC dc)
{
    WindowRecord* rec = Find(hwnd);
    cairo_t* cr = dc ? CairoOf(dc) : nullptr;
    if (!rec || !cr || !rec->widget) return;
    const wxSize s(rec->cx, rec->cy);
    if (rec->bgImage || rec->bgColor != 0xFFFFFFFF) {
        fillColor(cr, rec->bgColor != 0xFFFFFFFF ? rec->bgColor : GetSysColor(COLOR_BTNFACE));
        if (rec->bgImage) paintSurface(cr, rec->bgImage, rec->bgTile, s.x, s.y);
        return;
    }
    WindowRecord* parent = (rec->style & WS_CHILD) ? Find(rec->parent) : nullptr;
    if (parent && !rec->isDialog) {
        cairo_surface_t* under = BackBuffer(parent->handle);
        fillColor(cr, GetSysColor(COLOR_BTNFACE));
        if (under && Find(hwnd)) {
            const wxPoint p(rec->x, rec->y);
            cairo_save(cr);
            cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
            cairo_set_source_surface(cr, under, -p.x, -p.y);
            cairo_paint(cr);
            cairo_restore(cr);
        }
        return;
    }
    fillColor(cr, GetSysColor(COLOR_BTNFACE));
}

DialogItemTemplate DialogItem(const char* className, UINT id, int x, int y, int cx, int cy, DWORD style,
                              const char* text)
{
    return DialogItemTemplate{className, id, x, y, cx, cy, static_cast<DWORD>(WS_CHILD | WS_VISIBLE | style), text};
}

void RegisterDialogTemplate(HINSTANCE module, const DialogTemplate& tmpl)
{
    std::lock_guard<std::mutex> lock(g_templatesLock);
    g_templates.emplace(tmpl.id, std::make_pair(module, tmpl));
}

const DialogTemplate* FindDialogTemplate(UINT id)
{
    std::lock_guard<std::mutex> lock(g_templatesLock);
    auto range = g_templates.equal_range(id);
    const DialogTemplate* any = nullptr;
    const HINSTANCE current = AfxGetResourceHandle();
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second.first == current) return &it->second.second;
        if (!any) any = &it->second.second;
    }
    return any;
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control)
{
    if (!dx || !dx->m_pDlgWnd || control.m_hWnd) return;
    control.SubclassDlgItem(static_cast<UINT>(id), dx->m_pDlgWnd);
}

void DDX_Text(CDataExchange* dx, int id, CString& value)
{
    if (!dx || !dx->m_pDlgWnd) return;
    if (dx->m_bSaveAndValidate) dx->m_pDlgWnd->GetDlgItemText(id, value);
    else dx->m_pDlgWnd->SetDlgItemText(id, value);
}

// ---------------------------------------------------------------- CDialog

const CRuntimeClass* CDialog::GetThisClass()
{
    static const CRuntimeClass rc = {"CDialog", &CWnd::GetThisClass};
    return &rc;
}

const CRuntimeClass* CDialog::GetRuntimeClass() const
{
    return GetThisClass();
}

const AFX_MSGMAP* CDialog::GetThisMessageMap()
{
    typedef CDialog ThisClass;
    static const AFX_MSGMAP_ENTRY entries[] = {
        LUM_MSG_ENTRY(WM_COMMAND, 0, IDOK, IDOK, self_->OnOK())
        LUM_MSG_ENTRY(WM_COMMAND, 0, IDCANCEL, IDCANCEL, self_->OnCancel())
        {0, 0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {&CWnd::GetThisMessageMap, entries};
    return &map;
}

const AFX_MSGMAP* CDialog::GetMessageMap() const
{
    return GetThisMessageMap();
}

CDialog::~CDialog()
{
    if (m_hWnd) DestroyWindow();
}

BOOL CDialog::CreateFromTemplate(UINT templateId, CWnd* parent)
{
    if (m_hWnd) return FALSE;
    const DialogTemplate* t = FindDialogTemplate(templateId);
    DialogTemplate empty;
    if (!t) {
        empty.id = templateId;
        empty.cx = 300;
        empty.cy = 200;
        t = &empty;
    }
    m_nIDTemplate = templateId;
    if (parent) m_pParentWnd = parent;
    const bool child = (t->style & WS_CHILD) != 0;
    const int w = dluX(*t, t->cx), h = dluY(*t, t->cy);
    int x = dluX(*t, t->x), y = dluY(*t, t->y);
    if (!child) {
        // Top-level dialogs start centred on the screen.
        x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
        y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    }
    HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    HWND hwnd = CreateWindowRecord(this, t->exStyle, "#32770", t->caption, t->style & ~WS_VISIBLE, x, y, w, h, owner, 0);
    if (!hwnd) return FALSE;
    if (WindowRecord* rec = Find(hwnd)) rec->isDialog = true;
    Dispatch(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(w, h));
    if (!Find(hwnd)) return FALSE;
    for (const DialogItemTemplate& item : t->items) {
        // Buttons, statics and the other known classes get their control object.
        CWnd* control = lumui::NewControlObject(item.className);
        if (!control->CreateEx(0, item.className, item.text, item.style | WS_CHILD, dluX(*t, item.x), dluY(*t, item.y),
                               dluX(*t, item.cx), dluY(*t, item.cy), hwnd, item.id)) {
            delete control;
            continue;
        }
        if (WindowRecord* rec = Find(control->m_hWnd)) rec->layerOwnsObject = true;
    }
    return TRUE;
}

INT_PTR CDialog::DoModal()
{
    if (!CreateFromTemplate(m_nIDTemplate, m_pParentWnd)) return -1;
    m_bModal = true;
    HWND hwnd = m_hWnd;
    SendMessage(WM_INITDIALOG, 0, 0);
    int result = IDCANCEL;
    if (Find(hwnd)) {
        WindowRecord* rec = Find(hwnd);
        if (!rec->modalResult) {
            ShowWindow(SW_SHOW);
            result = RunModal(hwnd);
        } else {
            result = rec->modalResult;  // ended during its initialisation
        }
    }
    m_bModal = false;
    if (Find(hwnd)) DestroyWindow();
    return result;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent)
{
    if (!CreateFromTemplate(templateId, parent)) return FALSE;
    HWND hwnd = m_hWnd;
    SendMessage(WM_INITDIALOG, 0, 0);
    const DialogTemplate* t = FindDialogTemplate(templateId);
    if (Find(hwnd) && t && (t->style & WS_VISIBLE)) ShowWindow(SW_SHOW);
    return Find(hwnd) != nullptr;
}

BOOL CDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_INITDIALOG) {
        BOOL r = OnInitDialog();
        if (result) *result = r;
        return TRUE;
    }
    return CWnd::OnWndMsg(message, wParam, lParam, result);
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

BOOL CDialog::UpdateData(BOOL save)
{
    CDataExchange dx(this, save);
    DoDataExchange(&dx);
    return TRUE;
}

void CDialog::OnOK()
{
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::EndDialog(int result)
{
    WindowRecord* rec = Find(m_hWnd);
    if (!rec) return;
    if (m_bModal) {
        rec->modalResult = result ? result : IDCANCEL;
        EndModal(m_hWnd, rec->modalResult);
    } else {
        rec->modalResult = result;
        ShowWindow(SW_HIDE);
    }
}

void CDialog::SetDefID(UINT id)
{
    if (WindowRecord* rec = Find(m_hWnd)) rec->defaultId = id;
}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        // Closing a dialog cancels it.
        ::SendMessage(m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return 0;
    }
    return CWnd::DefWindowProc(message, wParam, lParam);
}

// ---------------------------------------------------------------- CDialogEx

const CRuntimeClass* CDialogEx::GetThisClass()
{
    static const CRuntimeClass rc = {"CDialogEx", &CDialog::GetThisClass};
    return &rc;
}

const CRuntimeClass* CDialogEx::GetRuntimeClass() const
{
    return GetThisClass();
}

void CDialogEx::SetBackgroundImage(HBITMAP bitmap, BackgroundLocation location, BOOL autoDestroy, BOOL repaint)
{
    WindowRecord* rec = Find(m_hWnd);
    if (!rec) {
        if (bitmap && autoDestroy) DeleteObject(bitmap);
        return;
    }
    if (rec->bgImage) cairo_surface_destroy(rec->bgImage);
    rec->bgImage = nullptr;
    if (cairo_surface_t* s = bitmap ? SurfaceOfBitmap(bitmap) : nullptr) {
        // Keep a copy, so that the caller's bitmap may go at once.
        const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
        rec->bgImage = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
        cairo_t* cr = cairo_create(rec->bgImage);
        cairo_set_source_surface(cr, s, 0, 0);
        cairo_paint(cr);
        cairo_destroy(cr);
    }
    rec->bgTile = location == BACKGR_TILE;
    if (bitmap && autoDestroy) DeleteObject(bitmap);
    if (repaint) Invalidate();
}

BOOL CDialogEx::SetBackgroundImage(UINT resourceId, BackgroundLocation location, BOOL, BOOL repaint)
{
    WindowRecord* rec = Find(m_hWnd);
    if (!rec) return FALSE;
    HMODULE module = AfxGetResourceHandle();
    HRSRC res = FindResource(module, MAKEINTRESOURCE(resourceId), RT_BITMAP);
    if (!res) return FALSE;
    const void* data = LockResource(LoadResource(module, res));
    Gdiplus::Bitmap image(data, SizeofResource(module, res));
    if (image.GetLastStatus() != Gdiplus::Ok) return FALSE;
    if (rec->bgImage) cairo_surface_destroy(rec->bgImage);
    rec->bgImage = cairo_surface_reference(static_cast<cairo_surface_t*>(image.NativeSurface()));
    rec->bgTile = location == BACKGR_TILE;
    if (repaint) Invalidate();
    return TRUE;
}

void CDialogEx::SetBackgroundColor(COLORREF color, BOOL repaint)
{
    WindowRecord* rec = Find(m_hWnd);
    if (!rec) return;
    rec->bgColor = color & 0x00FFFFFF;
    if (repaint) Invalidate();
}

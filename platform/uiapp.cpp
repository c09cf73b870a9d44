#include "platform/uiapp.h"
#include "platform/uitest.h"

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/resources.h"
#include "platform/services.h"
#include "platform/window_internal.h"

#include <wx/evtloop.h>
#include <wx/msgdlg.h>
#include <wx/wx.h>

#include <gdk/gdk.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

using namespace lumui;

namespace {

CWinApp* g_app = nullptr;

CString programName()
{
    char path[MAX_PATH];
    char name[MAX_PATH] = "";
    if (GetModuleFileName(nullptr, path, sizeof path)) _splitpath(path, nullptr, nullptr, name, nullptr);
    return name[0] ? CString(name) : CString("Lum");
}

int showBox(HWND owner, const CString& text, const CString& caption, UINT type)
{
    return GetServices()->ShowMessageBox(owner, text, caption, type);
}

}  // namespace

int lumui::SystemServices::ShowMessageBox(HWND owner, const CString& text, const CString& caption, UINT type)
{
    long style = wxCENTRE;
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: style |= wxOK | wxCANCEL; break;
    case MB_YESNO: style |= wxYES_NO; break;
    case MB_YESNOCANCEL: style |= wxYES_NO | wxCANCEL; break;
    default: style |= wxOK; break;
    }
    if ((type & 0xF0) == MB_ICONERROR) style |= wxICON_ERROR;
    else if ((type & 0xF0) == MB_ICONQUESTION) style |= wxICON_QUESTION;
    else if ((type & 0xF0) == MB_ICONWARNING) style |= wxICON_WARNING;
    else if ((type & 0xF0) == MB_ICONINFORMATION) style |= wxICON_INFORMATION;
    WindowRecord* rec = Find(owner);
    wxWindow* parent = rec ? rec->widget : nullptr;
    if (parent) parent = wxGetTopLevelParent(parent);
    wxMessageDialog box(parent, wxString::FromUTF8(AnsiToUtf8(text).GetString()),
                        wxString::FromUTF8(AnsiToUtf8(caption).GetString()), style);
    switch (box.ShowModal()) {
    case wxID_OK: return IDOK;
    case wxID_CANCEL: return IDCANCEL;
    case wxID_YES: return IDYES;
    case wxID_NO: return IDNO;
    default: return IDCANCEL;
    }
}

CWinApp::CWinApp()
{
    g_app = this;
}

CWinApp::~CWinApp()
{
    if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::PreTranslateMessage(MSG*)
{
    return FALSE;
}

CWinApp* AfxGetApp()
{
    return g_app;
}

CWnd* AfxGetMainWnd()
{
    return g_app ? g_app->m_pMainWnd : nullptr;
}

BOOL AfxSocketInit()
{
    return TRUE;
}

void AfxEnableControlContainer() {}

BOOL InitCommonControlsEx(const void*)
{
    return TRUE;
}

int AfxWinMain(int argc, char** argv)
{
    if (!Start(argc, argv)) {
        fprintf(stderr, "%s: cannot open the display\n", programName().GetString());
        return 1;
    }
    int code = 0;
    if (g_app && g_app->InitInstance()) {
        // The application keeps running until it posts the quit message.
        RunLoop();
        code = g_app->ExitInstance();
    }
    wxEntryCleanup();
    return code;
}

int MessageBox(HWND owner, LPCTSTR text, LPCTSTR caption, UINT type)
{
    const CString t = text ? text : "", c = caption ? caption : "";
    if (IsUiThread()) return showBox(owner, t, c, type);
    int result = IDCANCEL;
    RunOnUiThread([&] { result = showBox(owner, t, c, type); });
    return result;
}

int AfxMessageBox(LPCTSTR text, UINT type, UINT)
{
    CWnd* main = AfxGetMainWnd();
    return MessageBox(main ? main->m_hWnd : nullptr, text, programName(), type);
}

int AfxMessageBox(UINT stringId, UINT type, UINT helpId)
{
    char buffer[1024] = "";
    LoadString(AfxGetResourceHandle(), stringId, buffer, sizeof buffer);
    return AfxMessageBox(buffer, type, helpId);
}

namespace lumui {

void SendMouse(HWND target, UINT message, int screenX, int screenY, UINT keys)
{
    POINT p;
    p.x = screenX;
    p.y = screenY;
    RunOnUiThread([&] { DeliverTestMouse(target, message, p, keys); });
}

void SendKey(HWND target, UINT vk)
{
    RunOnUiThread([&] { DeliverKey(target, WM_KEYDOWN, vk); });
}

std::vector<HWND> VisibleTopLevelWindows()
{
    std::vector<HWND> shown;
    RunOnUiThread([&] {
        for (const auto& entry : LiveWindows()) {
            WindowRecord* rec = Find(entry.first);
            if (rec && !rec->parent && entry.second && entry.second->IsWindowVisible()) shown.push_back(entry.first);
        }
    });
    return shown;
}

std::vector<HWND> DescendantWindows(HWND parent)
{
    std::vector<HWND> inside;
    RunOnUiThread([&] {
        for (const auto& entry : LiveWindows()) {
            WindowRecord* rec = Find(entry.first);
            for (HWND up = rec ? rec->parent : nullptr; up; up = Find(up) ? Find(up)->parent : nullptr)
                if (up == parent) {
                    inside.push_back(entry.first);
                    break;
                }
        }
    });
    return inside;
}

bool SaveWindowImage(HWND hwnd, const char* pngPath)
{
    cairo_surface_t* img = Compose(hwnd);
    if (!img) return false;
    bool ok = cairo_surface_write_to_png(img, pngPath) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(img);
    return ok;
}

bool SaveScreenImage(const char* pngPath)
{
    bool ok = false;
    RunOnUiThread([&] {
        Pump(50);  // let the display catch up with what was just drawn
        GdkWindow* root = gdk_get_default_root_window();
        if (!root) return;
        GdkPixbuf* pb = gdk_pixbuf_get_from_window(root, 0, 0, gdk_window_get_width(root), gdk_window_get_height(root));
        if (!pb) return;
        ok = gdk_pixbuf_save(pb, pngPath, "png", nullptr, nullptr);
        g_object_unref(pb);
    });
    return ok;
}

void GiveUserTime(wxWindow* topLevel, unsigned int time)
{
    GdkWindow* w = topLevel ? gtk_widget_get_window(topLevel->GetHandle()) : nullptr;
    if (w && time && GDK_IS_X11_WINDOW(w)) gdk_x11_window_set_user_time(w, time);
}

bool IsOnScreen(HWND hwnd)
{
    bool there = false;
    RunOnUiThread([&] {
        HWND top = hwnd;
        for (WindowRecord* rec = Find(top); rec && (rec->style & WS_CHILD); rec = Find(rec->parent)) top = rec->parent;
        WindowRecord* rec = Find(top);
        if (!rec || !rec->widget || !rec->visible) return;
        GdkWindow* w = gtk_widget_get_window(rec->widget->GetHandle());
        if (!w || !gdk_window_is_viewable(w)) return;
        int x = 0, y = 0;
        gdk_window_get_origin(w, &x, &y);
        there = x == rec->x && y == rec->y;
    });
    return there;
}

unsigned long NativeWindowId(HWND hwnd)
{
    unsigned long id = 0;
    RunOnUiThread([&] {
        WindowRecord* rec = Find(hwnd);
        if (!rec || !rec->widget) return;
        GdkWindow* w = gtk_widget_get_window(rec->widget->GetHandle());
        if (w && GDK_IS_X11_WINDOW(w)) id = gdk_x11_window_get_xid(w);
    });
    return id;
}

DWORD ScreenPixel(int x, int y)
{
    GdkWindow* root = gdk_get_default_root_window();
    if (!root || x < 0 || y < 0 || x >= gdk_window_get_width(root) || y >= gdk_window_get_height(root)) return 0;
    GdkPixbuf* pb = gdk_pixbuf_get_from_window(root, x, y, 1, 1);
    if (!pb) return 0;
    const guchar* p = gdk_pixbuf_get_pixels(pb);
    const DWORD out = (static_cast<DWORD>(p[0]) << 16) | (static_cast<DWORD>(p[1]) << 8) | p[2];
    g_object_unref(pb);
    return out;
}

DWORD WindowPixel(HWND hwnd, int x, int y)
{
    cairo_surface_t* img = Compose(hwnd);
    if (!img) return 0;
    DWORD out = 0;
    if (x >= 0 && y >= 0 && x < cairo_image_surface_get_width(img) && y < cairo_image_surface_get_height(img)) {
        cairo_surface_flush(img);
        const unsigned char* row = cairo_image_surface_get_data(img) + y * cairo_image_surface_get_stride(img);
        const uint32_t p = reinterpret_cast<const uint32_t*>(row)[x];
        const uint32_t a = p >> 24;
        auto un = [a](uint32_t c) { return a ? (c * 255 + a / 2) / a : 0; };
        out = (a << 24) | (un((p >> 16) & 0xFF) << 16) | (un((p >> 8) & 0xFF) << 8) | un(p & 0xFF);
    }
    cairo_surface_destroy(img);
    return out;
}

}  // namespace lumui

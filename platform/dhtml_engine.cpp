// The engine library of the page layer (libplatform_web.so): the pages' web
// views (wxWidgets' wxWebView over WebKitGTK), the signals of their WebKit
// views, the lumres: and lumfile: schemes and the web process the pages
// share. The layer loads it when it needs the engine and reaches it through
// lumweb::Engine; see platform/dhtml_internal.h for the division of work and
// platform/dhtml.h for what pages do.
#include "platform/dhtml_internal.h"

#include "platform/codepage.h"
#include "platform/config.h"
#include "platform/commdlg.h"
#include "platform/resources.h"
#include "platform/shell.h"
#include "platform/uiapp.h"
#include "platform/window_internal.h"

#include <dlfcn.h>
#include <gdk/gdkkeysyms.h>
#include <gio/gio.h>
#include <gtk/gtk.h>
#include <link.h>
#include <wx/log.h>
#include <wx/webview.h>
#include <wx/wx.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace lumui;

namespace {

// ---------------------------------------------------------------- WebKit entry points

// The web view is WebKitGTK, loaded with the toolkit's web view library. Its
// C interface for URI schemes is reached through the loaded library, as the
// build has only the toolkit's headers for it.
struct WebKitApi {
    typedef void (*SchemeCallback)(void* request, gpointer data);
    void* (*contextGetDefault)() = nullptr;
    void (*registerScheme)(void* context, const gchar* scheme, SchemeCallback cb, gpointer data,
                           GDestroyNotify destroy) = nullptr;
    const gchar* (*requestPath)(void* request) = nullptr;
    const gchar* (*requestUri)(void* request) = nullptr;
    void* (*requestWebView)(void* request) = nullptr;
    void (*requestFinish)(void* request, GInputStream* stream, gint64 length, const gchar* contentType) = nullptr;
    void (*requestFinishError)(void* request, GError* error) = nullptr;
    GObject* (*viewSettings)(void* view) = nullptr;
    int (*dialogType)(void* dialog) = nullptr;
    const gchar* (*dialogMessage)(void* dialog) = nullptr;
    void (*dialogConfirm)(void* dialog, gboolean confirmed) = nullptr;
    void* (*contentManager)(void* view) = nullptr;
    gboolean (*registerMessageHandler)(void* manager, const gchar* name) = nullptr;
    void* (*resultValue)(void* result) = nullptr;
    gchar* (*valueToString)(void* value) = nullptr;
    void (*callAsyncFunction)(void* view, const gchar* body, gssize length, GVariant* arguments, const char* world,
                              const char* sourceUri, GCancellable* cancellable, GAsyncReadyCallback callback,
                              gpointer data) = nullptr;
    GObject* (*callAsyncFunctionFinish)(void* view, GAsyncResult* result, GError** error) = nullptr;
    bool ok = false;
};

const WebKitApi& webkit()
{
    static const WebKitApi api = [] {
        WebKitApi a;
        void* lib = dlopen("libwebkit2gtk-4.0.so.37", RTLD_LAZY | RTLD_NOLOAD);
        if (!lib) lib = dlopen("libwebkit2gtk-4.1.so.0", RTLD_LAZY | RTLD_NOLOAD);
        if (!lib) lib = RTLD_DEFAULT;
        auto sym = [lib](auto& fn, const char* name) { fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(lib, name)); };
        sym(a.contextGetDefault, "webkit_web_context_get_default");
        sym(a.registerScheme, "webkit_web_context_register_uri_scheme");
        sym(a.requestPath, "webkit_uri_scheme_request_get_path");
        sym(a.requestUri, "webkit_uri_scheme_request_get_uri");
        sym(a.requestWebView, "webkit_uri_scheme_request_get_web_view");
        sym(a.requestFinish, "webkit_uri_scheme_request_finish");
        sym(a.requestFinishError, "webkit_uri_scheme_request_finish_error");
        sym(a.viewSettings, "webkit_web_view_get_settings");
        sym(a.dialogType, "webkit_script_dialog_get_dialog_type");
        sym(a.dialogMessage, "webkit_script_dialog_get_message");
        sym(a.dialogConfirm, "webkit_script_dialog_confirm_set_confirmed");
        sym(a.contentManager, "webkit_web_view_get_user_content_manager");
        sym(a.registerMessageHandler, "webkit_user_content_manager_register_script_message_handler");
        sym(a.resultValue, "webkit_javascript_result_get_js_value");
        sym(a.valueToString, "jsc_value_to_string");
        sym(a.callAsyncFunction, "webkit_web_view_call_async_javascript_function");
        sym(a.callAsyncFunctionFinish, "webkit_web_view_call_async_javascript_function_finish");
        a.ok = a.contextGetDefault && a.registerScheme && a.requestPath && a.requestUri && a.requestWebView && a.requestFinish &&
               a.requestFinishError;
        return a;
    }();
    return api;
}

// Live pages by their WebKitWebView (UI thread only).
std::map<void*, std::weak_ptr<CDHtmlDialog::Impl>>& pagesByView()
{
    static auto* m = new std::map<void*, std::weak_ptr<CDHtmlDialog::Impl>>;
    return *m;
}

// The view that keeps the shared web process for the session (never shown,
// never freed), once the engine was started. The start goes in three steps
// (Engine::StartStep): the web context, the view, its first load.
GtkWidget* g_anchorView = nullptr;
bool g_contextReady = false;
gpointer g_anchorPending = nullptr;  // the view, made, not yet loaded

// A view that every new view is related to: the anchor, else a live page's
// WebKitWebView, or null when neither exists.
void* anyLiveView()
{
    if (g_anchorView) return g_anchorView;
    for (const auto& entry : pagesByView())
        if (!entry.second.expired()) return entry.first;
    return nullptr;
}

// Every page of the process shares one web process. The toolkit's web view
// makes its WebKit view with webkit_web_view_new, which the layer provides
// in place of the engine's own (platform/dhtml.cpp) and which makes it here:
// a view made while another page is open is related to that page's view, so
// the engine puts it in the same web process (a further window costs a view,
// not a process). Each view keeps settings and user scripts of its own; the
// pages all come from the one web server, so no navigation moves a page to
// another process.
//
// The pages are documents: they are drawn without the engine's accelerated
// compositing (which keeps layers and a GL context for every page), and the
// engine caches as a document browser does.
GtkWidget* newWebKitView()
{
    using TypeFn = GType (*)();
    using ContextFn = void* (*)();
    using SettingsFn = GObject* (*)();
    using CacheModelFn = void (*)(void*, int);
    static const TypeFn type = reinterpret_cast<TypeFn>(dlsym(RTLD_DEFAULT, "webkit_web_view_get_type"));
    static const ContextFn context = reinterpret_cast<ContextFn>(dlsym(RTLD_DEFAULT, "webkit_web_context_get_default"));
    static const SettingsFn newSettings = reinterpret_cast<SettingsFn>(dlsym(RTLD_DEFAULT, "webkit_settings_new"));
    if (!type || !context) return nullptr;
    static const bool cacheModelSet = [] {
        // WEBKIT_CACHE_MODEL_DOCUMENT_BROWSER: small caches, but a page's
        // resources are still kept while it shows them (without a memory
        // cache every picture would be fetched twice).
        if (auto set = reinterpret_cast<CacheModelFn>(dlsym(RTLD_DEFAULT, "webkit_web_context_set_cache_model")))
            set(context(), 2);
        return true;
    }();
    (void)cacheModelSet;
    GObject* settings = newSettings ? newSettings() : nullptr;
    if (settings) {
        GParamSpec* spec = g_object_class_find_property(G_OBJECT_GET_CLASS(settings), "hardware-acceleration-policy");
        if (spec && G_IS_PARAM_SPEC_ENUM(spec))
            if (GEnumValue* never = g_enum_get_value_by_nick(G_PARAM_SPEC_ENUM(spec)->enum_class, "never"))
                g_object_set(settings, "hardware-acceleration-policy", never->value, nullptr);
    }
    GObject* view = nullptr;
    void* related = anyLiveView();
    if (related && settings)
        view = G_OBJECT(g_object_new(type(), "related-view", related, "settings", settings, nullptr));
    else if (related)
        view = G_OBJECT(g_object_new(type(), "related-view", related, nullptr));
    else if (settings)
        view = G_OBJECT(g_object_new(type(), "web-context", context(), "settings", settings, nullptr));
    else
        view = G_OBJECT(g_object_new(type(), "web-context", context(), nullptr));
    if (settings) g_object_unref(settings);
    return GTK_WIDGET(view);
}

// "PNG" / "23" / "HTML" as a resource type, the way manifests read them.
LPCSTR resourceType(const std::string& t, std::string& keep)
{
    static const std::map<std::string, int> standard = {{"BITMAP", 2}, {"ICON", 3},   {"MENU", 4},     {"DIALOG", 5},
                                                         {"STRING", 6}, {"HTML", 23}, {"TOOLBAR", 241}};
    if (!t.empty() && t.find_first_not_of("0123456789") == std::string::npos && t.size() <= 5)
        return MAKEINTRESOURCE(std::atoi(t.c_str()));
    std::string upper;
    for (char c : t) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    auto it = standard.find(upper);
    if (it != standard.end()) return MAKEINTRESOURCE(it->second);
    keep = t;
    return keep.c_str();
}

const char* contentTypeOf(const unsigned char* p, size_t n, LPCSTR type)
{
    auto starts = [&](const char* sig, size_t len) { return n >= len && std::memcmp(p, sig, len) == 0; };
    if (starts("\x89PNG", 4)) return "image/png";
    if (starts("GIF8", 4)) return "image/gif";
    if (starts("\xFF\xD8\xFF", 3)) return "image/jpeg";
    if (starts("BM", 2)) return "image/bmp";
    if (starts("\0\0\1\0", 4)) return "image/x-icon";
    size_t i = starts("\xEF\xBB\xBF", 3) ? 3 : 0;
    while (i < n && std::strchr(" \t\r\n", p[i])) ++i;
    if (i < n && p[i] == '<') return "text/html; charset=utf-8";
    if (!IS_INTRESOURCE(type) && strcasecmp(type, "CSS") == 0) return "text/css; charset=utf-8";
    if (IS_INTRESOURCE(type) && reinterpret_cast<uintptr_t>(type) == 23) return "application/javascript; charset=utf-8";
    if (!IS_INTRESOURCE(type) && (strcasecmp(type, "JS") == 0 || strcasecmp(type, "SCRIPT") == 0))
        return "application/javascript; charset=utf-8";
    return "application/octet-stream";
}

void onSchemeRequest(void* request, gpointer)
{
    const WebKitApi& wk = webkit();
    HMODULE module = nullptr;
    auto it = pagesByView().find(wk.requestWebView(request));
    if (it != pagesByView().end())
        if (auto impl = it->second.lock()) module = impl->module;
    // "/PNG/219"
    std::string path = wk.requestPath(request) ? wk.requestPath(request) : "";
    while (!path.empty() && path[0] == '/') path.erase(0, 1);
    const size_t slash = path.find('/');
    const void* data = nullptr;
    DWORD size = 0;
    LPCSTR type = nullptr;
    std::string typeText, nameText;
    if (module && slash != std::string::npos) {
        type = resourceType(path.substr(0, slash), typeText);
        nameText = path.substr(slash + 1);
        LPCSTR name = nameText.c_str();
        if (!nameText.empty() && nameText.find_first_not_of("0123456789") == std::string::npos && nameText.size() <= 5)
            name = MAKEINTRESOURCE(std::atoi(nameText.c_str()));
        if (HRSRC res = FindResource(module, name, type)) {
            size = SizeofResource(module, res);
            data = LockResource(LoadResource(module, res));
        }
    }
    if (!data) {
        GError* error = g_error_new(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "no resource %s", path.c_str());
        wk.requestFinishError(request, error);
        g_error_free(error);
        return;
    }
    void* copy = g_malloc(size ? size : 1);
    std::memcpy(copy, data, size);
    GInputStream* stream = g_memory_input_stream_new_from_data(copy, size, g_free);
    wk.requestFinish(request, stream, size, contentTypeOf(static_cast<const unsigned char*>(data), size, type));
    g_object_unref(stream);
}

void failRequest(void* request, const std::string& what)
{
    GError* error = g_error_new(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "not found: %s", what.c_str());
    webkit().requestFinishError(request, error);
    g_error_free(error);
}

// "lumfile:///home/u/files/a%23b.png": a file directly inside the page's
// local folder, or nothing.
void onLocalFileRequest(void* request, gpointer)
{
    const WebKitApi& wk = webkit();
    std::string folder;
    auto it = pagesByView().find(wk.requestWebView(request));
    if (it != pagesByView().end())
        if (auto impl = it->second.lock()) folder = impl->localFolder;
    std::string uri = wk.requestUri(request) ? wk.requestUri(request) : "";
    uri = uri.substr(std::min(uri.size(), std::strlen("lumfile:")));
    uri = uri.substr(0, uri.find_first_of("?#"));
    // The address's path, its escapes undone; "lumfile:////x" is "/x" too.
    std::string path;
    for (size_t i = 0; i < uri.size(); ++i) {
        if (uri[i] == '%' && i + 2 < uri.size() && std::isxdigit(static_cast<unsigned char>(uri[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(uri[i + 2]))) {
            path += static_cast<char>(std::stoi(uri.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            path += uri[i];
        }
    }
    const size_t start = path.find_first_not_of('/');
    path = start == std::string::npos ? std::string("/") : "/" + path.substr(start);
    const std::string name = path.size() > folder.size() ? path.substr(folder.size()) : std::string();
    if (folder.empty() || path.compare(0, folder.size(), folder) != 0 || name.empty() || name == "." ||
        name == ".." || name.find('/') != std::string::npos || name.find('\0') != std::string::npos) {
        failRequest(request, path);
        return;
    }
    std::ifstream in(path, std::ios::binary);
    std::error_code error;
    if (!in || !std::filesystem::is_regular_file(path, error)) {
        failRequest(request, path);
        return;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t size = bytes.size();
    // Only pictures: a file a peer sent is never run as a document.
    const char* type = contentTypeOf(reinterpret_cast<const unsigned char*>(bytes.data()), size, MAKEINTRESOURCE(0));
    if (std::strncmp(type, "image/", 6) != 0) {
        failRequest(request, path);
        return;
    }
    void* copy = g_malloc(size ? size : 1);
    std::memcpy(copy, bytes.data(), size);
    GInputStream* stream = g_memory_input_stream_new_from_data(copy, size, g_free);
    wk.requestFinish(request, stream, size, type);
    g_object_unref(stream);
}

void registerSchemeOnce()
{
    static bool done = false;
    if (done) return;
    done = true;
    const WebKitApi& wk = webkit();
    if (!wk.ok) {
        wxLogDebug("lumres: WebKit's scheme interface was not found");
        return;
    }
    wk.registerScheme(wk.contextGetDefault(), "lumres", &onSchemeRequest, nullptr, nullptr);
    wk.registerScheme(wk.contextGetDefault(), "lumfile", &onLocalFileRequest, nullptr, nullptr);
}


UINT vkFromKeyval(guint keyval)
{
    if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F12) return VK_F1 + (keyval - GDK_KEY_F1);
    if (keyval >= GDK_KEY_a && keyval <= GDK_KEY_z) return 'A' + (keyval - GDK_KEY_a);
    if (keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z) return keyval;
    if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9) return keyval;
    switch (keyval) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter: return VK_RETURN;
    case GDK_KEY_Escape: return VK_ESCAPE;
    case GDK_KEY_Tab: return VK_TAB;
    case GDK_KEY_BackSpace: return VK_BACK;
    case GDK_KEY_Delete: return VK_DELETE;
    case GDK_KEY_space: return VK_SPACE;
    case GDK_KEY_Left: return VK_LEFT;
    case GDK_KEY_Right: return VK_RIGHT;
    case GDK_KEY_Up: return VK_UP;
    case GDK_KEY_Down: return VK_DOWN;
    case GDK_KEY_Home: return VK_HOME;
    case GDK_KEY_End: return VK_END;
    case GDK_KEY_Page_Up: return VK_PRIOR;
    case GDK_KEY_Page_Down: return VK_NEXT;
    case GDK_KEY_Control_L:
    case GDK_KEY_Control_R: return VK_CONTROL;
    case GDK_KEY_Shift_L:
    case GDK_KEY_Shift_R: return VK_SHIFT;
    default: return 0;
    }
}

// GTK signal data: the page, held weakly.
struct SignalData {
    std::weak_ptr<CDHtmlDialog::Impl> impl;
};

void freeSignalData(gpointer data, GClosure*)
{
    delete static_cast<SignalData*>(data);
}

// ---------------------------------------------------------------- drawing

// The engine draws a page from the last picture its web process sent of it.
// A view that has none yet (just shown, or shown again after the engine let
// its picture go) would have the UI thread wait up to half a second for the
// web process to send one, and the web process, shared by all pages, may be
// busy with another page. So when a view is shown its drawing is held back
// (what is behind it shows) until its document has loaded and gone through
// two frames: the web process sends the picture of a frame before it runs the
// next frame's callbacks, so the picture is there when the answer comes, and
// the view is drawn from it without waiting. The view takes input meanwhile.
const char* const kTwoFrames =
    "return new Promise(function (done) {"
    "  requestAnimationFrame(function () { requestAnimationFrame(function () { done(true); }); });"
    "});";

struct FramesProbe {
    std::weak_ptr<CDHtmlDialog::Impl> impl;
    unsigned shown = 0;
    int tries = 0;
};

// A document that goes away (the page loads another) takes the question with
// it: it is asked again of the next, a few times.
const int kFramesProbeTries = 5;

void onTwoFrames(GObject* view, GAsyncResult* result, gpointer data);

void askForTwoFrames(GtkWidget* view, FramesProbe* probe)
{
    ++probe->tries;
    webkit().callAsyncFunction(view, kTwoFrames, -1, nullptr, nullptr, nullptr, nullptr, &onTwoFrames, probe);
}

void onTwoFrames(GObject* view, GAsyncResult* result, gpointer data)
{
    std::unique_ptr<FramesProbe> probe(static_cast<FramesProbe*>(data));
    const WebKitApi& api = webkit();
    GError* error = nullptr;
    GObject* value = api.callAsyncFunctionFinish(view, result, &error);
    if (value) g_object_unref(value);
    if (error) g_error_free(error);
    auto impl = probe->impl.lock();
    // Shown again since: the answer to that showing releases the view.
    if (!impl || impl->native != view || impl->shown != probe->shown || !impl->drawHeld) return;
    if (!value && probe->tries < kFramesProbeTries && gtk_widget_get_mapped(GTK_WIDGET(view))) {
        askForTwoFrames(GTK_WIDGET(view), probe.release());
        return;
    }
    impl->drawHeld = false;
    gtk_widget_queue_draw(GTK_WIDGET(view));
}

void onViewMapped(GtkWidget* widget, gpointer data)
{
    auto impl = static_cast<SignalData*>(data)->impl.lock();
    const WebKitApi& api = webkit();
    if (!impl || impl->native != widget || !api.callAsyncFunction || !api.callAsyncFunctionFinish) return;
    impl->drawHeld = true;
    ++impl->shown;
    // A document still loading is asked when it has loaded.
    if (impl->loaded) askForTwoFrames(widget, new FramesProbe{impl, impl->shown, 0});
}

// Runs before the engine draws the view: a held view is not drawn.
gboolean onViewDraw(GtkWidget*, cairo_t*, gpointer data)
{
    auto impl = static_cast<SignalData*>(data)->impl.lock();
    return impl && impl->drawHeld ? TRUE : FALSE;
}

// The page's document has been parsed and its scripts have run: the page is
// told (OnDocumentComplete). The engine's own end of a load is not waited
// for: it may come while the parser still waits for a script, before the
// page's functions exist, and never while a picture does not come.
void onScriptMessage(GObject*, void* result, gpointer data)
{
    const WebKitApi& api = webkit();
    void* value = result && api.resultValue ? api.resultValue(result) : nullptr;
    gchar* text = value && api.valueToString ? api.valueToString(value) : nullptr;
    if (!text) return;
    const std::string message(text);
    g_free(text);
    lumweb::OnPageMessage(static_cast<SignalData*>(data)->impl, message);
}

// Key presses reach the layer's pre-translation (the page's
// TranslateAccelerator, then its parents) before the page sees them.
gboolean onKeyPress(GtkWidget*, GdkEventKey* event, gpointer data)
{
    auto impl = static_cast<SignalData*>(data)->impl.lock();
    if (!impl || !impl->page || !impl->page->m_hWnd) return FALSE;
    const UINT vk = vkFromKeyval(event->keyval);
    if (!vk) return FALSE;
    MSG msg;
    msg.hwnd = impl->page->m_hWnd;
    msg.message = WM_KEYDOWN;
    msg.wParam = vk;
    msg.time = event->time;
    return PreTranslate(msg) ? TRUE : FALSE;
}

gboolean onContextMenu(GtkWidget*, gpointer, GdkEvent* event, gpointer, gpointer data)
{
    auto impl = static_cast<SignalData*>(data)->impl.lock();
    if (!impl || !impl->page) return FALSE;
    POINT pt;
    gdouble x = 0, y = 0;
    if (event && gdk_event_get_root_coords(event, &x, &y)) {
        pt.x = static_cast<LONG>(x);
        pt.y = static_cast<LONG>(y);
    }
    return impl->page->ShowContextMenu(0, &pt, nullptr, nullptr) == S_OK ? TRUE : FALSE;
}

// alert() and confirm() of page script are the layer's message boxes, owned
// by the page's top-level window and titled with its caption, so that they
// look like every other box of the program (and tests can answer them).
// Other dialogs keep the web view's own handling.
gboolean onScriptDialog(GtkWidget*, void* dialog, gpointer data)
{
    auto impl = static_cast<SignalData*>(data)->impl.lock();
    const WebKitApi& api = webkit();
    if (!impl || !impl->page || !api.dialogType || !api.dialogMessage || !api.dialogConfirm) return FALSE;
    const int type = api.dialogType(dialog);
    if (type != 0 && type != 1) return FALSE;  // alert, confirm
    const gchar* message = api.dialogMessage(dialog);
    CWnd* top = impl->page->GetTopLevelParent();
    CString caption;
    if (top) top->GetWindowText(caption);
    const CString text = Utf8ToAnsi(CString(message ? message : ""));
    const int answer = MessageBox(top ? top->m_hWnd : impl->page->m_hWnd, text, caption,
                                  type == 0 ? MB_OK | MB_ICONWARNING : MB_OKCANCEL | MB_ICONQUESTION);
    if (type == 1) api.dialogConfirm(dialog, answer == IDOK);
    return TRUE;
}

// A file input of a page asks for a file: the layer's open-file dialog
// answers (so a test answers it through its own services), and the
// chosen file, or none, goes back to the page.
gboolean onRunFileChooser(GtkWidget*, GObject* request, gpointer data)
{
    typedef void (*SelectFn)(GObject*, const gchar* const*);
    typedef void (*CancelFn)(GObject*);
    static const SelectFn selectFiles =
        reinterpret_cast<SelectFn>(dlsym(RTLD_DEFAULT, "webkit_file_chooser_request_select_files"));
    static const CancelFn cancel = reinterpret_cast<CancelFn>(dlsym(RTLD_DEFAULT, "webkit_file_chooser_request_cancel"));
    auto impl = static_cast<SignalData*>(data)->impl.lock();
    if (!impl || !impl->page || !request || !selectFiles || !cancel) return FALSE;
    g_object_ref(request);
    CWnd* top = impl->page->GetTopLevelParent();
    CFileDialog dialog(TRUE, nullptr, nullptr, OFN_HIDEREADONLY | OFN_FILEMUSTEXIST, "所有文件|*.*||", top);
    if (dialog.DoModal() == IDOK && !dialog.GetPathName().IsEmpty()) {
        const CString path = AnsiToUtf8(dialog.GetPathName());
        const gchar* files[] = {path.GetString(), nullptr};
        selectFiles(request, files);
    } else {
        cancel(request);
    }
    g_object_unref(request);
    return TRUE;
}

// ---------------------------------------------------------------- the GL driver

// The paths of the libraries loaded now.
std::set<std::string> loadedLibraries()
{
    std::set<std::string> paths;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) -> int {
            if (info->dlpi_name && std::strchr(info->dlpi_name, '/'))
                static_cast<std::set<std::string>*>(data)->insert(info->dlpi_name);
            return 0;
        },
        &paths);
    return paths;
}

// The engine's web context sets up GL for its display when it is made, on
// the UI thread, and the GL library then loads its driver: on this
// platform's Mesa some two dozen libraries, among them the compiler library
// the driver links (LLVM, with its own initialisers), about half of the
// context's making. The driver is loaded here instead, away from the UI
// thread: a display of Mesa's that needs no window system (surfaceless) is
// set up, which loads the same driver (the platform's drivers are one
// library under several names), and what it loaded is kept loaded when the
// display is let go again. Where there is no such display, nothing is done.
void preloadGlDriver()
{
    using GetPlatformDisplayFn = void* (*)(unsigned platform, void* native, const intptr_t* attributes);
    using InitializeFn = unsigned (*)(void* display, int* major, int* minor);
    using TerminateFn = unsigned (*)(void* display);
    const unsigned kPlatformSurfacelessMesa = 0x31DD;
    const auto getDisplay = reinterpret_cast<GetPlatformDisplayFn>(dlsym(RTLD_DEFAULT, "eglGetPlatformDisplay"));
    const auto initialize = reinterpret_cast<InitializeFn>(dlsym(RTLD_DEFAULT, "eglInitialize"));
    const auto terminate = reinterpret_cast<TerminateFn>(dlsym(RTLD_DEFAULT, "eglTerminate"));
    if (!getDisplay || !initialize || !terminate) return;
    const std::set<std::string> before = loadedLibraries();
    void* display = getDisplay(kPlatformSurfacelessMesa, nullptr, nullptr);
    if (!display || !initialize(display, nullptr, nullptr)) return;
    // The libraries that came meanwhile are the driver's, except the
    // program's own modules, which the UI thread may have loaded at the same
    // time: kept loaded here, one could never be unloaded again (its
    // FreeLibrary would leave it mapped, with its state).
    const std::string programFolder = GetProgramFolder().GetString();
    for (const std::string& path : loadedLibraries()) {
        if (before.count(path)) continue;
        if (!programFolder.empty() && path.compare(0, programFolder.size(), programFolder) == 0) continue;
        dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    }
    terminate(display);
}

// ---------------------------------------------------------------- the engine

class WebEngine final : public lumweb::Engine {
public:
    void Prepare() override
    {
        // The engine's entry points are looked up here rather than on the UI
        // thread.
        (void)webkit();
        preloadGlDriver();
    }

    bool StartStep() override
    {
        if (g_anchorView) return true;
        if (!g_contextReady) {
            // The web context the pages share: the engine sets up its
            // display's GL (the driver was loaded by Prepare) and its
            // processes' settings.
            registerSchemeOnce();
            g_contextReady = true;
            return false;
        }
        if (!g_anchorPending) {
            GtkWidget* view = newWebKitView();
            if (!view) return true;  // no engine to start
            g_anchorPending = g_object_ref_sink(view);
            return false;
        }
        // The first load starts the web process.
        using LoadFn = void (*)(void*, const gchar*);
        static const LoadFn load = reinterpret_cast<LoadFn>(dlsym(RTLD_DEFAULT, "webkit_web_view_load_uri"));
        if (load) load(g_anchorPending, "about:blank");
        g_anchorView = GTK_WIDGET(g_anchorPending);
        return true;
    }

    void Start() override
    {
        while (!StartStep()) {
        }
    }

    bool Started() const override { return g_anchorView != nullptr; }

    bool OpenView(const std::shared_ptr<CDHtmlDialog::Impl>& impl, wxWindow* parent, const CRect& place,
                  const std::string& userScript) override
    {
        wxWebView* view = wxWebView::New(parent, wxID_ANY, "about:blank", wxPoint(place.left, place.top),
                                         wxSize(std::max(place.Width(), 1), std::max(place.Height(), 1)));
        if (!view) return false;
        impl->view = view;
        impl->native = view->GetNativeBackend();
        pagesByView()[impl->native] = impl;

        // Pages are UTF-8 unless they say otherwise.
        if (webkit().viewSettings)
            if (GObject* settings = webkit().viewSettings(impl->native))
                g_object_set(settings, "default-charset", "utf-8", nullptr);
        {
            wxLogNull quiet;
            view->AddUserScript(wxString::FromUTF8(userScript.c_str()), wxWEBVIEW_INJECT_AT_DOCUMENT_START);
        }

        std::weak_ptr<CDHtmlDialog::Impl> weak = impl;
        view->Bind(wxEVT_WEBVIEW_NEWWINDOW, [weak, view](wxWebViewEvent& e) {
            auto p = weak.lock();
            if (!p || p->view != view || !p->page) return;
            // Pages open their new windows in the user's browser.
            ShellExecute(p->page->m_hWnd, "open", e.GetURL().utf8_str().data(), nullptr, nullptr, SW_SHOWNORMAL);
        });
        auto connect = [&](const char* signal, GCallback cb) {
            impl->signals.push_back(g_signal_connect_data(impl->native, signal, cb, new SignalData{weak},
                                                          &freeSignalData, static_cast<GConnectFlags>(0)));
        };
        // The page's two message handlers, registered with the view's user
        // content manager directly: nothing waits for the page.
        const WebKitApi& api = webkit();
        if (api.contentManager && api.registerMessageHandler) impl->manager = api.contentManager(impl->native);
        if (impl->manager)
            for (const char* name : {"lumExternal", "lumEvent"}) {
                const std::string signal = std::string("script-message-received::") + name;
                impl->managerSignals.push_back(g_signal_connect_data(
                    impl->manager, signal.c_str(), G_CALLBACK(onScriptMessage), new SignalData{weak},
                    &freeSignalData, static_cast<GConnectFlags>(0)));
                api.registerMessageHandler(impl->manager, name);
            }
        connect("key-press-event", G_CALLBACK(onKeyPress));
        connect("context-menu", G_CALLBACK(onContextMenu));
        connect("script-dialog", G_CALLBACK(onScriptDialog));
        connect("run-file-chooser", G_CALLBACK(onRunFileChooser));
        connect("map", G_CALLBACK(onViewMapped));
        connect("draw", G_CALLBACK(onViewDraw));

        // A view shown already is held as one shown from now on.
        if (gtk_widget_get_mapped(GTK_WIDGET(impl->native))) {
            SignalData data{weak};
            onViewMapped(GTK_WIDGET(impl->native), &data);
        }
        return true;
    }

    void CloseView(CDHtmlDialog::Impl& impl) override
    {
        for (gulong id : impl.signals) g_signal_handler_disconnect(impl.native, id);
        impl.signals.clear();
        for (gulong id : impl.managerSignals) g_signal_handler_disconnect(impl.manager, id);
        impl.managerSignals.clear();
        impl.manager = nullptr;
        pagesByView().erase(impl.native);
        if (auto* view = static_cast<wxWebView*>(impl.view)) view->Stop();
    }

    void SetPage(CDHtmlDialog::Impl& impl, const std::string& html, const std::string& baseUrl) override
    {
        static_cast<wxWebView*>(impl.view)->SetPage(wxString::FromUTF8(html.data(), html.size()),
                                                    wxString::FromUTF8(baseUrl.c_str()));
    }

    void LoadUrl(CDHtmlDialog::Impl& impl, const std::string& url) override
    {
        static_cast<wxWebView*>(impl.view)->LoadURL(wxString::FromUTF8(url.c_str()));
    }

    bool RunScript(CDHtmlDialog::Impl& impl, const std::string& code, std::string* result) override
    {
        wxLogNull quiet;
        wxString out;
        const bool ran = static_cast<wxWebView*>(impl.view)->RunScript(wxString::FromUTF8(code.c_str()), &out);
        if (result) *result = out.utf8_str().data();
        return ran;
    }

    void DocumentParsed(CDHtmlDialog::Impl& impl) override
    {
        // A held view asks the document that came (one replaced meanwhile
        // takes its question with it).
        if (impl.drawHeld && gtk_widget_get_mapped(GTK_WIDGET(impl.native)))
            if (auto p = pageOf(impl.native)) askForTwoFrames(GTK_WIDGET(impl.native), new FramesProbe{p, p->shown, 0});
    }

    void* NewWebKitView() override { return newWebKitView(); }

private:
    static std::shared_ptr<CDHtmlDialog::Impl> pageOf(void* native)
    {
        auto it = pagesByView().find(native);
        return it == pagesByView().end() ? nullptr : it->second.lock();
    }
};

}  // namespace

extern "C" lumweb::Engine* lum_web_engine()
{
    static WebEngine engine;
    return &engine;
}

// CDHtmlDialog over wxWebView (WebKitGTK): loading pages from module
// resources, the lumres: scheme, window.external, DHTML click events, calls
// into page script, keys, context menu and drops.
#include "platform/dhtml.h"

#include "platform/codepage.h"
#include "platform/commdlg.h"
#include "platform/config.h"
#include "platform/resources.h"
#include "platform/shell.h"
#include "platform/uiapp.h"
#include "platform/window_internal.h"

#include <dlfcn.h>
#include <gdk/gdkkeysyms.h>
#include <gio/gio.h>
#include <gtk/gtk.h>
#include <wx/log.h>
#include <wx/webview.h>
#include <wx/wx.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace lumui;

// Identities handed out as IDispatch: a page object, or the browser of one.
struct IDispatch {
    CDHtmlDialog* page = nullptr;
};

// What a click handler gets; the layer's handlers never look inside.
struct IHTMLElement {
    CString id;
};

// A call from page script waiting to be dispatched (UTF-8 texts; `present`
// false for undefined or null), or a click on an element of the event map
// (`clickEvent` set, `name` the element's id). Both wait in one queue, so
// that they act in the order the page made them.
struct PendingCall {
    std::string name;
    std::vector<std::pair<bool, std::string>> args;
    std::string clickEvent;
};

struct CDHtmlDialog::Impl {
    CDHtmlDialog* page = nullptr;  // null once the object is gone
    wxWebView* view = nullptr;     // null while there is no page window
    void* native = nullptr;        // the WebKitWebView of `view`
    std::vector<gulong> signals;   // handlers connected to `native`
    GObject* manager = nullptr;    // the user content manager of `native`
    std::vector<gulong> managerSignals;
    HMODULE module = nullptr;      // whose resources the page shows
    bool loadStarted = false;      // a load of ours is under way or done
    bool loaded = false;           // a document has completed
    IDispatch self;                // the page object's identity
    IDispatch browser;             // the browser's identity (OnDocumentComplete)
    IDispatch* external = nullptr; // where window.external calls go
    std::unique_ptr<IWebBrowser2> browserApp;
    std::deque<PendingCall> pending;
    bool draining = false;
    // The view's drawing is held back while the engine has no picture of the
    // page for it (see onViewMapped); `shown` counts the times it was shown.
    bool drawHeld = false;
    unsigned shown = 0;

    // Runs the page's window.external calls that arrived.
    void DispatchPending()
    {
        if (page) page->DispatchPendingCalls();
    }
    std::string localFolder;       // served through lumfile: (ends with '/')
};

namespace {

// ---------------------------------------------------------------- JSON

// Appends code point `c` as UTF-8.
void appendUtf8(std::string& out, unsigned c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 sequence at s[i]; advances i. Malformed input gives
// U+FFFD and advances by one byte.
unsigned nextCodePoint(const std::string& s, size_t& i)
{
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned c0 = b(i);
    if (c0 < 0x80) {
        ++i;
        return c0;
    }
    int extra = 0;
    unsigned c = 0, min = 0;
    if ((c0 & 0xE0) == 0xC0) extra = 1, c = c0 & 0x1F, min = 0x80;
    else if ((c0 & 0xF0) == 0xE0) extra = 2, c = c0 & 0x0F, min = 0x800;
    else if ((c0 & 0xF8) == 0xF0) extra = 3, c = c0 & 0x07, min = 0x10000;
    else {
        ++i;
        return 0xFFFD;
    }
    for (int k = 1; k <= extra; ++k) {
        if (i + k >= s.size() || (b(i + k) & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        c = (c << 6) | (b(i + k) & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += extra + 1;
    return c;
}

// UTF-8 text as a JSON string literal that is also safe inside script
// source: quotes, backslashes, controls, '<', '>' and the two line
// separators are escaped; malformed bytes become U+FFFD.
std::string jsonQuote(const std::string& utf8)
{
    std::string out = "\"";
    for (size_t i = 0; i < utf8.size();) {
        const unsigned c = nextCodePoint(utf8, i);
        if (c == '"') out += "\\\"";
        else if (c == '\\') out += "\\\\";
        else if (c < 0x20 || c == '<' || c == '>' || c == 0x2028 || c == 0x2029) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            appendUtf8(out, c);
        }
    }
    out += '"';
    return out;
}

std::string jsonOfAnsi(const CString& text)
{
    return jsonQuote(AnsiToUtf8(text).GetString());
}

// A reader for the messages the page's user script posts: arrays of
// strings, nulls and arrays, as JSON.stringify writes them.
struct JsonValue {
    enum Kind { Null, String, Array, Other } kind = Other;
    std::string text;
    std::vector<JsonValue> items;
};

class JsonReader {
public:
    explicit JsonReader(const std::string& s) : s_(s) {}
    bool read(JsonValue& v)
    {
        if (!value(v, 0)) return false;
        space();
        return i_ == s_.size();
    }

private:
    void space()
    {
        while (i_ < s_.size() && std::strchr(" \t\r\n", s_[i_])) ++i_;
    }
    bool hex4(unsigned& u)
    {
        if (i_ + 4 > s_.size()) return false;
        u = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = s_[i_++];
            u <<= 4;
            if (c >= '0' && c <= '9') u |= c - '0';
            else if (c >= 'a' && c <= 'f') u |= c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') u |= c - 'A' + 10;
            else return false;
        }
        return true;
    }
    bool string(std::string& out)
    {
        ++i_;  // the opening quote
        while (i_ < s_.size()) {
            const char c = s_[i_++];
            if (c == '"') return true;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (i_ >= s_.size()) return false;
            const char e = s_[i_++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                unsigned u;
                if (!hex4(u)) return false;
                if (u >= 0xD800 && u <= 0xDBFF && i_ + 6 <= s_.size() && s_[i_] == '\\' && s_[i_ + 1] == 'u') {
                    const size_t save = i_;
                    i_ += 2;
                    unsigned lo;
                    if (hex4(lo) && lo >= 0xDC00 && lo <= 0xDFFF) u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
                    else i_ = save;
                }
                if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;  // a lone surrogate
                appendUtf8(out, u);
                break;
            }
            default: return false;
            }
        }
        return false;
    }
    bool value(JsonValue& v, int depth)
    {
        space();
        if (i_ >= s_.size() || depth > 8) return false;
        if (s_[i_] == '"') {
            v.kind = JsonValue::String;
            return string(v.text);
        }
        if (s_.compare(i_, 4, "null") == 0) {
            i_ += 4;
            v.kind = JsonValue::Null;
            return true;
        }
        if (s_[i_] != '[') return false;
        ++i_;
        v.kind = JsonValue::Array;
        space();
        if (i_ < s_.size() && s_[i_] == ']') {
            ++i_;
            return true;
        }
        for (;;) {
            v.items.emplace_back();
            if (!value(v.items.back(), depth + 1)) return false;
            space();
            if (i_ >= s_.size()) return false;
            if (s_[i_] == ']') {
                ++i_;
                return true;
            }
            if (s_[i_++] != ',') return false;
        }
    }
    const std::string& s_;
    size_t i_ = 0;
};

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
// never freed), once the engine was started.
GtkWidget* g_anchorView = nullptr;

// A view that every new view is related to: the anchor, else a live page's
// WebKitWebView, or null when neither exists.
void* anyLiveView()
{
    if (g_anchorView) return g_anchorView;
    for (const auto& entry : pagesByView())
        if (!entry.second.expired()) return entry.first;
    return nullptr;
}

}  // namespace

// Every page of the process shares one web process. The toolkit's web view
// makes its WebKit view with webkit_web_view_new, which the layer provides
// here in place of the engine's own: a view made while another page is open
// is related to that page's view, so the engine puts it in the same web
// process (a further window costs a view, not a process). Each view keeps
// settings and user scripts of its own; the pages all come from the one web
// server, so no navigation moves a page to another process.
//
// The pages are documents: they are drawn without the engine's accelerated
// compositing (which keeps layers and a GL context for every page), and the
// engine caches as a document browser does.
extern "C" GtkWidget* webkit_web_view_new(void)
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

namespace {

// Depth of native-to-script calls under way (all pages); while above 0,
// calls from page script wait.
int g_scriptDepth = 0;

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

// The desktop's accessibility bus, which the web process is given when it
// starts. The engine would ask the session bus for its address with a call
// that waits (up to half a minute) for the answer, and the session bus may
// first have to start the accessibility service; the layer asks on a worker
// instead (StartWebEngineSoon) and hands the answer to the engine through the
// environment, as a desktop gives it to the programs it starts. Where the bus
// did not answer, or a page opens before the answer came, the engine asks
// itself.
bool g_a11yAsked = false;
std::string g_a11yAddress;

void giveEngineA11yAddress()
{
    if (g_a11yAddress.empty() || getenv("WEBKIT_A11Y_BUS_ADDRESS") || getenv("AT_SPI_BUS_ADDRESS")) return;
    setenv("AT_SPI_BUS_ADDRESS", g_a11yAddress.c_str(), 1);
}

void startWebEngine()
{
    if (g_anchorView) return;
    giveEngineA11yAddress();
    registerSchemeOnce();
    using LoadFn = void (*)(void*, const gchar*);
    static const LoadFn load = reinterpret_cast<LoadFn>(dlsym(RTLD_DEFAULT, "webkit_web_view_load_uri"));
    GtkWidget* view = webkit_web_view_new();
    if (!view) return;
    g_object_ref_sink(view);
    // The first load starts the web process.
    if (load) load(view, "about:blank");
    g_anchorView = view;
}

gboolean onStartWebEngine(gpointer)
{
    startWebEngine();
    return G_SOURCE_REMOVE;
}

// The page's user script: window.external in every frame, and in the main
// frame the clicks of the event map's elements.
std::string userScript(const std::string& clickIdsJson)
{
    return R"JS((function () {
  var handlers = window.webkit && window.webkit.messageHandlers;
  if (!handlers || !handlers.lumExternal) return;
  var toText = function (v) {
    if (v === undefined || v === null) return null;
    try { return String(v); } catch (e) { return null; }
  };
  var external = new Proxy({}, {
    get: function (target, name) {
      if (typeof name !== 'string') return undefined;
      return function () {
        var args = [];
        for (var i = 0; i < arguments.length; ++i) args.push(toText(arguments[i]));
        handlers.lumExternal.postMessage(JSON.stringify([name, args]));
      };
    }
  });
  try {
    Object.defineProperty(window, 'external', { value: external, configurable: true });
  } catch (e) {
    window.external = external;
  }
  if (!handlers.lumEvent) return;
  // A window the page opens from script shows in the user's browser, as a
  // link with a target does (the web view would make a window of its own).
  var open = function (url) {
    try { url = new URL(String(url), document.baseURI).href; } catch (e) { url = String(url); }
    handlers.lumEvent.postMessage(JSON.stringify(['open', url]));
    return null;
  };
  try {
    Object.defineProperty(window, 'open', { value: open, configurable: true });
  } catch (e) {
    window.open = open;
  }
  // So does a link that names another window as its target.
  window.addEventListener('click', function (e) {
    for (var n = e.target; n; n = n.parentNode) {
      if (n.tagName !== 'A' || !n.href) continue;
      var t = (n.getAttribute('target') || '').toLowerCase();
      if (t && t !== '_self' && t !== '_top' && t !== '_parent') {
        e.preventDefault();
        open(n.href);
      }
      return;
    }
  }, true);
  if (window !== window.top) return;
  // The document is there, its scripts run: the native side may call them.
  var parsed = function () { handlers.lumEvent.postMessage(JSON.stringify(['parsed', location.href])); };
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', parsed);
  else parsed();
  var ids = )JS" + clickIdsJson + R"JS(;
  window.addEventListener('click', function (e) {
    for (var n = e.target; n; n = n.parentNode)
      if (n.id && Object.prototype.hasOwnProperty.call(ids, n.id))
        handlers.lumEvent.postMessage(JSON.stringify(['onclick', n.id]));
  }, true);
})();)JS";
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
void onDocumentParsed(const std::weak_ptr<CDHtmlDialog::Impl>& weak, const std::string& url)
{
    auto p = weak.lock();
    if (!p || !p->view || !p->page || !p->loadStarted) return;
    if (url == "about:blank" && !p->loaded) return;  // the view's first, empty document
    p->loaded = true;
    // A held view asks the document that came (one replaced meanwhile takes
    // its question with it).
    if (p->drawHeld && gtk_widget_get_mapped(GTK_WIDGET(p->native)))
        askForTwoFrames(GTK_WIDGET(p->native), new FramesProbe{p, p->shown, 0});
    p->page->OnDocumentComplete(&p->browser, Utf8ToAnsi(CString(url.c_str())));
}

// A message posted by page script to one of the page's handlers: a call of
// window.external ([name, [args]]), a click of an event-map element
// (["onclick", id]), a window it opens (["open", url]) or its document
// parsed (["parsed", url]), as JSON.
void onPageMessage(const std::weak_ptr<CDHtmlDialog::Impl>& weak, const std::string& text)
{
    auto p = weak.lock();
    if (!p || !p->view || !p->page) return;
    JsonValue v;
    if (!JsonReader(text).read(v) || v.kind != JsonValue::Array || v.items.size() != 2 ||
        v.items[0].kind != JsonValue::String)
        return;
    if (v.items[1].kind == JsonValue::String && v.items[0].text == "parsed") {
        // Like calls from page script, it waits while native code is in a
        // call into the page.
        const std::string url = v.items[1].text;
        if (g_scriptDepth == 0)
            onDocumentParsed(weak, url);
        else
            wxTheApp->CallAfter([weak, url] { onDocumentParsed(weak, url); });
        return;
    }
    if (v.items[1].kind == JsonValue::String && v.items[0].text == "open") {
        // A window the page opens goes to the user's browser.
        ShellExecute(p->page->m_hWnd, "open", v.items[1].text.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        return;
    }
    PendingCall call;
    call.name = v.items[0].text;
    if (v.items[1].kind == JsonValue::String) {
        // A click on an element of the event map. It waits behind the calls
        // the page made before it, and like them while native code is in a
        // call into the page (its handler may close the page).
        call.clickEvent = v.items[0].text;
        call.name = v.items[1].text;
    } else if (v.items[1].kind == JsonValue::Array) {
        for (const JsonValue& a : v.items[1].items) call.args.emplace_back(a.kind == JsonValue::String, a.text);
    } else {
        return;
    }
    p->pending.push_back(std::move(call));
    if (g_scriptDepth == 0) {
        if (!p->draining) p->DispatchPending();
    } else {
        wxTheApp->CallAfter([weak] {
            auto q = weak.lock();
            if (q && q->page && !q->draining) q->DispatchPending();
        });
    }
}

void onScriptMessage(GObject*, void* result, gpointer data)
{
    const WebKitApi& api = webkit();
    void* value = result && api.resultValue ? api.resultValue(result) : nullptr;
    gchar* text = value && api.valueToString ? api.valueToString(value) : nullptr;
    if (!text) return;
    const std::string message(text);
    g_free(text);
    onPageMessage(static_cast<SignalData*>(data)->impl, message);
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

// Runs one call of a function expression of ours with JSON arguments and
// reads back its status-prefixed text: 'R' result, 'M' missing, 'E' thrown.
HRESULT runPageFunction(const std::shared_ptr<CDHtmlDialog::Impl>& impl, const char* function,
                        const std::vector<std::string>& jsonArgs, CString* result)
{
    if (!impl->view || !impl->loaded) return E_FAIL;
    std::string code = "(function(){try{return (";
    code += function;
    code += ").apply(null,[";
    for (size_t i = 0; i < jsonArgs.size(); ++i) {
        if (i) code += ',';
        code += jsonArgs[i];
    }
    code += "]);}catch(e){return 'E'+e;}})()";
    wxString out;
    bool ran;
    {
        // Layer work queued meanwhile (posted messages, pending calls from
        // page script, widgets going away) waits until the call is over.
        const bool outermost = g_scriptDepth++ == 0;
        if (outermost && wxTheApp) wxTheApp->SuspendProcessingOfPendingEvents();
        wxLogNull quiet;
        wxWebView* view = impl->view;
        ran = view->RunScript(wxString::FromUTF8(code.c_str()), &out);
        if (--g_scriptDepth == 0 && wxTheApp) wxTheApp->ResumeProcessingOfPendingEvents();
    }
    if (!ran) return E_FAIL;
    const std::string text = out.utf8_str().data();
    if (text.empty()) return E_FAIL;
    if (text[0] == 'M') return DISP_E_UNKNOWNNAME;
    if (text[0] != 'R') return DISP_E_EXCEPTION;
    if (result) *result = Utf8ToAnsi(CString(text.substr(1)));
    return S_OK;
}

const char* propertyName(DISPID property)
{
    switch (property) {
    case DISPID_IHTMLELEMENT_INNERTEXT: return "innerText";
    case DISPID_IHTMLELEMENT_INNERHTML: return "innerHTML";
    case DISPID_A_VALUE: return "value";
    default: return nullptr;
    }
}

const char* const kCallFunction =
    "function(n,a){var f=window[n];if(typeof f!=='function')return 'M';"
    "var r=f.apply(window,a);return 'R'+(r===undefined||r===null?'':String(r));}";
const char* const kElementProperty =
    "function(id,p,v,set){var e=document.getElementById(id);if(!e)return 'M';"
    "if(set){e[p]=v;return 'R';}var r=e[p];return 'R'+(r===undefined||r===null?'':String(r));}";

}  // namespace

// ---------------------------------------------------------------- arguments

CScriptArg::CScriptArg(const CString& text) : json_(jsonOfAnsi(text)) {}
CScriptArg::CScriptArg(const char* text) : json_(jsonOfAnsi(CString(text))) {}
CScriptArg::CScriptArg(int number) : json_(std::to_string(number)) {}

// ---------------------------------------------------------------- the browser

HRESULT IWebBrowser2::put_RegisterAsDropTarget(VARIANT_BOOL enable)
{
    CDHtmlDialog::Impl* impl = page_ ? page_->d_.get() : nullptr;
    if (!impl || !impl->native) return E_FAIL;
    // Without a drop site on the view, GTK offers drops to nothing, so a
    // dropped file cannot replace the page.
    GtkWidget* widget = GTK_WIDGET(impl->native);
    if (enable != VARIANT_FALSE)
        gtk_drag_dest_set(widget, static_cast<GtkDestDefaults>(0), nullptr, 0,
                          static_cast<GdkDragAction>(GDK_ACTION_COPY | GDK_ACTION_MOVE | GDK_ACTION_LINK));
    else
        gtk_drag_dest_unset(widget);
    return S_OK;
}

// ---------------------------------------------------------------- the page

const CRuntimeClass* CDHtmlDialog::GetThisClass()
{
    static const CRuntimeClass rc = {"CDHtmlDialog", &CDialogEx::GetThisClass};
    return &rc;
}

const CRuntimeClass* CDHtmlDialog::GetRuntimeClass() const
{
    return GetThisClass();
}

const AFX_MSGMAP* CDHtmlDialog::GetThisMessageMap()
{
    typedef CDHtmlDialog ThisClass;
    static const AFX_MSGMAP_ENTRY entries[] = {
        ON_WM_SIZE()
        ON_WM_DESTROY()
        {0, 0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {&CDialog::GetThisMessageMap, entries};
    return &map;
}

const AFX_MSGMAP* CDHtmlDialog::GetMessageMap() const
{
    return GetThisMessageMap();
}

const AFX_DISPMAP* CDHtmlDialog::GetThisDispatchMap()
{
    static const AFX_DISPMAP_ENTRY entries[] = {{nullptr, nullptr, nullptr}};
    static const AFX_DISPMAP map = {nullptr, entries};
    return &map;
}

const AFX_DISPMAP* CDHtmlDialog::GetDispatchMap() const
{
    return GetThisDispatchMap();
}

const DHtmlEventMapEntry* CDHtmlDialog::GetDHtmlEventMap()
{
    return nullptr;
}

CDHtmlDialog::~CDHtmlDialog()
{
    // The window goes while this class's overrides still answer.
    if (m_hWnd) DestroyWindow();
    if (d_) d_->page = nullptr;
}

void CDHtmlDialog::EnableAutomation()
{
    if (!d_) d_ = std::make_shared<Impl>();
    d_->page = this;
    d_->self.page = this;
}

LPDISPATCH CDHtmlDialog::GetIDispatch(BOOL)
{
    EnableAutomation();
    return &d_->self;
}

void CDHtmlDialog::SetExternalDispatch(LPDISPATCH dispatch)
{
    EnableAutomation();
    d_->external = dispatch;
}

void CDHtmlDialog::SetLocalFolder(const CString& folder)
{
    d_->localFolder = folder.GetString();
    if (!d_->localFolder.empty() && d_->localFolder.back() != '/') d_->localFolder += '/';
}

BOOL CDHtmlDialog::IsExternalDispatchSafe()
{
    return FALSE;
}

HRESULT CDHtmlDialog::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*)
{
    return S_FALSE;
}

HRESULT CDHtmlDialog::TranslateAccelerator(LPMSG, const GUID*, DWORD)
{
    return S_FALSE;
}

BOOL CDHtmlDialog::PreTranslateMessage(MSG* msg)
{
    if (msg && msg->hwnd == m_hWnd && (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN) &&
        TranslateAccelerator(msg, nullptr, 0) == S_OK)
        return TRUE;
    return CDialogEx::PreTranslateMessage(msg);
}

void CDHtmlDialog::OnDocumentComplete(LPDISPATCH, LPCTSTR url)
{
    m_strCurrentUrl = url ? url : "";
}

BOOL CDHtmlDialog::OnInitDialog()
{
    EnableAutomation();
    std::shared_ptr<Impl> impl = d_;
    WindowRecord* rec = Find(m_hWnd);
    if (rec && rec->widget && !impl->view) {
        // The web process the pages share, kept for the session.
        startWebEngine();
        const CRect place = PageRect(rec->cx, rec->cy);
        wxWebView* view = wxWebView::New(rec->widget, wxID_ANY, "about:blank", wxPoint(place.left, place.top),
                                         wxSize(std::max(place.Width(), 1), std::max(place.Height(), 1)));
        if (view) {
            impl->view = view;
            impl->native = view->GetNativeBackend();
            impl->browser.page = this;
            impl->browserApp.reset(new IWebBrowser2(this));
            m_pBrowserApp = impl->browserApp.get();
            pagesByView()[impl->native] = impl;

            // Pages are UTF-8 unless they say otherwise.
            if (webkit().viewSettings)
                if (GObject* settings = webkit().viewSettings(impl->native))
                    g_object_set(settings, "default-charset", "utf-8", nullptr);

            std::string ids = "{";
            if (const DHtmlEventMapEntry* e = GetDHtmlEventMap())
                for (; e->szName; ++e) {
                    if (ids.size() > 1) ids += ',';
                    ids += jsonOfAnsi(e->szName) + ":true";
                }
            ids += '}';
            {
                wxLogNull quiet;
                view->AddUserScript(wxString::FromUTF8(userScript(ids).c_str()), wxWEBVIEW_INJECT_AT_DOCUMENT_START);
            }

            std::weak_ptr<Impl> weak = impl;
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
            // The page's two message handlers, registered with the view's
            // user content manager directly: nothing waits for the page.
            const WebKitApi& api = webkit();
            if (api.contentManager && api.registerMessageHandler)
                impl->manager = static_cast<GObject*>(api.contentManager(impl->native));
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

            // Controls of the page's template stay above the page.
            for (wxWindow* child : rec->widget->GetChildren())
                if (child != view) child->Raise();
        }
    }
    LoadFromResource(m_nHtmlResID);
    return CDialogEx::OnInitDialog();
}

void CDHtmlDialog::DispatchPendingCalls()
{
    std::shared_ptr<Impl> impl = d_;
    if (!impl || impl->draining) return;
    impl->draining = true;
    while (impl->page && g_scriptDepth == 0 && !impl->pending.empty()) {
        PendingCall call = std::move(impl->pending.front());
        impl->pending.pop_front();
        if (!call.clickEvent.empty()) {
            const CString id = Utf8ToAnsi(CString(call.name));
            if (const DHtmlEventMapEntry* entry = GetDHtmlEventMap())
                for (; entry->szName; ++entry)
                    if (call.clickEvent == entry->szEvent && id == entry->szName) {
                        IHTMLElement element;
                        element.id = id;
                        entry->pfn(this, &element);
                        break;
                    }
            continue;
        }
        CDHtmlDialog* target = impl->external ? impl->external->page : nullptr;
        if (!target || !impl->view || !IsExternalDispatchSafe()) continue;
        const AFX_DISPMAP_ENTRY* found = FindDispatchEntry(target, Utf8ToAnsi(CString(call.name)));
        if (!found) continue;
        std::vector<VARIANT> args(call.args.size());
        for (size_t i = 0; i < call.args.size(); ++i) {
            if (!call.args[i].first) continue;
            args[i].vt = VT_BSTR;
            args[i].strVal = Utf8ToAnsi(CString(call.args[i].second));
        }
        found->pfn(target, args.data(), args.size());
    }
    impl->draining = false;
}

CRect CDHtmlDialog::PageRect(int cx, int cy)
{
    return CRect(0, 0, cx, cy);
}

void CDHtmlDialog::OnSize(UINT type, int cx, int cy)
{
    CDialogEx::OnSize(type, cx, cy);
    if (d_ && d_->view) {
        const CRect place = PageRect(cx, cy);
        d_->view->SetSize(place.left, place.top, std::max(place.Width(), 1), std::max(place.Height(), 1));
    }
}

void CDHtmlDialog::OnDestroy()
{
    if (d_ && d_->view) {
        for (gulong id : d_->signals) g_signal_handler_disconnect(d_->native, id);
        d_->signals.clear();
        for (gulong id : d_->managerSignals) g_signal_handler_disconnect(d_->manager, id);
        d_->managerSignals.clear();
        d_->manager = nullptr;
        pagesByView().erase(d_->native);
        d_->view->Stop();
        d_->view = nullptr;
        d_->native = nullptr;
        d_->loaded = d_->loadStarted = false;
        d_->pending.clear();
        d_->browserApp.reset();
        m_pBrowserApp = nullptr;
    }
    CDialogEx::OnDestroy();
}

BOOL CDHtmlDialog::LoadFromResource(UINT htmlResourceId)
{
    if (!d_ || !d_->view) return FALSE;
    HMODULE module = m_hHtmlModule;
    HRSRC res = module ? FindResource(module, MAKEINTRESOURCE(htmlResourceId), RT_HTML) : nullptr;
    if (!res) {
        module = AfxGetResourceHandle();
        res = FindResource(module, MAKEINTRESOURCE(htmlResourceId), RT_HTML);
    }
    if (!res) return FALSE;
    const char* data = static_cast<const char*>(LockResource(LoadResource(module, res)));
    const DWORD size = SizeofResource(module, res);
    if (!data) return FALSE;
    d_->module = module;
    d_->loadStarted = true;
    const std::string base = std::string(GetEndpointConfig().webBaseUrl.GetString()) + "/";
    d_->view->SetPage(wxString::FromUTF8(data, size), wxString::FromUTF8(base.c_str()));
    return TRUE;
}

BOOL CDHtmlDialog::Navigate(LPCTSTR url)
{
    if (!d_ || !d_->view || !url || !*url) return FALSE;
    std::string target = AnsiToUtf8(url).GetString();
    const size_t colon = target.find(':');
    if (colon == std::string::npos || target.find('/') < colon) {
        // Relative addresses are the web server's.
        std::string base = GetEndpointConfig().webBaseUrl.GetString();
        target = base + (target[0] == '/' ? "" : "/") + target;
    }
    if (d_->module == nullptr) d_->module = m_hHtmlModule;
    d_->loadStarted = true;
    d_->view->LoadURL(wxString::FromUTF8(target.c_str()));
    return TRUE;
}

HRESULT CDHtmlDialog::CallScriptFunction(CString name, CString arg)
{
    return InvokeScriptMethod(name, {CScriptArg(arg)}, nullptr);
}

HRESULT CDHtmlDialog::InvokeScriptMethod(LPCTSTR name, std::initializer_list<CScriptArg> args, CString* result)
{
    if (!d_ || !name) return E_FAIL;
    std::string list = "[";
    for (const CScriptArg& a : args) {
        if (list.size() > 1) list += ',';
        list += a.json();
    }
    list += ']';
    return runPageFunction(d_, kCallFunction, {jsonOfAnsi(name), list}, result);
}

HRESULT CDHtmlDialog::GetElementProperty(LPCTSTR elementId, DISPID property, CString& value)
{
    const char* prop = propertyName(property);
    if (!d_ || !elementId || !prop) return E_INVALIDARG;
    return runPageFunction(d_, kElementProperty, {jsonOfAnsi(elementId), jsonQuote(prop), "null", "false"}, &value);
}

HRESULT CDHtmlDialog::SetElementProperty(LPCTSTR elementId, DISPID property, const CString& value)
{
    const char* prop = propertyName(property);
    if (!d_ || !elementId || !prop) return E_INVALIDARG;
    return runPageFunction(d_, kElementProperty, {jsonOfAnsi(elementId), jsonQuote(prop), jsonOfAnsi(value), "true"},
                           nullptr);
}

// Finds the element a test names: a CSS selector, or selectors joined by
// " >>> " that lead through frames (the frame element, then an element of its
// document).
#define FIND_ELEMENT                                                                              \
    "function(s){var d=document,e=null,p=s.split(' >>> ');for(var i=0;i<p.length;++i){"           \
    "if(!d)return null;e=d.querySelector(p[i]);if(!e)return null;"                               \
    "d=e.contentDocument||null;}return e;}"

bool lumui::PageElementScreenRect(CDHtmlDialog* page, const char* selector, CRect* rect)
{
    if (!page || !page->d_ || !page->d_->view || !selector || !rect) return false;
    static const char* const kRect =
        "function(s){var f=" FIND_ELEMENT ";var e=f(s);if(!e)return 'R';var r=e.getBoundingClientRect();"
        "var x=r.left,y=r.top;for(var w=e.ownerDocument.defaultView;w&&w.frameElement;w=w.parent){"
        "var fr=w.frameElement.getBoundingClientRect();x+=fr.left;y+=fr.top;}"
        "return 'R'+Math.round(x)+','+Math.round(y)+','+Math.round(x+r.width)+','+Math.round(y+r.height)+"
        "','+window.innerWidth+','+window.innerHeight;}";
    CString out;
    if (runPageFunction(page->d_, kRect, {jsonOfAnsi(selector)}, &out) != S_OK || out.IsEmpty()) return false;
    int l = 0, t = 0, r = 0, b = 0, w = 0, h = 0;
    if (std::sscanf(out.GetString(), "%d,%d,%d,%d,%d,%d", &l, &t, &r, &b, &w, &h) != 6) return false;
    // The page is laid out for the view's size only once the web process has
    // heard of it (a view just resized still answers for its old size).
    const wxSize size = page->d_->view->GetClientSize();
    if (w != size.x || h != size.y) return false;
    const wxPoint origin = page->d_->view->GetScreenPosition();
    *rect = CRect(origin.x + l, origin.y + t, origin.x + r, origin.y + b);
    return true;
}

bool lumui::PageElementText(CDHtmlDialog* page, const char* selector, CString* text)
{
    if (!page || !page->d_ || !page->d_->view || !selector || !text) return false;
    static const char* const kText =
        "function(s){var f=" FIND_ELEMENT ";var e=f(s);if(!e)return 'M';"
        "return 'R'+(('value' in e&&e.tagName!=='LI')?e.value:e.innerText);}";
    return runPageFunction(page->d_, kText, {jsonOfAnsi(selector)}, text) == S_OK;
}

bool lumui::CallPageMethod(CDHtmlDialog* page, const char* name, const std::vector<const char*>& args)
{
    const AFX_DISPMAP_ENTRY* entry = FindDispatchEntry(page, name);
    if (!entry) return false;
    std::vector<VARIANT> v(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
        v[i].vt = VT_BSTR;
        v[i].strVal = args[i];
    }
    entry->pfn(page, v.data(), v.size());
    return true;
}

const AFX_DISPMAP_ENTRY* FindDispatchEntry(const CDHtmlDialog* page, LPCTSTR name)
{
    if (!page || !name) return nullptr;
    for (const AFX_DISPMAP* map = page->GetDispatchMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr)
        for (const AFX_DISPMAP_ENTRY* e = map->lpEntries; e && e->lpszName; ++e)
            if (std::strcmp(name, e->lpszName) == 0) return e;
    return nullptr;
}

void DDX_DHtml_ElementText(CDataExchange* dx, LPCTSTR elementId, DISPID property, CString& value)
{
    CDHtmlDialog* page = dx ? dynamic_cast<CDHtmlDialog*>(dx->m_pDlgWnd) : nullptr;
    if (!page) return;
    if (dx->m_bSaveAndValidate) {
        CString read;
        if (page->GetElementProperty(elementId, property, read) == S_OK) value = read;
    } else {
        page->SetElementProperty(elementId, property, value);
    }
}

namespace lumui {

void StartWebEngineSoon()
{
    if (g_a11yAsked || g_anchorView) return;
    g_a11yAsked = true;
    // The accessibility bus's address is asked for on a worker; the engine
    // starts on the UI thread when the answer (or the failure) comes.
    std::thread([] {
        std::string address;
        if (!getenv("WEBKIT_A11Y_BUS_ADDRESS") && !getenv("AT_SPI_BUS_ADDRESS"))
            if (GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)) {
                GVariant* reply = g_dbus_connection_call_sync(bus, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus",
                                                              "GetAddress", nullptr, G_VARIANT_TYPE("(s)"),
                                                              G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, nullptr);
                if (reply) {
                    const gchar* text = nullptr;
                    g_variant_get(reply, "(&s)", &text);
                    if (text) address = text;
                    g_variant_unref(reply);
                }
                g_object_unref(bus);
            }
        QueueOnUiThread([address] {
            g_a11yAddress = address;
            // When the loop is idle after the first window's first frames.
            g_timeout_add_full(G_PRIORITY_LOW, 250, &onStartWebEngine, nullptr, nullptr);
        });
    }).detach();
}

bool WebEngineStarted()
{
    return g_anchorView != nullptr;
}

}  // namespace lumui

// CDHtmlDialog, the layer's side (see platform/dhtml_internal.h): the page
// objects, window.external and click messages from page script, calls into
// page script, and the loading of the engine library that holds the web
// views.
#include "platform/dhtml_internal.h"

#include "platform/codepage.h"
#include "platform/config.h"
#include "platform/resources.h"
#include "platform/shell.h"
#include "platform/uiapp.h"
#include "platform/window_internal.h"

#include <gio/gio.h>
#include <gtk/gtk.h>
#include <wx/app.h>
#include <wx/window.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace lumui;

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

// ---------------------------------------------------------------- starting the engine

// No program links the web engine: loading WebKit and the libraries it needs
// (some hundred and eighty; the loader maps, relocates and initialises them)
// takes hundreds of milliseconds, which a program linking it spends before
// its first window. The engine library (platform/dhtml_internal.h) is loaded
// once, by the first of:
//
// - StartWebEngineSoon, which the program calls when its first window is up:
//   a worker loads the libraries (platform/dhtml_loader.cpp) and readies
//   what can be readied away from the UI thread (Engine::Prepare: the GL
//   driver the engine's start would load). The UI thread then starts the
//   engine in three steps (Engine::StartStep), each at an idle turn of its
//   loop, so that input and drawing come between them:
//     1. the web context: the engine sets up GL for the display (EGL, and a
//        GL context of the toolkit's to see whether it can draw with GL),
//        which makes the GL driver's screens for the display's connection,
//        on the thread that owns that connection: some four fifths of the
//        start's time on the UI thread (bench/bench_webstart measures it),
//     2. the view that keeps the web process (about a tenth),
//     3. its first load, which starts the web and network processes (a
//        twentieth).
//   What is left of the start on the UI thread cannot leave it: the toolkit
//   and the display connection the GL set-up uses are the UI thread's.
//
// - A page window that opens before that has finished (or in a program that
//   never calls StartWebEngineSoon): the page needs its view now, so the UI
//   thread loads what is not loaded yet itself, and does what is left of the
//   start at once; a library the worker is loading at that moment it waits
//   for (the loader loads one at a time), so it never waits longer than the
//   rest of the load takes. It waits on the local disk and the loader only,
//   never on a socket or another process, and only for a page that opens
//   within the program's first moments (or the first page of a program that
//   does not start the engine early), which could not show before the
//   engine is there anyway.
//
// The libraries' initialisers run on the thread that loads them. Apart from
// the engine's own, they register the web view's classes and event types
// with the toolkit; the UI thread touches that table and counter only while
// it loads a library itself (one library loads at a time) or when it makes
// an object by class name, which the layer never does.

// The desktop's accessibility bus, which the web process is given when it
// starts. The engine would ask the session bus for its address with a call
// that waits (up to half a minute) for the answer, and the session bus may
// first have to start the accessibility service; the layer asks on a worker
// instead (StartWebEngineSoon) and hands the answer to the engine through the
// environment, as a desktop gives it to the programs it starts. Where the bus
// did not answer, or a page opens before the answer came, the engine asks
// itself.
bool g_startAsked = false;
int g_startPartsDue = 0;  // the worker's answers StartWebEngineSoon waits for
std::string g_a11yAddress;

void giveEngineA11yAddress()
{
    if (g_a11yAddress.empty() || getenv("WEBKIT_A11Y_BUS_ADDRESS") || getenv("AT_SPI_BUS_ADDRESS")) return;
    setenv("AT_SPI_BUS_ADDRESS", g_a11yAddress.c_str(), 1);
}

// UI thread.
void startEngine(lumweb::Engine* engine)
{
    if (engine->Started()) return;
    giveEngineA11yAddress();
    engine->Start();
}

// One step of the engine's start at an idle turn of the loop, so that input
// and drawing come between the steps (UI thread).
gboolean onStartWebEngine(gpointer)
{
    lumweb::Engine* engine = lumweb::LoadedEngine();
    if (!engine) return G_SOURCE_REMOVE;
    giveEngineA11yAddress();
    return engine->StartStep() ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
}

// One of the workers of StartWebEngineSoon has answered (UI thread).
void startPartDone()
{
    if (--g_startPartsDue > 0) return;
    // When the loop is idle after the first window's first frames; then
    // every step when the loop is idle again.
    g_timeout_add_full(G_PRIORITY_LOW, 250, [](gpointer) -> gboolean {
        g_idle_add_full(G_PRIORITY_LOW, &onStartWebEngine, nullptr, nullptr);
        return G_SOURCE_REMOVE;
    }, nullptr, nullptr);
}

std::string askA11yAddress()
{
    std::string address;
    if (getenv("WEBKIT_A11Y_BUS_ADDRESS") || getenv("AT_SPI_BUS_ADDRESS")) return address;
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
    return address;
}

// ---------------------------------------------------------------- pages

// Depth of native-to-script calls under way (all pages); while above 0,
// calls from page script wait.
int g_scriptDepth = 0;

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

void onDocumentParsed(const std::weak_ptr<CDHtmlDialog::Impl>& weak, const std::string& url)
{
    auto p = weak.lock();
    if (!p || !p->view || !p->page || !p->loadStarted) return;
    if (url == "about:blank" && !p->loaded) return;  // the view's first, empty document
    p->loaded = true;
    if (lumweb::Engine* engine = lumweb::LoadedEngine()) engine->DocumentParsed(*p);
    p->page->OnDocumentComplete(&p->browser, Utf8ToAnsi(CString(url.c_str())));
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
    lumweb::Engine* engine = lumweb::LoadedEngine();
    if (!engine) return E_FAIL;
    std::string text;
    bool ran;
    {
        // Layer work queued meanwhile (posted messages, pending calls from
        // page script, widgets going away) waits until the call is over.
        lumui::QueuedWorkHold hold;
        const bool outermost = g_scriptDepth++ == 0;
        if (outermost && wxTheApp) wxTheApp->SuspendProcessingOfPendingEvents();
        ran = engine->RunScript(*impl, code, &text);
        if (--g_scriptDepth == 0 && wxTheApp) wxTheApp->ResumeProcessingOfPendingEvents();
    }
    if (!ran) return E_FAIL;
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

// A message posted by page script to one of the page's handlers: a call of
// window.external ([name, [args]]), a click of an event-map element
// (["onclick", id]), a window it opens (["open", url]) or its document
// parsed (["parsed", url]), as JSON.
void lumweb::OnPageMessage(const std::weak_ptr<CDHtmlDialog::Impl>& weak, const std::string& text)
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



// ---------------------------------------------------------------- the engine's views

// The toolkit's web view makes its WebKit view with webkit_web_view_new,
// which the layer provides in place of WebKit's own, so that every page's
// view is made as the engine library makes it (Engine::NewWebKitView): in
// the one web process the pages share, drawn as documents. It is defined
// here, in the library every program links when it starts, so that it comes
// before WebKit's own in the order the loader looks symbols up, however the
// engine's libraries are loaded.
extern "C" GtkWidget* webkit_web_view_new(void)
{
    lumweb::Engine* engine = lumweb::LoadedEngine();
    return engine ? static_cast<GtkWidget*>(engine->NewWebKitView()) : nullptr;
}

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
        // The engine and the web process the pages share, kept for the
        // session; loaded here if the worker has not yet (see "starting the
        // engine").
        if (lumweb::Engine* engine = lumweb::LoadEngine(false)) {
            startEngine(engine);
            std::string ids = "{";
            if (const DHtmlEventMapEntry* e = GetDHtmlEventMap())
                for (; e->szName; ++e) {
                    if (ids.size() > 1) ids += ',';
                    ids += jsonOfAnsi(e->szName) + ":true";
                }
            ids += '}';
            if (engine->OpenView(impl, rec->widget, PageRect(rec->cx, rec->cy), userScript(ids))) {
                impl->browser.page = this;
                impl->browserApp.reset(new IWebBrowser2(this));
                m_pBrowserApp = impl->browserApp.get();
                // Controls of the page's template stay above the page.
                for (wxWindow* child : rec->widget->GetChildren())
                    if (child != impl->view) child->Raise();
            }
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
        if (lumweb::Engine* engine = lumweb::LoadedEngine()) engine->CloseView(*d_);
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
    lumweb::LoadedEngine()->SetPage(*d_, std::string(data, size), base);
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
    lumweb::LoadedEngine()->LoadUrl(*d_, target);
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
    if (g_startAsked || WebEngineStarted()) return;
    g_startAsked = true;
    // On workers: the engine library's load (see "starting the engine") and
    // the accessibility bus's address. The engine starts on the UI thread
    // when both have answered.
    g_startPartsDue = 2;
    std::thread([] {
        if (lumweb::Engine* engine = lumweb::LoadEngine(true)) engine->Prepare();
        QueueOnUiThread([] { startPartDone(); });
    }).detach();
    std::thread([] {
        const std::string address = askA11yAddress();
        QueueOnUiThread([address] {
            g_a11yAddress = address;
            startPartDone();
        });
    }).detach();
}

bool WebEngineStarted()
{
    lumweb::Engine* engine = lumweb::LoadedEngine();
    return engine && engine->Started();
}

}  // namespace lumui

// The page layer's own state (not for modules): what the layer keeps of a
// page, and the boundary between the layer and its engine library.
//
// The engine of the pages (WebKitGTK, through the toolkit's web view) is a
// library of its own, libplatform_web.so beside the layer's library, which
// the layer loads when it needs it (platform/dhtml.cpp, "Loading the engine"),
// so that no program links the engine when it starts: loading it and its
// libraries takes hundreds of milliseconds, which a program would otherwise
// spend before its first window. The engine library holds what needs the
// web view or WebKit (platform/dhtml_engine.cpp): the views, their signals,
// the lumres: and lumfile: schemes and the web process the pages share. The
// layer keeps the rest: the page objects and their state, window.external
// and click messages, the calls into page script, and the loading of the
// engine. The engine library is built without linking the layer's library,
// which is always loaded before it (the layer loads it), so the layer's
// library can depend on it in the build.
#pragma once

#include "platform/dhtml.h"

#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class wxWindow;

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
    wxWindow* view = nullptr;      // the web view; null while there is no page window
    void* native = nullptr;        // the WebKitWebView of `view`
    std::vector<unsigned long> signals;  // handlers connected to `native`
    void* manager = nullptr;       // the user content manager of `native`
    std::vector<unsigned long> managerSignals;
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
    // page for it (platform/dhtml_engine.cpp); `shown` counts the times it
    // was shown.
    bool drawHeld = false;
    unsigned shown = 0;
    std::string localFolder;       // served through lumfile: (ends with '/')

    // Runs the page's window.external calls that arrived.
    void DispatchPending()
    {
        if (page) page->DispatchPendingCalls();
    }
};

namespace lumweb {

// The engine library's side, one object for the process. Prepare may run on
// any thread; everything else runs on the UI thread.
class Engine {
public:
    // Readies what the engine's start would otherwise do on the UI thread
    // and safely can be done elsewhere; the layer calls it on the worker that
    // loaded the library.
    virtual void Prepare() = 0;
    // Starts the engine and the web process the pages share, once: in
    // steps, each of which keeps the UI thread for a while, so that the
    // loop can come round between them (StartStep: true once started), or
    // all at once (Start).
    virtual bool StartStep() = 0;
    virtual void Start() = 0;
    virtual bool Started() const = 0;
    // Makes the web view of `page` inside `parent` at `place`, with the
    // page's user script; sets page->view and page->native. False when no
    // view could be made.
    virtual bool OpenView(const std::shared_ptr<CDHtmlDialog::Impl>& page, wxWindow* parent, const CRect& place,
                          const std::string& userScript) = 0;
    // Lets the view go: its handlers are disconnected and its load stopped
    // (the toolkit destroys the widget with its parent).
    virtual void CloseView(CDHtmlDialog::Impl& page) = 0;
    virtual void SetPage(CDHtmlDialog::Impl& page, const std::string& html, const std::string& baseUrl) = 0;
    virtual void LoadUrl(CDHtmlDialog::Impl& page, const std::string& url) = 0;
    // Runs script source in the page's main frame and waits for its result
    // as text (the UI loop runs meanwhile); false when it did not run.
    virtual bool RunScript(CDHtmlDialog::Impl& page, const std::string& code, std::string* result) = 0;
    // The page's document has been parsed: a view held back from drawing
    // asks the web process for its picture now.
    virtual void DocumentParsed(CDHtmlDialog::Impl& page) = 0;
    // A new WebKitWebView (a GtkWidget) for the toolkit's web view, made
    // the way pages need it (platform/dhtml.cpp, webkit_web_view_new).
    virtual void* NewWebKitView() = 0;

protected:
    ~Engine() = default;
};

// The layer's side, for the engine library: a message the page's script
// posted to one of its handlers (JSON, UTF-8).
void OnPageMessage(const std::weak_ptr<CDHtmlDialog::Impl>& page, const std::string& json);

// Loading the engine library (platform/dhtml_loader.cpp), on any thread.
// The engine once its library is loaded, else null.
Engine* LoadedEngine();
// Loads the engine library once and returns its engine; null when it
// cannot be loaded. `inSteps`: the libraries it needs are loaded one at a
// time first, so that other threads never wait for the loader for long (for
// a worker; on the UI thread, which needs the engine now, false).
Engine* LoadEngine(bool inSteps);

}  // namespace lumweb

// The engine library's one entry: its engine object.
extern "C" lumweb::Engine* lum_web_engine();

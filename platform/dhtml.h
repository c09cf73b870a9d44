// HTML pages hosted in dialogs: CDHtmlDialog shows a page in a web view
// (WebKitGTK through wxWebView) that fills the dialog.
//
// Loading. When the page window is created (OnInitDialog), the HTML resource
// given to the constructor is loaded from the module that constructed the
// object (falling back to the current resource handle), with the web
// server's address (GetEndpointConfig().webBaseUrl + "/") as the document's
// URL. Relative URLs, and posts made by page script, therefore go to the web
// server. LoadFromResource loads another HTML resource of the same module the
// same way; Navigate loads an address (relative ones against the web server).
// Resource bytes are UTF-8.
//
// Resources of the page's module inside a page. A page refers to an embedded
// resource of its own module as
//     lumres:///<TYPE>/<ID>        e.g. <img src="lumres:///PNG/219">,
//                                       <script src="lumres:///HTML/7004">
// TYPE and ID are read as in a resource manifest (cmake/Resources.cmake): a
// number, a standard type name (HTML is type 23, BITMAP 2, ICON 3, ...), or a
// text name compared without regard to case. The content type is taken from
// the bytes (PNG, GIF, JPEG, BMP, ICO, HTML markup); other HTML-type resources
// are served as scripts. A frame loaded from lumres: is of another origin than
// the page, so frames that the page's script fills stay about:blank.
//
// Local files inside a page. A page whose document comes from the web server
// may not load file: addresses. A page given a folder with SetLocalFolder
// shows the files directly inside that folder as
//     lumfile://<the file's path, escaped as in its file: address>
// (a file: address with its scheme replaced). Any other path (another
// folder, a subfolder, "..") does not load.
//
// Script to native. Page script calls window.external.<Name>(a, b, ...). The
// call reaches the dispatch map entry <Name> of the object given to
// SetExternalDispatch, when IsExternalDispatchSafe() returns TRUE; other calls
// are dropped. Every argument arrives as text (VARIANT below): strings as they
// are, numbers as their decimal text, booleans as "true"/"false", undefined
// and null as an empty VARIANT; text is converted from UTF-8 to the layer's
// ANSI code page. Arguments missing from the call are empty; extra ones are
// ignored. The call is asynchronous for the page: window.external.<Name>()
// returns nothing at once, and the method runs on the UI thread shortly after,
// calls in the order the page made them. A call that arrives while native code
// is running a page function (CallScriptFunction and the like) waits until
// that has returned, so a dispatch method never runs inside one.
//
// Native to script. CallScriptFunction and InvokeScriptMethod run a global
// function of the page's script synchronously (the UI loop runs meanwhile)
// and can return its result as text. Arguments are handed over as JSON
// values, never as script source. Before the first document has loaded, and
// when the function does not exist, nothing runs.
#pragma once

#include "platform/dialog.h"
#include "platform/stream.h"

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct GUID;
struct IUnknown;
// The identity of a page object for SetExternalDispatch, and of the browser
// in OnDocumentComplete; opaque.
struct IDispatch;
typedef IDispatch* LPDISPATCH;
// The element an event came from; opaque, valid while its handler runs.
struct IHTMLElement;

#ifndef DISP_E_UNKNOWNNAME
#define DISP_E_UNKNOWNNAME ((HRESULT)0x80020006)
#endif
#ifndef DISP_E_EXCEPTION
#define DISP_E_EXCEPTION ((HRESULT)0x80020009)
#endif

typedef unsigned short VARTYPE;
#define VT_EMPTY 0
#define VT_BSTR 8
#define VT_VARIANT 12
// Parameter descriptions of DISP_FUNCTION, one code a parameter.
#define VTS_NONE ""
#define VTS_VARIANT "\x0C"

typedef short VARIANT_BOOL;
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

// One argument of a window.external call: VT_BSTR with its text, or VT_EMPTY
// (undefined, null or missing).
struct VARIANT {
    VARTYPE vt = VT_EMPTY;
    CString strVal;  // ANSI code page
};
// The argument's text; empty text for VT_EMPTY.
inline CString VariantToText(const VARIANT& v)
{
    return v.vt == VT_BSTR ? v.strVal : CString();
}

// Properties for DDX_DHtml_ElementText.
typedef long DISPID;
#define DISPID_IHTMLELEMENT_INNERTEXT ((DISPID)-2147417086)
#define DISPID_IHTMLELEMENT_INNERHTML ((DISPID)-2147417085)
#define DISPID_A_VALUE ((DISPID)-2147413011)

class CDHtmlDialog;

// ---------------------------------------------------------------- dispatch maps

struct AFX_DISPMAP_ENTRY {
    const char* lpszName;    // the name page script calls
    const char* lpszParams;  // VTS_ codes, one a parameter
    void (*pfn)(CDHtmlDialog* self, const VARIANT* args, size_t count);
};

struct AFX_DISPMAP {
    const AFX_DISPMAP* (*pfnGetBaseMap)();
    const AFX_DISPMAP_ENTRY* lpEntries;
};

namespace lumdisp {
// Calls a member taking VARIANT parameters with the arguments given, empty
// ones for those missing.
template <class Self, class T, class R, class... P, size_t... I>
void callWith(Self* self, R (T::*fn)(P...), const VARIANT* args, size_t count, std::index_sequence<I...>)
{
    static const VARIANT empty;
    (void)args;
    (void)count;
    (static_cast<T*>(self)->*fn)((I < count ? args[I] : empty)...);
}
template <class Self, class T, class R, class... P>
void Invoke(Self* self, R (T::*fn)(P...), const VARIANT* args, size_t count)
{
    callWith(self, fn, args, count, std::index_sequence_for<P...>{});
}
}  // namespace lumdisp

#define DECLARE_DISPATCH_MAP()                         \
protected:                                             \
    static const AFX_DISPMAP* GetThisDispatchMap();    \
    const AFX_DISPMAP* GetDispatchMap() const override;

#define BEGIN_DISPATCH_MAP(theClass, baseClass)                                           \
    const AFX_DISPMAP* theClass::GetDispatchMap() const { return GetThisDispatchMap(); } \
    const AFX_DISPMAP* theClass::GetThisDispatchMap()                                    \
    {                                                                                    \
        typedef baseClass TheBaseClass;                                                  \
        static const AFX_DISPMAP_ENTRY _dispatchEntries[] = {

// `fn` is a member of theClass whose parameters are all `const VARIANT&`;
// its result, if any, is dropped (the page gets no result).
#define DISP_FUNCTION(theClass, name, fn, vtRetVal, vtsParams)                          \
    {(name), (vtsParams), [](CDHtmlDialog* self_, const VARIANT* args_, size_t count_) { \
         lumdisp::Invoke(static_cast<theClass*>(self_), &theClass::fn, args_, count_);   \
     }},

#define END_DISPATCH_MAP()                                                                          \
        {nullptr, nullptr, nullptr}};                                                               \
        static const AFX_DISPMAP dispatchMap = {&TheBaseClass::GetThisDispatchMap, &_dispatchEntries[0]}; \
        return &dispatchMap;                                                                        \
    }

// ---------------------------------------------------------------- DHTML event maps

struct DHtmlEventMapEntry {
    const char* szEvent;  // "onclick"
    const char* szName;   // element id
    HRESULT (*pfn)(CDHtmlDialog* self, IHTMLElement* element);
};

#define DECLARE_DHTML_EVENT_MAP() \
protected:                        \
    const DHtmlEventMapEntry* GetDHtmlEventMap() override;

#define BEGIN_DHTML_EVENT_MAP(theClass)                          \
    const DHtmlEventMapEntry* theClass::GetDHtmlEventMap()       \
    {                                                            \
        typedef theClass ThisClass;                              \
        static const DHtmlEventMapEntry _dhtmlEventEntries[] = {

// A click on the element with this id, or on anything inside it, calls
// `HRESULT fn(IHTMLElement*)` (elements of the main document only).
#define DHTML_EVENT_ONCLICK(elementId, fn)                                           \
    {"onclick", (elementId), [](CDHtmlDialog* self_, IHTMLElement* e_) -> HRESULT { \
         return static_cast<ThisClass*>(self_)->fn(e_);                             \
     }},

#define END_DHTML_EVENT_MAP()          \
        {nullptr, nullptr, nullptr}};  \
        return &_dhtmlEventEntries[0]; \
    }

// ---------------------------------------------------------------- the page

// An argument for a page function: text (ANSI code page) or an integer.
class CScriptArg {
public:
    CScriptArg(const CString& text);
    CScriptArg(const char* text);
    CScriptArg(int number);
    // The value as a JSON literal (UTF-8).
    const std::string& json() const { return json_; }

private:
    std::string json_;
};

// The browser of a page (valid while the page window exists).
class IWebBrowser2 {
public:
    // VARIANT_FALSE: nothing can be dropped on the page, so a dropped file
    // never replaces it.
    HRESULT put_RegisterAsDropTarget(VARIANT_BOOL enable);

private:
    friend class CDHtmlDialog;
    explicit IWebBrowser2(CDHtmlDialog* page) : page_(page) {}
    CDHtmlDialog* page_;
};

class CDHtmlDialog;
namespace lumui {
// Where the first element matching CSS `selector` in `page` is on the screen,
// for tests that click into pages as a user does; selectors joined by " >>> "
// lead through frames. False when the page has no document yet, is not yet
// laid out for its view's size, or nothing matches.
bool PageElementScreenRect(CDHtmlDialog* page, const char* selector, CRect* rect);
// The text a person reads in the first element matching `selector` (its
// value for a form field); false when the page has no document or nothing
// matches.
bool PageElementText(CDHtmlDialog* page, const char* selector, CString* text);
// Calls `page`'s window.external method `name` with text arguments, as page
// script calls it, for tests and benchmarks. False when it has none.
bool CallPageMethod(CDHtmlDialog* page, const char* name, const std::vector<const char*>& args);

// Starts the web engine and the web process that every page of the process
// shares, so that no page waits for them when it opens and the process stays
// while no page is open. The engine's libraries are loaded, and what the
// engine would wait for (the desktop's accessibility bus) is asked for, on
// workers; the engine then starts on the UI thread in three short steps at
// idle turns of its loop: the program calls this when its first window is
// up, before the user acts on it. (No program links the engine: its
// libraries are loaded by this call, or by the first page that opens.)
void StartWebEngineSoon();
// Whether the web engine and its web process have been started.
bool WebEngineStarted();
}  // namespace lumui

class CDHtmlDialog : public CDialogEx {
public:
    // The module of the code that constructs the page is the one whose HTML
    // resources it shows (this constructor is inline for that reason).
    CDHtmlDialog(UINT pageTemplateId, UINT htmlResourceId, CWnd* parent = nullptr)
        : CDialogEx(pageTemplateId, parent), m_nHtmlResID(htmlResourceId), m_hHtmlModule(AfxGetInstanceHandle())
    {
    }
    ~CDHtmlDialog() override;

    static const CRuntimeClass* GetThisClass();
    const CRuntimeClass* GetRuntimeClass() const override;

    // Creates the web view and loads the page's HTML resource.
    BOOL OnInitDialog() override;
    // Called when a document of the main frame has finished loading (after
    // its images and scripts), with its URL. The base records the URL in
    // m_strCurrentUrl.
    virtual void OnDocumentComplete(LPDISPATCH browser, LPCTSTR url);
    // TRUE lets page script reach the dispatch map through window.external.
    virtual BOOL IsExternalDispatchSafe();
    // Where the page's view sits in a dialog of cx x cy (all of it by
    // default). Controls of the dialog's own must lie outside it: a view
    // always paints over controls it overlaps.
    virtual CRect PageRect(int cx, int cy);
    // Asked before the page's context menu opens; S_OK means handled (no
    // menu), S_FALSE (the base) shows the page's own menu.
    virtual HRESULT ShowContextMenu(DWORD id, POINT* pt, IUnknown* cmdTarget, IDispatch* object);
    // Key-down messages for the page, before the page gets them; S_OK
    // swallows the key, S_FALSE (the base) passes it on.
    virtual HRESULT TranslateAccelerator(LPMSG msg, const GUID* cmdGroup, DWORD cmdId);
    BOOL PreTranslateMessage(MSG* msg) override;

    // Automation: the object's identity for SetExternalDispatch.
    void EnableAutomation();
    LPDISPATCH GetIDispatch(BOOL addRef);
    // The object whose dispatch map window.external calls reach (null: none).
    void SetExternalDispatch(LPDISPATCH dispatch);
    // The folder whose files the page may show through lumfile: (empty:
    // none).
    void SetLocalFolder(const CString& folder);

    BOOL LoadFromResource(UINT htmlResourceId);
    BOOL Navigate(LPCTSTR url);

    // Calls the page function `name` with one text argument.
    HRESULT CallScriptFunction(CString name, CString arg);
    // Calls the page function `name` with the arguments in its own parameter
    // order; `result` (when given) gets its result as text ("" for undefined
    // or null). S_OK when it ran; DISP_E_UNKNOWNNAME when there is no such
    // function, DISP_E_EXCEPTION when it threw, E_FAIL when no document is
    // loaded.
    HRESULT InvokeScriptMethod(LPCTSTR name, std::initializer_list<CScriptArg> args = {}, CString* result = nullptr);

    // Element properties by element id: DISPID_IHTMLELEMENT_INNERTEXT,
    // DISPID_IHTMLELEMENT_INNERHTML or DISPID_A_VALUE (an input's value).
    // DISP_E_UNKNOWNNAME when there is no such element.
    HRESULT GetElementProperty(LPCTSTR elementId, DISPID property, CString& value);
    HRESULT SetElementProperty(LPCTSTR elementId, DISPID property, const CString& value);
    HRESULT SetElementValue(LPCTSTR elementId, LPCTSTR value)
    {
        return SetElementProperty(elementId, DISPID_A_VALUE, value);
    }

    UINT m_nHtmlResID;
    HINSTANCE m_hHtmlModule;
    CString m_strCurrentUrl;
    IWebBrowser2* m_pBrowserApp = nullptr;

    static const AFX_DISPMAP* GetThisDispatchMap();
    virtual const AFX_DISPMAP* GetDispatchMap() const;
    virtual const DHtmlEventMapEntry* GetDHtmlEventMap();

    void OnSize(UINT type, int cx, int cy) override;
    void OnDestroy() override;

    // Runs now, in order, the window.external calls the page made while
    // native code was calling into it (they otherwise run on a later turn of
    // the loop), so that what a script function did is done when the native
    // caller goes on.
    void DispatchPendingCalls();

    struct Impl;

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    const AFX_MSGMAP* GetMessageMap() const override;

private:
    friend class IWebBrowser2;
    friend bool lumui::PageElementScreenRect(CDHtmlDialog* page, const char* selector, CRect* rect);
    friend bool lumui::PageElementText(CDHtmlDialog* page, const char* selector, CString* text);
    std::shared_ptr<Impl> d_;
};

// Exchanges the text of a page element (see GetElementProperty) with
// `value`. Saving leaves `value` as it was when the element does not exist.
void DDX_DHtml_ElementText(CDataExchange* dx, LPCTSTR elementId, DISPID property, CString& value);

// The entry of `page`'s dispatch map (its own first, then its bases') that
// window.external calls reach by `name`; null when there is none.
const AFX_DISPMAP_ENTRY* FindDispatchEntry(const CDHtmlDialog* page, LPCTSTR name);

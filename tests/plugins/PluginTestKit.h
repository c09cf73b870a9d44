// What the plug-in suites share: a program folder of the test's own with the
// stand-in web server named in its Lum.ini, the module loaded by its ".dll"
// name and unloaded as the host does, its pages and frames found among the
// module's windows, page calls made as the page's script makes them, page
// texts read, message boxes recorded, screenshots, and clicks with the
// display's real pointer.
#pragma once

#include "platform/commdlg.h"
#include "platform/dhtml.h"
#include "platform/files.h"
#include "platform/heads.h"
#include "platform/module.h"
#include "platform/uiapp.h"
#include "plugins/common/PluginExports.h"
#include "tests/e2e/Desktop.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/UiWait.h"
#include "tests/standin/StandinWeb.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace plugintest {

// The whole content of a file; empty when it cannot be read.
inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Saves the screen as it is now into SCREENSHOT_DIR/`name` (web views show
// blank in a window's own image, so the screen is taken).
inline bool SaveShot(const char* name)
{
    std::filesystem::create_directories(SCREENSHOT_DIR);
    return lumui::SaveScreenImage((std::string(SCREENSHOT_DIR) + "/" + name).c_str());
}

// The fixture of a plug-in suite. SetUp opens the program folder, serves the
// web root, installs and loads the module; TearDown unloads the module, then
// closes the program folder.
class PluginTest : public ::testing::Test {
protected:
    // Starts the UI loop and makes the test's folder the program folder.
    bool OpenProgramFolder()
    {
        if (!lumui::Start()) return false;
        services_.SetProgramFolder(dir_.path() + "/");
        return true;
    }

    // Serves `root` from `web` and names the server in the program's Lum.ini.
    bool ServeWeb(standin::StandinWeb& web, const std::string& root)
    {
        if (web.Start(0, root) <= 0) return false;
        web_served_ = &web;
        std::ofstream(dir_.file("Lum.ini")) << "[Web]\nBaseUrl=" << web.BaseUrl() << "\n";
        return true;
    }

    // Puts the built module beside the program as the host finds "`name`.dll".
    void InstallModule(const char* built, const std::string& name)
    {
        std::filesystem::copy_file(built, dir_.file("lib" + name + ".so"));
    }

    // Loads the module by its ".dll" name, as the host does.
    bool LoadModule(const std::string& name)
    {
        module_ = LoadLibrary((name + ".dll").c_str());
        return module_ != nullptr;
    }

    // Closes the module's windows through ExitInstance and frees it.
    void UnloadModule()
    {
        if (!module_) return;
        if (auto exit = Export(PluginExports::ExitInstance)) exit();
        // What the closing windows queued runs while their code is there.
        uiwait::QueuedWorkDone();
        FreeLibrary(module_);
    }

    // Stops the web server; the test's services (message boxes, file
    // dialogs, the program folder) go with the fixture.
    void CloseProgramFolder()
    {
        // The session's heads end with the test, as they do with the program.
        lumheads::StopHeadLoader();
        if (web_served_) web_served_->Stop();
    }

    // A function of the module, as its header of exports states it.
    template <class F>
    F* Export(const ModuleExport<F>& e)
    {
        return PluginExport(module_, e);
    }

    // The module's page showing HTML resource `html`.
    CDHtmlDialog* Page(UINT html)
    {
        for (HWND hwnd : GetModuleWindows(module_))
            if (auto* page = dynamic_cast<CDHtmlDialog*>(CWnd::FromHandle(hwnd)))
                if (page->m_nHtmlResID == html && page->m_hWnd) return page;
        return nullptr;
    }

    // The module's first page, whatever it shows.
    CDHtmlDialog* AnyPage()
    {
        for (HWND hwnd : GetModuleWindows(module_))
            if (auto* page = dynamic_cast<CDHtmlDialog*>(CWnd::FromHandle(hwnd)))
                if (page->m_hWnd) return page;
        return nullptr;
    }

    // The module's first top-level window that `match` takes.
    CWnd* FrameWhere(const std::function<bool(CWnd*)>& match)
    {
        for (HWND hwnd : GetModuleWindows(module_)) {
            CWnd* wnd = CWnd::FromHandle(hwnd);
            if (!wnd || wnd->GetParent()) continue;
            if (match(wnd)) return wnd;
        }
        return nullptr;
    }

    // The module's top-level frame whose caption is `caption`.
    CWnd* Frame(const char* caption)
    {
        return FrameWhere([caption](CWnd* wnd) {
            CString text;
            wnd->GetWindowText(text);
            return text == caption;
        });
    }

    // The module's first top-level frame on the screen.
    CWnd* ShownFrame()
    {
        return FrameWhere([](CWnd* wnd) { return wnd->IsWindowVisible() != FALSE; });
    }

    // A window.external call of the page, as its script makes it.
    void Call(CDHtmlDialog* page, const char* name, const std::vector<const char*>& args = {})
    {
        ASSERT_NE(page, nullptr);
        if (!lumui::CallPageMethod(page, name, args)) FAIL() << "no page method " << name;
        EXPECT_TRUE(uiwait::QueuedWorkDone());
    }

    // A property of a page element (its text unless `what` says otherwise);
    // empty without a page.
    static std::string Text(CDHtmlDialog* page, const char* id, DISPID what = DISPID_IHTMLELEMENT_INNERTEXT)
    {
        if (!page) return std::string();
        CString value;
        page->GetElementProperty(id, what, value);
        return value.GetString();
    }

    // The value of a page's input.
    static std::string Value(CDHtmlDialog* page, const char* id) { return Text(page, id, DISPID_A_VALUE); }

    // A picture of the screen once the module's frame is on it.
    void Shot(const char* name)
    {
        if (CWnd* frame = ShownFrame()) {
            EXPECT_TRUE(lumui::PumpUntil([&] { return lumui::IsOnScreen(frame->m_hWnd); }))
                << "the frame is not on the screen";
        }
        EXPECT_TRUE(uiwait::QueuedWorkDone());
        EXPECT_TRUE(SaveShot(name));
    }

    // Message boxes answer OK; their texts (and, when asked, captions) are kept.
    void RecordMessageBoxes(std::vector<std::string>* captions = nullptr)
    {
        services_.SetMessageBox([this, captions](HWND, const CString& text, const CString& caption, UINT) {
            boxes_.push_back(text.GetString());
            if (captions) captions->push_back(caption.GetString());
            return IDOK;
        });
    }

    // File dialogs answer with `*chosen` as it is when they open.
    void AnswerFileDialogs(const std::string* chosen)
    {
        services_.SetFileDialog([chosen](const CString&, DWORD) { return CString(chosen->c_str()); });
    }

    // The box texts once `count` boxes were shown (or the wait ran out).
    std::vector<std::string> WaitBoxes(size_t count, int timeoutMs = 10000)
    {
        lumui::PumpUntil([&] { return boxes_.size() >= count; }, timeoutMs);
        uiwait::QueuedWorkDone();
        return boxes_;
    }

    // Whether the last box shown says `text`, waiting up to 10 s for it.
    bool BoxSaid(const std::string& text)
    {
        return lumui::PumpUntil([&] { return !boxes_.empty() && boxes_.back() == text; }, 10000);
    }

    // The requests that reached `path` of the served web server, in order.
    std::vector<standin::WebRequest> Requests(const std::string& path) const
    {
        std::vector<standin::WebRequest> out;
        if (web_served_)
            for (const auto& r : web_served_->Requests())
                if (r.path == path) out.push_back(r);
        return out;
    }

    size_t RequestCount(const std::string& path) const { return Requests(path).size(); }

    // The last request on `path`; an empty one when none came.
    standin::WebRequest LastRequest(const std::string& path) const
    {
        standin::WebRequest last;
        if (web_served_)
            for (const auto& r : web_served_->Requests())
                if (r.path == path) last = r;
        return last;
    }

    // Waits until the page has no request of its own under way (jQuery's
    // count of requests whose answers are still to be handled) and what
    // the answers asked of native code has run.
    // A page whose window has closed has none.
    static bool PageRequestsDone(CDHtmlDialog* page, int timeoutMs = 10000)
    {
        const HWND hwnd = page->m_hWnd;
        const bool done = lumui::PumpUntil(
            [&] {
                if (!::IsWindow(hwnd)) return true;
                CString active;
                return page->InvokeScriptMethod("eval", {"String(window.jQuery ? jQuery.active : 0)"}, &active) ==
                           S_OK &&
                       active == "0";
            },
            timeoutMs);
        return uiwait::QueuedWorkDone() && done;
    }

    // Runs `code` in the page a moment later, outside any call into the
    // page (as an event of its own would), and returns once it has run and
    // what it asked of native code has run too.
    static bool RunLaterInPage(CDHtmlDialog* page, const std::string& code)
    {
        const HWND hwnd = page->m_hWnd;
        auto ran = [&] {
            CString count;
            page->InvokeScriptMethod("eval", {"String(window.lumTestRan || 0)"}, &count);
            return std::string(count.GetString());
        };
        const std::string before = ran();
        const std::string later = "setTimeout(function(){try{" + code +
                                  ";}finally{window.lumTestRan=(window.lumTestRan||0)+1;}},0)";
        if (page->InvokeScriptMethod("eval", {CString(later.c_str())}) != S_OK) return false;
        const bool done = lumui::PumpUntil([&] { return !::IsWindow(hwnd) || ran() != before; }, 10000);
        return uiwait::QueuedWorkDone() && done;
    }

    // Makes the page count the clicks it has handled in the document of the
    // element `selector` (selectors joined by " >>> " lead through frames):
    // a click counts once its handlers have run. The count so far; "-" when
    // there is no such element.
    static std::string HandledClicks(CDHtmlDialog* page, const char* selector)
    {
        static const char* const kCount =
            "(function(s){var d=document,e=null,p=s.split(' >>> ');for(var i=0;i<p.length;++i){"
            "if(!d)return '-';e=d.querySelector(p[i]);if(!e)return '-';if(i<p.length-1)d=e.contentDocument||null;}"
            "var w=e.ownerDocument.defaultView;if(!w.lumTestClicksArmed){w.lumTestClicksArmed=true;w.lumTestClicks=0;"
            "w.addEventListener('click',function(){setTimeout(function(){w.lumTestClicks++;},0);},true);}"
            "return String(w.lumTestClicks);})";
        CString out;
        const std::string code = std::string(kCount) + "(" + JsQuote(selector) + ")";
        if (page->InvokeScriptMethod("eval", {code.c_str()}, &out) != S_OK) return "-";
        return out.GetString();
    }

    // Waits until the page has handled a click made after `HandledClicks`
    // said `before`, and what its handlers asked of native code has run; a
    // page whose window a click closed has handled it. The handlers may have
    // called native code while the test was reading the count: those calls
    // wait for a later turn of the loop, and are run here first.
    static bool ClickHandled(CDHtmlDialog* page, const char* selector, const std::string& before)
    {
        const HWND hwnd = page->m_hWnd;
        const bool handled = lumui::PumpUntil(
            [&] { return !::IsWindow(hwnd) || HandledClicks(page, selector) != before; }, 5000);
        if (::IsWindow(hwnd)) page->DispatchPendingCalls();
        return uiwait::QueuedWorkDone() && handled;
    }

    static std::string JsQuote(const char* text)
    {
        std::string out = "'";
        for (const char* c = text; *c; ++c) {
            if (*c == '\\' || *c == '\'') out += '\\';
            out += *c;
        }
        return out + "'";
    }

    // Clicks a page element with the display's real pointer, at the centre
    // of its box, and waits until the page has handled the click. The pointer
    // has to move for the click to be made: the same point twice running is
    // taken one pixel aside.
    void Click(CDHtmlDialog* page, const char* selector)
    {
        CRect r;
        ASSERT_TRUE(lumui::PumpUntil([&] { return lumui::IsOnScreen(page->m_hWnd); }, 5000))
            << "the page's window is not on the screen";
        // The element as laid out once the page has shown it.
        ASSERT_TRUE(lumui::PumpUntil(
            [&] { return lumui::PageElementScreenRect(page, selector, &r) && !r.IsRectEmpty(); }, 5000))
            << selector;
        CPoint at = r.CenterPoint();
        if (at == lastClick_) at.x += r.Width() > 2 ? 1 : 0, at.y += r.Width() > 2 ? 0 : 1;
        lastClick_ = at;
        const std::string before = HandledClicks(page, selector);
        ASSERT_TRUE(e2e::Click(at.x, at.y)) << selector;
        ASSERT_TRUE(ClickHandled(page, selector, before)) << "the page did not handle the click on " << selector;
    }

    // Clicks near the centre of a page element as a person does; false when
    // the element is not shown or the click failed.
    bool ClickElement(CDHtmlDialog* page, const char* selector)
    {
        CRect r;
        if (!lumui::PumpUntil([&] { return lumui::IsOnScreen(page->m_hWnd); }, 5000)) return false;
        // The element shows once the page has handled what came before (a
        // tab clicked a moment ago) and is laid out for its window's size.
        if (!lumui::PumpUntil([&] { return lumui::PageElementScreenRect(page, selector, &r) && !r.IsRectEmpty(); },
                              5000))
            return false;
        // Never the pointer's own spot: moving there would wait for a move
        // that does not come.
        const int shift = (clicks_++ % 3) - 1;
        const std::string before = HandledClicks(page, selector);
        return e2e::Click(r.CenterPoint().x + shift, r.CenterPoint().y) && ClickHandled(page, selector, before);
    }

    TempDir dir_;
    TestServices services_;
    HMODULE module_ = nullptr;
    // The texts of the message boxes shown, when RecordMessageBoxes was called.
    std::vector<std::string> boxes_;

private:
    standin::StandinWeb* web_served_ = nullptr;
    CPoint lastClick_{-1, -1};
    int clicks_ = 0;
};

}  // namespace plugintest

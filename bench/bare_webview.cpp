// The baseline of the memory benchmark: a bare program with one web view of
// a chat window's size showing a short page. It prints "ready" once the page
// has loaded and ends when its standard input closes.
#include <wx/webview.h>
#include <wx/wx.h>

#include <cstdio>
#include <thread>
#include <unistd.h>

class BareApp : public wxApp {
public:
    bool OnInit() override
    {
        auto* frame = new wxFrame(nullptr, wxID_ANY, "bare web view", wxPoint(40, 40), wxSize(500, 420));
        wxWebView* view = wxWebView::New(frame, wxID_ANY);
        view->Bind(wxEVT_WEBVIEW_LOADED, [](wxWebViewEvent&) {
            std::printf("ready\n");
            std::fflush(stdout);
        });
        view->SetPage("<html><body><p>bare</p></body></html>", "http://127.0.0.1:1/");
        frame->Show();
        // Ends with the standard input.
        std::thread([] {
            char c;
            while (read(0, &c, 1) > 0) {
            }
            wxTheApp->CallAfter([] { wxTheApp->ExitMainLoop(); });
        }).detach();
        return true;
    }
};

wxIMPLEMENT_APP(BareApp);

// The baseline of the start-up benchmark: a bare program that opens one empty
// window of the login dialog's size and waits to be ended.
#include <wx/wx.h>

class BareApp : public wxApp {
public:
    bool OnInit() override
    {
        auto* frame = new wxFrame(nullptr, wxID_ANY, "bare", wxPoint(100, 100), wxSize(237, 589), wxBORDER_NONE);
        frame->Show();
        frame->SetSize(100, 100, 237, 589);
        return true;
    }
};

wxIMPLEMENT_APP(BareApp);

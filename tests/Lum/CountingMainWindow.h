// The client's main window counting the messages it has handled, for tests
// that wait until a worker's report has reached it (a report that changes
// nothing shows only there).
#pragma once

#include "Lum/KivDlg.h"

#include <map>

class CountingMainWindow : public CKivDlg {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        const LRESULT result = CKivDlg::WindowProc(message, wParam, lParam);
        ++handled_[message];
        return result;
    }
    // How many `message`s the window has handled.
    int Handled(UINT message) const
    {
        auto it = handled_.find(message);
        return it == handled_.end() ? 0 : it->second;
    }

private:
    std::map<UINT, int> handled_;
};

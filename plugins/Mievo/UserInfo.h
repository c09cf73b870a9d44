// The profile window: the frame CDialogUserInfo with OK and Apply under its
// page CHTMLUserInfo, which loads the profile from the web server, checks
// and saves the edits there and reports a saved name and note to the main
// window.
#pragma once

#include "Common/controls/CustomPngButton.h"
#include "plugins/Mievo/MievoResource.h"
#include "plugins/common/PluginFrame.h"
#include "plugins/common/PluginPage.h"

class CHTMLUserInfo : public CPluginPage {
    DECLARE_DYNCREATE(CHTMLUserInfo)

public:
    CHTMLUserInfo();

    BOOL OnInitDialog() override;
    // A load asked for before the document counted as loaded runs now.
    void OnDocumentComplete(LPDISPATCH browser, LPCTSTR url) override;

    // Page methods (window.external).
    // Hands the own id, the account and the verify code to load_userInfo.
    void SetUserInfo();
    void OpenDlgHeadPhoto();
    // A saved name and note: into the own record, then 10036 to the main window.
    void ModiUserInfoMain(const VARIANT& name, const VARIANT& note);
    void RefreshWindow();
    // Closes the profile window.
    void CloseProfileWindow();

protected:
    // Hands the values to load_userInfo; false when the page could not run it yet.
    bool LoadUserInfo();

    bool m_bLoadPending = false;

    DECLARE_DISPATCH_MAP()
};

class CDialogUserInfo : public CPluginFrame {
public:
    CDialogUserInfo();
    CString Caption() const override;
    BOOL OnInitDialog() override;

    CHTMLUserInfo m_html;
    CCustomPngButton m_btnOk;
    CCustomPngButton m_btnApply;

protected:
    void OnSize(UINT type, int cx, int cy) override;
    void OnOk();
    void OnApply();
    // 10035 from the head-photo window: the page shows the new head.
    LRESULT OnHeadChanged(WPARAM wParam, LPARAM lParam);
    // The page sits above the button row: (4, 30), (W - 8) x (H - 60); the
    // buttons at x = W - 180 and W - 90, y = H - 28.
    void Layout(int cx, int cy);

    DECLARE_MESSAGE_MAP()
};

void RegisterUserInfoTemplates();

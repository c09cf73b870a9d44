// The settings window: the frame CDialogSysSet with its OK, Cancel and Apply
// buttons, and the page CHTMLSysSet that shows the seven settings pages
// (basic, hotkey, status, sound, block, password, trans).
#pragma once

#include "Common/controls/CustomPngButton.h"
#include "plugins/Prefor/PreforResource.h"
#include "plugins/common/PluginFrame.h"
#include "plugins/common/PluginPage.h"

#include <map>

class CHTMLSysSet : public CPluginPage {
    DECLARE_DYNCREATE(CHTMLSysSet)

public:
    CHTMLSysSet();

    void OnDocumentComplete(LPDISPATCH browser, LPCTSTR url) override;

    // Methods the page reaches through window.external.
    void SetSysProp(const VARIANT& isPublic, const VARIANT& key, const VARIANT& value);
    void SelectSavePath();
    void SelectSoundPath(const VARIANT& type);
    void RefreshWindow();
    void SendRemoveBlackToMain(const VARIANT& ids);

    // Asks the page to save (OK: every page; Apply: the page shown); the
    // settings it writes are in the store when these return.
    void SubmitAll();
    void SubmitCurrent();
    // Web requests of the page that have not been answered yet.
    int PendingRequests();

    // The stored settings as the page got them.
    std::map<CString, CString> m_mapProps;

    DECLARE_DISPATCH_MAP()
    DECLARE_DHTML_EVENT_MAP()
};

class CDialogSysSet : public CPluginFrame {
public:
    CDialogSysSet();
    CString Caption() const override { return "系统设置"; }

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnOK() override;
    void OnCancel() override;

    // Apply: saves the page shown and tells the main window.
    void OnBnClickedApply();

    CHTMLSysSet m_html;
    CCustomPngButton m_btnOk;
    CCustomPngButton m_btnCancel;
    CCustomPngButton m_btnApply;

protected:
    void OnSize(UINT type, int cx, int cy) override;
    // Page and buttons for a client area of cx x cy.
    void Layout(int cx, int cy);
    // Waits (a few seconds at most) for the page's web requests, so that a
    // black-list removal still reaches the main window when OK closes.
    void WaitForPage();

    DECLARE_MESSAGE_MAP()
};

// Registers the frame's and the page's templates with the plug-in module.
void RegisterSysSetTemplates();

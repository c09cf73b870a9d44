// The group information window: the frame CDialogGrpInfo with "确定",
// "取消" and "应用" under its page CHTMLGrpInfo. The page loads the group's
// information and the user's settings from the web server, posts the edits
// there and reports what the server took to the window to notify.
#pragma once

#include "Common/controls/CustomPngButton.h"
#include "Common/records/Data.h"
#include "plugins/Clanor/ClanorResource.h"
#include "plugins/common/PluginFrame.h"
#include "plugins/common/PluginPage.h"

class CHTMLGrpInfo : public CPluginPage {
    DECLARE_DYNCREATE(CHTMLGrpInfo)

public:
    CHTMLGrpInfo();

    // Hands the owner flag, the account, the group id and the verify code
    // to setGrpID.
    void OnDocumentComplete(LPDISPATCH browser, LPCTSTR url) override;

    // Page methods (window.external).
    void SendGrpEditToMain(const VARIANT& id, const VARIANT& name, const VARIANT& style, const VARIANT& note);
    void SendGrpCardToMain(const VARIANT& card);
    void SendGrpHeadToMain(const VARIANT& id);
    void CloseFrame();
    void HideFrame();

    CDataGroup m_group;
    CDataUser m_user;

protected:
    DECLARE_DISPATCH_MAP()
};

class CDialogGrpInfo : public CPluginFrame {
public:
    CDialogGrpInfo();
    CString Caption() const override;
    BOOL OnInitDialog() override;

    CHTMLGrpInfo m_html;
    CCustomPngButton m_btnOk;
    CCustomPngButton m_btnCancel;
    CCustomPngButton m_btnApply;

protected:
    void OnSize(UINT type, int cx, int cy) override;
    void OnOk();
    void OnCancelButton();
    void OnApply();
    // The page above the button row: (4, 30), (W - 8) x (H - 60); the
    // buttons at x = W - 270, W - 180 and W - 90, y = H - 28.
    void Layout(int cx, int cy);

    DECLARE_MESSAGE_MAP()
};

void RegisterGrpInfoTemplates();

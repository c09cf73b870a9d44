// The three windows of the cards plug-in, each a frame holding one page:
// the card of a friend, stranger or group (CDialogVistel, modeless), the
// friend-remark editor (CDialogRemark, modal) and the editor of the own card
// in a group (CDialogGrpCard, modal). The pages fetch and post their data
// to the web API themselves; the native side hands them the ids, the
// account and the verify code, and reports a saved remark or card to the
// window that opened them.
#pragma once

#include "Common/records/Data.h"
#include "plugins/Vistel/VistelResource.h"
#include "plugins/common/PluginFrame.h"
#include "plugins/common/PluginPage.h"

// What a page is opened for: copied from the module's values when the page
// starts, so that a later call of another export cannot change the ids of
// a page that is still open.
struct VistelTarget {
    CString id;       // friend, stranger or group id
    CString kind;     // "0" friend, "1" group, "2" stranger
    CString account;  // login account, or the own user id (group card)
    CString verifyCode;
    HWND notify = nullptr;
    void Load();
};

// The card page.
class CHTMLInfo : public CPluginPage {
    DECLARE_DYNCREATE(CHTMLInfo)

public:
    CHTMLInfo();
    BOOL OnInitDialog() override;
    void OnDocumentComplete(LPDISPATCH browser, LPCTSTR url) override;

    void SendRemarkToMain(const VARIANT& remark);
    void OnPageClose();
    void RefreshWindow();

    // OK on a friend card: posts a changed remark. True when a post was
    // started; the card then stays until the page has the service's answer.
    bool SubmitRemark();

    VistelTarget m_target;
    CDataUser m_record;
    // The frame waits for the remark post before it goes.
    bool m_bClosePending = false;

protected:
    DECLARE_DISPATCH_MAP()
};

class CDialogVistel : public CPluginFrame {
public:
    CDialogVistel();
    CString Caption() const override;
    BOOL OnInitDialog() override;

    CHTMLInfo m_html;
    CCustomPngButton m_btnOk;
    CCustomPngButton m_btnCancel;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnBnClickedOk();
    void OnBnClickedCancel();
    LRESULT OnCloseCard(WPARAM wParam, LPARAM lParam);
    // Page at (4, 30) above the button row, the buttons at the bottom right.
    void Layout();

    DECLARE_MESSAGE_MAP()
};

// The page of both editors: the remark editor sends 10025 with the friend's
// id, the group-card editor 10026 with the user and group ids.
class CHTMLRemark : public CPluginPage {
    DECLARE_DYNCREATE(CHTMLRemark)

public:
    CHTMLRemark();
    BOOL OnInitDialog() override;
    void OnDocumentComplete(LPDISPATCH browser, LPCTSTR url) override;

    void SendToMain(const VARIANT& remark);
    void OnPageClose();
    void RefreshWindow();

    VistelTarget m_target;
    CDataUser m_record;

protected:
    CHTMLRemark(UINT pageTemplate, UINT htmlResource) : CPluginPage(pageTemplate, htmlResource) {}

    DECLARE_DISPATCH_MAP()
};

class CHTMLGrpCard : public CHTMLRemark {
    DECLARE_DYNCREATE(CHTMLGrpCard)

public:
    CHTMLGrpCard();
    void SendGrpCardToMain(const VARIANT& card);

protected:
    DECLARE_DISPATCH_MAP()
};

// A modal editor frame: closing it ends the dialog.
class CDialogEditor : public CPluginFrame {
public:
    CDialogEditor(UINT templateId, CDialog& page, const char* caption);
    CString Caption() const override { return m_strCaption; }

protected:
    void OnClose() override;

    CString m_strCaption;
};

class CDialogRemark : public CDialogEditor {
public:
    CDialogRemark();
    CHTMLRemark m_html;
};

class CDialogGrpCard : public CDialogEditor {
public:
    CDialogGrpCard();
    CHTMLGrpCard m_html;
};

// Registers the three frame templates and their page templates.
void RegisterVistelTemplates();

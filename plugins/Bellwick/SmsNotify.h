// The two SMS notice windows: the fast notice to one friend or group
// (CDlgFastSMSNotify, page CHtmlFastSMSNotify) and the standard notice to
// the friends and group members ticked in a tree (CDlgStandardSMSNotify,
// page CHtmlStandardSMSNotify). The pages check and post the notice to the
// web API; the native side hands them the recipient or the tree, the login
// account and the verify code.
#pragma once

#include "plugins/Bellwick/BellwickResource.h"
#include "plugins/common/PluginFrame.h"
#include "plugins/common/PluginPage.h"

class CFileDbUser;

// What both pages share: Enter (and OnOK) runs the page's send.
class CSmsPage : public CPluginPage {
public:
    CSmsPage(UINT pageTemplateId, UINT htmlResourceId) : CPluginPage(pageTemplateId, htmlResourceId) {}

    // Runs the page's send checks, as the send button does.
    void OnOK() override;
    HRESULT TranslateAccelerator(LPMSG msg, const GUID* cmdGroup, DWORD cmdId) override;
    // Page method: repaints the page after an alert.
    void updateHtmlDialog(const VARIANT& ignored);
};

class CHtmlFastSMSNotify : public CSmsPage {
    DECLARE_DYNCREATE(CHtmlFastSMSNotify)

public:
    CHtmlFastSMSNotify();

    void OnDocumentComplete(LPDISPATCH browser, LPCTSTR url) override;
    // Page method: the notice was sent; the window closes.
    void sendSMS(const VARIANT& any);

    // The recipient as the page takes it: a JSON array of the id, the name
    // and the type, all as strings.
    static CString RecipientJson(int id, const CString& name, int type);

protected:
    DECLARE_DISPATCH_MAP()
    DECLARE_DHTML_EVENT_MAP()
};

class CDlgFastSMSNotify : public CPluginFrame {
public:
    CDlgFastSMSNotify();
    CString Caption() const override { return "通知短信"; }

    CHtmlFastSMSNotify m_html;

protected:
    LRESULT OnSmsSent(WPARAM, LPARAM);

    DECLARE_MESSAGE_MAP()
};

class CHtmlStandardSMSNotify : public CSmsPage {
    DECLARE_DYNCREATE(CHtmlStandardSMSNotify)

public:
    CHtmlStandardSMSNotify();

    void OnDocumentComplete(LPDISPATCH browser, LPCTSTR url) override;

    // The tree of friends and of each group's members as item XML, names
    // escaped for the attribute; the own user is left out.
    static CString BuildTree(CFileDbUser* users, int ownId);

protected:
    DECLARE_DISPATCH_MAP()
};

class CDlgStandardSMSNotify : public CPluginFrame {
public:
    CDlgStandardSMSNotify();
    CString Caption() const override { return "通知短信"; }

    CHtmlStandardSMSNotify m_html;
};

// Register the frames' templates with the plug-in module.
void RegisterFastSmsTemplates();
void RegisterStandardSmsTemplates();

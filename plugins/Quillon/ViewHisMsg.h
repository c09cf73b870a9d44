// The history viewer of one contact or group: the frame CDlgViewHisMsg and
// its page CHtmlViewHisMsg, ten records to a page, newest page first.
#pragma once

#include "plugins/Quillon/QuillonResource.h"
#include "plugins/common/PluginFrame.h"
#include "plugins/common/PluginPage.h"

class CHtmlViewHisMsg : public CPluginPage {
    DECLARE_DYNCREATE(CHtmlViewHisMsg)

public:
    CHtmlViewHisMsg();

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnDocumentComplete(LPDISPATCH browser, LPCTSTR url) override;

    void chanagePage(const VARIANT& page);
    void updateHtmlDialog(const VARIANT& ignored);

    // The record pane of the contact's page m_strCPage.
    void BuildRecords();

    CString m_strCPage = "1";
    CString m_strTPage = "1";
    CString m_strHtml;

protected:
    DECLARE_DISPATCH_MAP()
    DECLARE_DHTML_EVENT_MAP()
};

class CDlgViewHisMsg : public CPluginFrame {
public:
    CDlgViewHisMsg();
    CString Caption() const override;

    CHtmlViewHisMsg m_html;
};

void RegisterViewHisMsgTemplates();

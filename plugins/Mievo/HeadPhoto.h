// The head-photo window: the frame CDialogHeadPhoto around the page
// CHTMLHeadPhoto, which goes straight to the web server's upload page. That
// page calls ConfirmHeadChg once the server has taken a new head, and
// CloseDialog to leave.
#pragma once

#include "plugins/Mievo/MievoResource.h"
#include "plugins/common/PluginFrame.h"
#include "plugins/common/PluginPage.h"
#include "platform/heads.h"

#include <vector>

class CHTMLHeadPhoto : public CPluginPage {
    DECLARE_DYNCREATE(CHTMLHeadPhoto)

public:
    CHTMLHeadPhoto();
    ~CHTMLHeadPhoto() override;

    // The upload page has loaded: its hid_userID gets the account.
    void OnDocumentComplete(LPDISPATCH browser, LPCTSTR url) override;

    // Page methods (window.external).
    // The server took a new head: the profile page shows it; the own record
    // takes it only when it downloads and decodes (otherwise the old head
    // stays, in the record and in the store, and the user is told); the
    // main window redraws it; the window closes. The head comes from the
    // process's head loader, in the background.
    void ConfirmHeadChg();
    void CloseDialog();

    CString m_strUserId;  // hid_userID

protected:
    // The new own head has come, or cannot be read.
    void OnHeadsArrived(const std::vector<const lumheads::Head*>& batch);

    int m_nListener = 0;
    int m_nAwaitedId = 0;

    DECLARE_DISPATCH_MAP()
};

class CDialogHeadPhoto : public CPluginFrame {
public:
    CDialogHeadPhoto();
    CString Caption() const override;

    CHTMLHeadPhoto m_html;
};

void RegisterHeadPhotoTemplates();

// What the user is told when the head the server took cannot be read back.
extern const char* const kHeadNotReadable;

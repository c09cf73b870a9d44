// The group frame CDialogGroupAdd with its page CHTMLGrpAdd (create step,
// success step, member step) and the invitation frame CDialogInvite with its
// page CHTMLInvite.
#pragma once

#include "plugins/Adhor/AdhorResource.h"
#include "plugins/common/PluginFrame.h"
#include "plugins/common/PluginPage.h"

#include "Common/controls/CustomPngButton.h"
#include "Common/records/Data.h"

class CHTMLGrpAdd : public CPluginPage {
public:
    CHTMLGrpAdd();

    void OnDocumentComplete(LPDISPATCH browser, LPCTSTR url) override;

    // window.external
    void RefreshDialog();
    void SetGroupInfo(const VARIANT& gid, const VARIANT& name, const VARIANT& groupClass, const VARIANT& style,
                      const VARIANT& note);
    void ShowAddSucc();
    void ShowCurrentPage(const VARIANT& text);
    void ShowTotalPage(const VARIANT& text);
    void GetSelIDs(const VARIANT& ids);
    void ShowMemberInfo(const VARIANT& id);

    int m_nStep = 1;  // 1 create, 2 success
    // The created group's five texts.
    CString m_strGid, m_strName, m_strClass, m_strStyle, m_strNote;
    // The payload of UM_GROUP_CREATED.
    CDataGroup m_group;

protected:
    DECLARE_DISPATCH_MAP()
};

class CDialogGroupAdd : public CPluginFrame {
public:
    CDialogGroupAdd();
    ~CDialogGroupAdd() override;

    BOOL OnInitDialog() override;
    CString Caption() const override;

    // Member step: the member-search page and its buttons.
    void ShowMemberStep();
    // Success step: the success page and its buttons.
    void ShowSuccessStep();

    void OnSubmit();
    void OnReset();
    void OnAddMembers();
    void OnCloseFrame();
    void OnPassSelection();
    void OnPrevPage();
    void OnNextPage();

    CHTMLGrpAdd m_page;
    CCustomPngButton m_buttons[8];  // commands 4000 to 4007
    HMODULE m_hVistel = nullptr;

protected:
    void OnSize(UINT type, int cx, int cy) override;
    void OnClose() override;
    void OnDestroy() override;

    DECLARE_MESSAGE_MAP()

private:
    void Layout(int cx, int cy);
    void ShowButtons(std::initializer_list<int> shown);
};

class CHTMLInvite : public CPluginPage {
public:
    CHTMLInvite();

    // window.external
    void ConfirmSubmit();
    void ShowSendTip();
    void CloseWindow();

protected:
    DECLARE_DISPATCH_MAP()
};

class CDialogInvite : public CPluginFrame {
public:
    CDialogInvite();
    CString Caption() const override { return ""; }

    CHTMLInvite m_page;
};

// Registers the two frames' templates with the plug-in module.
void RegisterAdhorTemplates();
// Frees the module's Vistel (loaded by the group frame), if loaded.
void FreeVistel(CDialogGroupAdd& frame);

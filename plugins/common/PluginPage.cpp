#include "plugins/common/PluginPage.h"

BOOL CPluginPage::OnInitDialog()
{
    CDHtmlDialog::OnInitDialog();
    SetExternalDispatch(GetIDispatch(FALSE));
    return TRUE;
}

HRESULT CPluginPage::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*)
{
    return S_OK;
}

HRESULT CPluginPage::TranslateAccelerator(LPMSG msg, const GUID* cmdGroup, DWORD cmdId)
{
    if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_F5) return S_OK;
    return CDHtmlDialog::TranslateAccelerator(msg, cmdGroup, cmdId);
}

HRESULT CPluginPage::OnButtonOK(IHTMLElement*)
{
    OnOK();
    return S_OK;
}

HRESULT CPluginPage::OnButtonCancel(IHTMLElement*)
{
    OnCancel();
    return S_OK;
}

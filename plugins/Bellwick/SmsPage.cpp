#include "plugins/Bellwick/SmsNotify.h"

void CSmsPage::OnOK()
{
    InvokeScriptMethod("sendSMS", {""});
}

HRESULT CSmsPage::TranslateAccelerator(LPMSG msg, const GUID* cmdGroup, DWORD cmdId)
{
    // Enter sends, as the send button does.
    if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) {
        OnOK();
        return S_OK;
    }
    return CPluginPage::TranslateAccelerator(msg, cmdGroup, cmdId);
}

void CSmsPage::updateHtmlDialog(const VARIANT&)
{
    UpdateWindow();
}

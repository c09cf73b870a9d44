// What the pages of the plug-ins share: window.external reaches the page's
// dispatch map, there is no context menu, F5 cannot reload the page, and
// Enter, Escape and the page's OK and Cancel buttons never end the page.
#pragma once

#include "platform/dhtml.h"

class CPluginPage : public CDHtmlDialog {
public:
    // Constructed inline so that the page shows the HTML resources of the
    // plug-in module that constructs it.
    CPluginPage(UINT pageTemplateId, UINT htmlResourceId) : CDHtmlDialog(pageTemplateId, htmlResourceId, nullptr)
    {
        EnableAutomation();
    }

    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override {}
    BOOL IsExternalDispatchSafe() override { return TRUE; }
    HRESULT ShowContextMenu(DWORD id, POINT* pt, IUnknown* cmdTarget, IDispatch* object) override;
    HRESULT TranslateAccelerator(LPMSG msg, const GUID* cmdGroup, DWORD cmdId) override;

    // Handlers of the page's ButtonOK and ButtonCancel.
    HRESULT OnButtonOK(IHTMLElement*);
    HRESULT OnButtonCancel(IHTMLElement*);
};

#include "plugins/common/PluginApp.h"

void ClosePluginFrame(CDlgBase& frame)
{
    if (!frame.m_hWnd) return;
    frame.CloseWindow();
    frame.DestroyWindow();
}

void ReplacePluginFrame(CDlgBase& frame, UINT templateId)
{
    if (frame.m_hWnd) frame.DestroyWindow();
    if (!frame.Create(templateId, nullptr)) return;
    frame.ShowWindow(SW_SHOW);
    frame.UpdateWindow();
}

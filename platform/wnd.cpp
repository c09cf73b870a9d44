#include "platform/wnd.h"

#include <cstdio>

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd) return FALSE;
    m_hWnd = nullptr;
    return TRUE;
}

int AfxMessageBox(LPCTSTR text, UINT, UINT)
{
    // Without a window on screen the message goes to the error stream.
    std::fprintf(stderr, "%s\n", text ? text : "");
    return IDOK;
}

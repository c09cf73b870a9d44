#include "platform/appbar.h"

#include <wx/app.h>
#include <wx/display.h>

UINT_PTR SHAppBarMessage(DWORD message, APPBARDATA* data)
{
    if (message == ABM_GETSTATE) return 0;
    if (message != ABM_GETTASKBARPOS || !data || !wxTheApp) return FALSE;
    wxDisplay display(0u);
    const wxRect full = display.GetGeometry(), work = display.GetClientArea();
    RECT r;
    if (work.GetBottom() < full.GetBottom()) {
        data->uEdge = ABE_BOTTOM;
        r.left = full.GetLeft(); r.right = full.GetRight() + 1; r.top = work.GetBottom() + 1; r.bottom = full.GetBottom() + 1;
    } else if (work.GetTop() > full.GetTop()) {
        data->uEdge = ABE_TOP;
        r.left = full.GetLeft(); r.right = full.GetRight() + 1; r.top = full.GetTop(); r.bottom = work.GetTop();
    } else if (work.GetLeft() > full.GetLeft()) {
        data->uEdge = ABE_LEFT;
        r.left = full.GetLeft(); r.right = work.GetLeft(); r.top = full.GetTop(); r.bottom = full.GetBottom() + 1;
    } else if (work.GetRight() < full.GetRight()) {
        data->uEdge = ABE_RIGHT;
        r.left = work.GetRight() + 1; r.right = full.GetRight() + 1; r.top = full.GetTop(); r.bottom = full.GetBottom() + 1;
    } else {
        return FALSE;
    }
    data->rc = r;
    return TRUE;
}

#include "platform/commdlg.h"

#include "platform/codepage.h"
#include "platform/uiapp.h"
#include "platform/window_internal.h"

#include <wx/dirdlg.h>

#include <mutex>

namespace {

std::mutex g_hookLock;
std::function<CString(const CString&)> g_folderHook;

}  // namespace

CString BrowseForFolder(HWND owner, LPCTSTR title)
{
    std::function<CString(const CString&)> hook;
    {
        std::lock_guard<std::mutex> lock(g_hookLock);
        hook = g_folderHook;
    }
    const CString caption = title ? title : "";
    if (hook) return hook(caption);
    CString chosen;
    lumui::RunOnUiThread([&] {
        lumui::WindowRecord* rec = lumui::Find(owner);
        wxDirDialog dialog(rec ? rec->widget : nullptr, wxString::FromUTF8(AnsiToUtf8(caption).GetString()));
        if (dialog.ShowModal() == wxID_OK) chosen = Utf8ToAnsi(CString(dialog.GetPath().utf8_str().data()));
    });
    return chosen;
}

namespace lumui {

void SetFolderDialogHook(std::function<CString(const CString& title)> hook)
{
    std::lock_guard<std::mutex> lock(g_hookLock);
    g_folderHook = std::move(hook);
}

}  // namespace lumui

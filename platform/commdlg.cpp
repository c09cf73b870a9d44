#include "platform/commdlg.h"

#include "platform/codepage.h"
#include "platform/uiapp.h"
#include "platform/window_internal.h"

#include <wx/colordlg.h>
#include <wx/dirdlg.h>
#include <wx/filedlg.h>

#include <mutex>

namespace {

std::mutex g_hookLock;
std::function<CString(const CString&)> g_folderHook;
std::function<CString(const CString&, DWORD)> g_fileHook;
std::function<int(COLORREF&)> g_colorHook;

template <typename Hook>
Hook CopyHook(const Hook& hook)
{
    std::lock_guard<std::mutex> lock(g_hookLock);
    return hook;
}

wxString ToWx(const CString& ansi)
{
    return wxString::FromUTF8(AnsiToUtf8(ansi).GetString());
}

CString FromWx(const wxString& text)
{
    return Utf8ToAnsi(CString(text.utf8_str().data()));
}

wxWindow* OwnerWidget(CWnd* parent)
{
    lumui::WindowRecord* rec = parent ? lumui::Find(parent->GetSafeHwnd()) : nullptr;
    return rec ? rec->widget : nullptr;
}

// "text|pattern|text|pattern||" as the toolkit's wildcard "text|pattern|...".
wxString Wildcard(CString filter)
{
    while (filter.Right(1) == "|") filter = filter.Left(filter.GetLength() - 1);
    return ToWx(filter);
}

}  // namespace

CString BrowseForFolder(HWND owner, LPCTSTR title)
{
    const auto hook = CopyHook(g_folderHook);
    const CString caption = title ? title : "";
    if (hook) return hook(caption);
    CString chosen;
    lumui::RunOnUiThread([&] {
        lumui::WindowRecord* rec = lumui::Find(owner);
        wxDirDialog dialog(rec ? rec->widget : nullptr, ToWx(caption));
        if (dialog.ShowModal() == wxID_OK) chosen = FromWx(dialog.GetPath());
    });
    return chosen;
}

// ---------------------------------------------------------------- files

CFileDialog::CFileDialog(BOOL openFileDialog, LPCTSTR defaultExt, LPCTSTR fileName, DWORD flags, LPCTSTR filter,
                         CWnd* parent)
    : m_bOpenFileDialog(openFileDialog),
      m_dwFlags(flags),
      m_strFilter(filter ? filter : ""),
      m_strDefaultExt(defaultExt ? defaultExt : ""),
      m_strFileName(fileName ? fileName : ""),
      m_pParentWnd(parent)
{
}

INT_PTR CFileDialog::DoModal()
{
    m_strPath.Empty();
    if (const auto hook = CopyHook(g_fileHook)) {
        m_strPath = hook(m_strFilter, m_dwFlags);
        return m_strPath.IsEmpty() ? IDCANCEL : IDOK;
    }
    lumui::RunOnUiThread([&] {
        long style = m_bOpenFileDialog ? wxFD_OPEN : wxFD_SAVE;
        if (m_bOpenFileDialog && (m_dwFlags & OFN_FILEMUSTEXIST)) style |= wxFD_FILE_MUST_EXIST;
        if (!m_bOpenFileDialog && (m_dwFlags & OFN_OVERWRITEPROMPT)) style |= wxFD_OVERWRITE_PROMPT;
        wxFileDialog dialog(OwnerWidget(m_pParentWnd), m_bOpenFileDialog ? wxString::FromUTF8("打开") : wxString::FromUTF8("另存为"),
                            wxEmptyString, ToWx(m_strFileName),
                            m_strFilter.IsEmpty() ? wxString(wxFileSelectorDefaultWildcardStr) : Wildcard(m_strFilter),
                            style);
        if (dialog.ShowModal() != wxID_OK) return;
        m_strPath = FromWx(dialog.GetPath());
        if (!m_bOpenFileDialog && !m_strDefaultExt.IsEmpty() && GetFileExt().IsEmpty())
            m_strPath += "." + m_strDefaultExt;
    });
    return m_strPath.IsEmpty() ? IDCANCEL : IDOK;
}

CString CFileDialog::GetFileName() const
{
    const int slash = m_strPath.ReverseFind('/');
    return slash < 0 ? m_strPath : m_strPath.Mid(slash + 1);
}

CString CFileDialog::GetFileExt() const
{
    const CString name = GetFileName();
    const int dot = name.ReverseFind('.');
    return dot < 0 ? CString() : name.Mid(dot + 1);
}

// ---------------------------------------------------------------- colours

CColorDialog::CColorDialog(COLORREF initial, DWORD flags, CWnd* parent)
    : m_dwFlags(flags), m_pParentWnd(parent), m_color(initial)
{
}

INT_PTR CColorDialog::DoModal()
{
    if (const auto hook = CopyHook(g_colorHook)) return hook(m_color) == IDOK ? IDOK : IDCANCEL;
    int result = IDCANCEL;
    lumui::RunOnUiThread([&] {
        wxColourData data;
        data.SetColour(wxColour(GetRValue(m_color), GetGValue(m_color), GetBValue(m_color)));
        wxColourDialog dialog(OwnerWidget(m_pParentWnd), &data);
        if (dialog.ShowModal() != wxID_OK) return;
        const wxColour c = dialog.GetColourData().GetColour();
        m_color = RGB(c.Red(), c.Green(), c.Blue());
        result = IDOK;
    });
    return result;
}

namespace lumui {

void SetFolderDialogHook(std::function<CString(const CString& title)> hook)
{
    std::lock_guard<std::mutex> lock(g_hookLock);
    g_folderHook = std::move(hook);
}

void SetFileDialogHook(std::function<CString(const CString& filter, DWORD flags)> hook)
{
    std::lock_guard<std::mutex> lock(g_hookLock);
    g_fileHook = std::move(hook);
}

void SetColorDialogHook(std::function<int(COLORREF& color)> hook)
{
    std::lock_guard<std::mutex> lock(g_hookLock);
    g_colorHook = std::move(hook);
}

}  // namespace lumui

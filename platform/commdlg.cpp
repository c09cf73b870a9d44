#include "platform/commdlg.h"

#include "platform/codepage.h"
#include "platform/services.h"
#include "platform/uiapp.h"
#include "platform/window_internal.h"

#include <wx/colordlg.h>
#include <wx/dirdlg.h>
#include <wx/filedlg.h>

namespace {

wxString ToWx(const CString& ansi)
{
    return wxString::FromUTF8(AnsiToUtf8(ansi).GetString());
}

CString FromWx(const wxString& text)
{
    return Utf8ToAnsi(CString(text.utf8_str().data()));
}

wxWindow* OwnerWidget(HWND owner)
{
    lumui::WindowRecord* rec = owner ? lumui::Find(owner) : nullptr;
    return rec ? rec->widget : nullptr;
}

HWND OwnerOf(CWnd* parent)
{
    return parent ? parent->GetSafeHwnd() : nullptr;
}

// The name of the file `path` names, with its extension.
CString FileNameOf(const CString& path)
{
    const int slash = path.ReverseFind('/');
    return slash < 0 ? path : path.Mid(slash + 1);
}

// The extension of the file `path` names, without its dot ("" when none).
CString ExtensionOf(const CString& path)
{
    const CString name = FileNameOf(path);
    const int dot = name.ReverseFind('.');
    return dot < 0 ? CString() : name.Mid(dot + 1);
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
    return lumui::GetServices()->ChooseFolder(owner, title ? title : "");
}

CString lumui::SystemServices::ChooseFolder(HWND owner, const CString& title)
{
    CString chosen;
    lumui::RunOnUiThread([&] {
        lumui::WindowRecord* rec = lumui::Find(owner);
        wxDirDialog dialog(rec ? rec->widget : nullptr, ToWx(title));
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
    m_strPath = lumui::GetServices()->ChooseFile(*this);
    return m_strPath.IsEmpty() ? IDCANCEL : IDOK;
}

CString lumui::SystemServices::ChooseFile(const CFileDialog& d)
{
    CString path;
    lumui::RunOnUiThread([&] {
        long style = d.m_bOpenFileDialog ? wxFD_OPEN : wxFD_SAVE;
        if (d.m_bOpenFileDialog && (d.m_dwFlags & OFN_FILEMUSTEXIST)) style |= wxFD_FILE_MUST_EXIST;
        if (!d.m_bOpenFileDialog && (d.m_dwFlags & OFN_OVERWRITEPROMPT)) style |= wxFD_OVERWRITE_PROMPT;
        wxFileDialog dialog(OwnerWidget(OwnerOf(d.m_pParentWnd)),
                            d.m_bOpenFileDialog ? wxString::FromUTF8("打开") : wxString::FromUTF8("另存为"),
                            wxEmptyString, ToWx(d.m_strFileName),
                            d.m_strFilter.IsEmpty() ? wxString(wxFileSelectorDefaultWildcardStr) : Wildcard(d.m_strFilter),
                            style);
        if (dialog.ShowModal() != wxID_OK) return;
        path = FromWx(dialog.GetPath());
        if (!d.m_bOpenFileDialog && !d.m_strDefaultExt.IsEmpty() && ExtensionOf(path).IsEmpty())
            path += "." + d.m_strDefaultExt;
    });
    return path;
}

CString CFileDialog::GetFileName() const
{
    return FileNameOf(m_strPath);
}

CString CFileDialog::GetFileExt() const
{
    return ExtensionOf(m_strPath);
}

// ---------------------------------------------------------------- colours

CColorDialog::CColorDialog(COLORREF initial, DWORD flags, CWnd* parent)
    : m_dwFlags(flags), m_pParentWnd(parent), m_color(initial)
{
}

INT_PTR CColorDialog::DoModal()
{
    return lumui::GetServices()->ChooseColor(OwnerOf(m_pParentWnd), m_color) == IDOK ? IDOK : IDCANCEL;
}

int lumui::SystemServices::ChooseColor(HWND owner, COLORREF& color)
{
    int result = IDCANCEL;
    lumui::RunOnUiThread([&] {
        wxColourData data;
        data.SetColour(wxColour(GetRValue(color), GetGValue(color), GetBValue(color)));
        wxColourDialog dialog(OwnerWidget(owner), &data);
        if (dialog.ShowModal() != wxID_OK) return;
        const wxColour c = dialog.GetColourData().GetColour();
        color = RGB(c.Red(), c.Green(), c.Blue());
        result = IDOK;
    });
    return result;
}

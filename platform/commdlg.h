// The system's common dialogs as the client uses them: the folder browser,
// the open-file dialog and the colour dialog. They are shown through the
// installed services (platform/services.h), which tests replace to answer
// them instead of a person.
#pragma once

#include "platform/window.h"
#include "platform/windef.h"

// Shows the folder browser with `title`; returns the chosen folder (without
// a trailing separator) or "" when the user cancels.
CString BrowseForFolder(HWND owner, LPCTSTR title);

// Flags of CFileDialog.
#ifndef OFN_OVERWRITEPROMPT
#define OFN_OVERWRITEPROMPT 0x00000002
#define OFN_HIDEREADONLY 0x00000004
#define OFN_FILEMUSTEXIST 0x00001000
#endif

// A file dialog. The filter lists pairs of description and patterns, each
// part ended by "|", the whole ended by a second "|":
//     "图片|*.jpg;*.png|所有文件|*.*||"
class CFileDialog {
public:
    CFileDialog(BOOL openFileDialog, LPCTSTR defaultExt = nullptr, LPCTSTR fileName = nullptr,
                DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCTSTR filter = nullptr,
                CWnd* parent = nullptr);
    virtual ~CFileDialog() = default;

    // Shows the dialog; IDOK with a chosen file, IDCANCEL otherwise.
    virtual INT_PTR DoModal();
    // The chosen file's full path.
    CString GetPathName() const { return m_strPath; }
    // The chosen file's name with its extension.
    CString GetFileName() const;
    // The extension of the chosen file without its dot ("" when none).
    CString GetFileExt() const;

    BOOL m_bOpenFileDialog;
    DWORD m_dwFlags;
    CString m_strFilter;
    CString m_strDefaultExt;
    CString m_strFileName;
    CWnd* m_pParentWnd;

private:
    CString m_strPath;
};

// The colour dialog; GetColor is the colour shown when it closed (the
// initial colour when nothing was chosen).
class CColorDialog {
public:
    explicit CColorDialog(COLORREF initial = 0, DWORD flags = 0, CWnd* parent = nullptr);
    virtual ~CColorDialog() = default;

    // IDOK when a colour was chosen, IDCANCEL otherwise.
    virtual INT_PTR DoModal();
    COLORREF GetColor() const { return m_color; }

    DWORD m_dwFlags;
    CWnd* m_pParentWnd;

private:
    COLORREF m_color;
};

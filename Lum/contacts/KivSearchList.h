// The local search of the main window's quick-search box: matching the
// user's friends and groups, and the drop-down under the box that lists the
// matches (a click opens the chat window) with two links that hand the same
// text to the service search of the Sorvan plug-in.
#pragma once

#include "Common/records/Data.h"
#include "Lum/contacts/ListCtrlEx.h"
#include "platform/controls.h"
#include "platform/dialog.h"

#include <map>
#include <set>
#include <utility>
#include <vector>

class CKivUsersListCtrl;
class CKivGroupListCtrl;
class CFileDbUser;

#define IDD_DLG_SEARCH_LIST 155
#define IDC_LIST_SEARCH 5000
#define IDC_STATIC_SEARCH_GROUPS 5001
#define IDC_STATIC_SEARCH_USERS 5002
#define IDC_LINK_MORE_GROUPS 5004
#define IDC_LINK_MORE_USERS 5005

// The result set: each record once, friends before groups, each in id order.
struct SearchResultOrder {
    bool operator()(const CData* a, const CData* b) const
    {
        if (a->m_nIsGroup != b->m_nIsGroup) return a->m_nIsGroup < b->m_nIsGroup;
        if (a->m_nId != b->m_nId) return a->m_nId < b->m_nId;
        return a < b;
    }
};
using SearchResultSet = std::set<CData*, SearchResultOrder>;

// Whether a record matches the searched text: its name contains the text,
// or, when the text is all digits, its id in decimal does. Case-sensitive,
// on the program's own text.
bool SearchMatches(const char* name, int id, const CString& text);
// Adds every friend (groups: every group) whose record matches to `out`.
// The records stay the lists'.
void SearchUsers(const CKivUsersListCtrl& list, CString text, SearchResultSet& out);
void SearchGroups(const CKivGroupListCtrl& list, CString text, SearchResultSet& out);

// The list of the drop-down: head and name of each match. Rows are told
// apart by kind as well as id, so a user and a group with the same id are
// both shown and each opens its own chat.
class CKivSearchList : public CListCtrlEx {
    DECLARE_DYNAMIC(CKivSearchList)

public:
    CKivSearchList();
    ~CKivSearchList() override;

    void DrawItem(LPDRAWITEMSTRUCT dis) override;
    // The record of a row (null when none).
    CData* RecordAt(int row) const;

    // (kind, id) -> record of the rows shown, not owned; kind 1 for groups.
    std::map<std::pair<int, int>, CData*> m_mapResults;
    std::vector<CData*> m_vecRows;  // row -> record
    Gdiplus::Bitmap* m_pDefaultUserHead = nullptr;   // PNG 149
    Gdiplus::Bitmap* m_pDefaultGroupHead = nullptr;  // PNG 153
};

class CDlgSearchListctrl : public CDialogEx {
public:
    CDlgSearchListctrl();
    ~CDlgSearchListctrl() override;

    // Creates the window from its template, owned by `owner` (not shown).
    BOOL CreateDropDown(CWnd* owner);

    void SetSearchText(CString text);
    void AddResults(const SearchResultSet& results);
    void ClearResults();
    // Opens the chat window of a row's record, shown in front.
    void OpenResult(int row);

    CString m_strSearch;
    HMODULE m_hPlugin = nullptr;  // Sorvan, loaded on first use
    CKivSearchList m_list;
    CStatic m_staticUsers;
    CStatic m_staticGroups;
    CLinkCtrl m_linkUsers;
    CLinkCtrl m_linkGroups;

    // Set by the main window: where chat windows are opened, and what the
    // service search is given.
    CKivUsersListCtrl* m_pFriends = nullptr;
    CKivGroupListCtrl* m_pGroups = nullptr;
    CFileDbUser* m_pUserStore = nullptr;
    HWND m_hMainWnd = nullptr;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnMoreUsers(NMHDR* nm, LRESULT* result);
    void OnMoreGroups(NMHDR* nm, LRESULT* result);
    void OnClickList(NMHDR* nm, LRESULT* result);
    // Sorvan, loaded the first time; null after its failure box.
    HMODULE Sorvan(const char* failureText);

    CBrush m_brushStatic;

    DECLARE_MESSAGE_MAP()
};

// The main window's search request: searches the friends and the groups
// for the box's text and shows the drop-down under the box (created on first
// use, one per main window). An empty box shows nothing.
void ShowSearchDropDown(CWnd* main, CWnd& box, CKivUsersListCtrl& friends, CKivGroupListCtrl& groups,
                        CFileDbUser* userStore);
// The drop-down of a main window (null when it has none yet).
CDlgSearchListctrl* FindSearchDropDown(CWnd* main);
// Destroys the main window's drop-down and frees its Sorvan.
void ReleaseSearchDropDown(CWnd* main);

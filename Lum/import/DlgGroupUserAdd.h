// The member-import window of a group's owner: tick friends and members of
// other groups in a tree and invite them (a page), import people from a
// spreadsheet (the import view), or search for people (the group-creation
// module's ShowAddMember).
//
// The import view reads the sheet with ExcelFile on a worker thread (the
// window keeps answering however large the file), imports its rows on a
// worker thread (ThreadImportGroupUser) and saves the results as a new
// workbook. The worker never touches the view: it hands each row's result to
// the view's window by a synchronous message, and the view, on the UI
// thread, writes the row and the button text. A view closed or reset while a
// worker runs simply gets nothing more from it.
#pragma once

#include "base/DlgBase.h"
#include "Lum/session/Workers.h"
#include "platform/ExcelFile.h"
#include "platform/controls.h"
#include "platform/dhtml.h"
#include "platform/listctrl.h"

#include <atomic>
#include <map>
#include <memory>
#include <set>
#include <vector>

class CDataGroup;
class CDataUser;
class CFileDbUser;

// The tree of the page as XML items: "我的好友" with the friends, then one
// item per group with its members. Names and ids are escaped for the
// attribute they stand in; an empty name shows the id.
CString BuildMemberTreeXml(const std::vector<CDataUser*>& friends,
                           const std::vector<std::pair<CDataGroup*, std::vector<CDataUser*>>>& groups);
// The same tree from the user store: friends (list 1) and every stored group
// with its stored members, groups in ascending id order.
CString BuildMemberTreeXml(CFileDbUser* store);

// The text of an import result code in the list's "导入状态" column.
CString ImportResultText(int code);

// The list's texts of every row of the loaded sheet (made on the reading
// worker): columns 1 to 3 (name, mobile number, e-mail), each cut to its
// first kImportTextChars characters. Such values are short; a longer text
// is none of them and would only weigh on the list.
const size_t kImportTextChars = 256;
std::vector<ImportRow> ReadImportRows(const ExcelFile& file);
// Fills the import list with the rows; returns the rows added.
int FillImportList(CListCtrl& list, const std::vector<ImportRow>& rows);

// ---------------------------------------------------------------- the import view

class CDlgGroupUserAdd : public CDlgBase {
public:
    CDlgGroupUserAdd();
    ~CDlgGroupUserAdd() override;

    // Creates the (hidden) window owned by `owner`.
    BOOL CreateView(CWnd* owner);
    // Back to the ready state: "开始导入", empty list and path, flag 0. A
    // running import's later results are dropped.
    void Reset();

    BOOL OnInitDialog() override;
    void DrawOwnerInBackgroud(Gdiplus::Graphics* graphics) override;

    // Browse (1001): choose a sheet and fill the list from it.
    void OnBrowse();
    // Starts reading a sheet into the list; false when no reading could be
    // started. When it is read the list is filled, or the message shown
    // when the file is not a readable workbook or too large a sheet.
    bool LoadSheetFile(const CString& path);
    // Whether a sheet is being read (the buttons wait meanwhile).
    bool IsReading() const { return m_reading; }
    // Action button (1): by its text.
    void OnAction();
    // Link 1052: the example sheet in the default browser.
    void OnExampleLink(NMHDR* nm, LRESULT* result);

    int m_nGroupId = 0;
    int m_nGroupType = 0;
    int m_nIsAddFriend = 0;
    CString m_strPath;
    std::shared_ptr<ExcelFile> m_excel;  // the sheet read last

    CEdit m_editPath;       // 1004
    CListCtrl m_list;       // 1002
    CButton m_btnBrowse;    // 1001 "选择"
    CButton m_btnAction;    // 1 "开始导入" / "正在导入" / "保存结果"
    CButton m_checkFriend;  // 1041 "同时加为好友"
    CLinkCtrl m_link;       // 1052
    CStatic m_labelFile, m_labelNote, m_labelFormat;

    // How far an import that is running has got (for tests and the window).
    bool IsImporting() const { return m_importing; }

protected:
    void OnOK() override {}
    void OnCancel() override;
    void OnClose() override;
    void OnDestroy() override;
    void OnSize(UINT type, int cx, int cy) override;
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor) override;
    LRESULT OnImportReport(WPARAM wParam, LPARAM lParam);
    LRESULT OnSheetRead(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    // Places the controls for a client area of cx x cy.
    void Place(int cx, int cy);
    void StartImport();
    // Reads m_strPath on a worker: for the list, or to save the results
    // into it.
    bool StartRead(bool forSave);
    void SaveResults();
    void SaveResultsInto(ExcelFile& file);
    // Ends the current import: its later reports are dropped.
    void DropImport();

    bool m_importing = false;
    bool m_reading = false;
    int m_nRead = 0;  // the read whose sheet is taken; each start and reset makes a new one
    // The import whose reports are taken; each start and reset makes a new one.
    std::shared_ptr<std::atomic<bool>> m_importCancel;
    int m_nImport = 0;
    CBrush m_brushWhite;
    CFont m_font;
    Gdiplus::Font* m_pCaptionFont = nullptr;

    friend class ImportViewProxy;
};

// ---------------------------------------------------------------- the page

class HtmlGroupUserAddFromExist : public CDHtmlDialog {
public:
    HtmlGroupUserAddFromExist();

    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override {}
    BOOL IsExternalDispatchSafe() override { return TRUE; }
    HRESULT ShowContextMenu(DWORD id, POINT* pt, IUnknown* cmdTarget, IDispatch* object) override;
    void OnDocumentComplete(LPDISPATCH browser, LPCTSTR url) override;

    // window.external.createCompleted: does nothing.
    void createCompleted(const VARIANT& a, const VARIANT& b);
    HRESULT OnButtonCancel(IHTMLElement*);

    int m_nGroupId = 0;
    // The tree text given to the page's reload() once it has loaded.
    CString m_strTree;
    bool m_bTreeShown = false;

    DECLARE_DISPATCH_MAP()
    DECLARE_DHTML_EVENT_MAP()
};

// ---------------------------------------------------------------- the window

class CDlgGroupUserAddFromExist : public CDlgBase {
public:
    CDlgGroupUserAddFromExist();
    ~CDlgGroupUserAddFromExist() override;

    // Creates the window for a group (the import kind: 8 for a class group,
    // else 9), with the tree from `store`; sized w x h (at least 500 x 400)
    // and centred on the screen. Not shown.
    BOOL CreateFor(int gid, int groupType, CFileDbUser* store, int w, int h);

    BOOL OnInitDialog() override;
    void DrawOwnerInBackgroud(Gdiplus::Graphics* graphics) override;

    void OnConfirm();        // 1 "确定"
    void OnCancelButton();   // 2 "取消"
    void OnImportFromExcel();  // 1001
    void OnSearchAdd();      // 1049

    int m_nGroupId = 0;
    int m_nGroupType = 0;
    HtmlGroupUserAddFromExist m_page;
    CDlgGroupUserAdd m_dlgImport;
    CButton m_btnOK, m_btnCancel, m_btnImport, m_btnSearch;
    HMODULE m_hAdhor = nullptr;

protected:
    void OnOK() override {}
    void OnCancel() override;
    void OnClose() override;
    void OnDestroy() override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnGetMinMaxInfo(MINMAXINFO* info) override;
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor) override;

    DECLARE_MESSAGE_MAP()

private:
    void Place(int cx, int cy);
    Gdiplus::Font* m_pCaptionFont = nullptr;
    CBrush m_brushWhite;
};

// Opens a new member-import window for a group (the last one `slot` held is
// destroyed first): 570 x 370 asked, centred, shown.
void OpenGroupMemberImport(std::unique_ptr<CWnd>& slot, int gid, int kind, CFileDbUser* store);

// Puts the group list's add-members command (9040) in front of its plug-in
// hooks: a new member-import window owned by the list. Installing twice
// changes nothing.
void InstallMemberImportHooks();

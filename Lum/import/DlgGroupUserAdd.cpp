#include "Lum/import/DlgGroupUserAdd.h"

#include "Common/records/Data.h"
#include "Common/stores/FileDbUser.h"
#include "Common/HtmlText.h"
#include "Lum/KivApp.h"
#include "Lum/contacts/KivGroupListCtrl.h"
#include "base/MenuCommands.h"
#include "Lum/modules/PluginModule.h"
#include "Lum/session/Workers.h"
#include "platform/codepage.h"
#include "platform/commdlg.h"
#include "platform/config.h"
#include "platform/dialog.h"
#include "platform/shell.h"
#include "platform/threads.h"
#include "platform/uiapp.h"
#include "plugins/Adhor/AdhorExports.h"

#include <algorithm>
#include <string>

namespace {

const UINT kDlgImportView = 110;
const UINT kDlgImportWindow = 111;
const UINT kDlgTreePage = 112;
const UINT kHtmlTreePage = 113;

const UINT kCtrlBrowse = 1001;
const UINT kCtrlList = 1002;
const UINT kCtrlPath = 1004;
const UINT kCtrlAddFriend = 1041;
const UINT kCtrlExampleLink = 1052;
const UINT kCtrlImport = 1001;
const UINT kCtrlSearchAdd = 1049;

const int kMinWidth = 500;
const int kMinHeight = 400;

// A report of the import worker, handed to the view's window by a
// synchronous message (wParam: the report, valid during the call).
const UINT UM_IMPORT_REPORT = WM_APP + 1163;
struct ImportReport {
    enum Kind { RowResult, RowText, ButtonText } kind = RowResult;
    int import = 0;
    int row = 0;
    int column = 0;
    int code = 0;
    CString text;
};

// A sheet read on a worker, handed to the view's window when read (wParam:
// the read, valid during the call).
const UINT UM_SHEET_READ = WM_APP + 1164;
struct SheetRead {
    int number = 0;        // the view's read it was started as
    bool forSave = false;  // read again to save the results into it
    CString path;
    std::shared_ptr<ExcelFile> file = std::make_shared<ExcelFile>();
    std::vector<ImportRow> rows;    // for the list (not when saving)
    const char* failure = nullptr;  // the message to show; null when read
};
struct SheetReadJob {
    HWND view;
    std::shared_ptr<SheetRead> read;
};

const char* const kStateReady = "开始导入";
const char* const kStateRunning = "正在导入";
const char* const kStateDone = "保存结果";
const char* const kReadFailure = "读取Excel失败，请确认您的Excel格式正确!";
const char* const kSheetFailure = "读取Excel失败";

void RegisterTemplates()
{
    static bool registered = false;
    if (registered) return;
    registered = true;
    HINSTANCE module = AfxGetInstanceHandle();
    DialogTemplate view;
    view.id = kDlgImportView;
    view.cx = kMinWidth;
    view.cy = kMinHeight;
    view.style = WS_POPUP;
    view.caption = "添加群成员";
    RegisterDialogTemplate(module, view);
    DialogTemplate window = view;
    window.id = kDlgImportWindow;
    RegisterDialogTemplate(module, window);
    DialogTemplate page;
    page.id = kDlgTreePage;
    page.cx = 492;
    page.cy = 322;
    page.style = WS_CHILD;
    RegisterDialogTemplate(module, page);
}

// Names come from the store with one trailing blank.
CString ShownName(const CData* rec)
{
    CString name = NameOf(rec);
    if (name.GetLength() > 0 && name[name.GetLength() - 1] == ' ') name = name.Left(name.GetLength() - 1);
    if (name.IsEmpty()) name = IdText(rec->m_nId);
    return name;
}

void AppendLeaf(CString& xml, const CDataUser* user)
{
    xml += "<item text='" + EscapeHtml(ShownName(user)) + "' id='" + IdText(user->m_nId) + "' imheight='0' imwidth='0'></item>";
}

void DrawCaption(Gdiplus::Graphics* g, Gdiplus::Font* font, const char* caption)
{
    if (!g || !font) return;
    const std::wstring wide = MultiByteToWide(CP_ACP, caption);
    Gdiplus::SolidBrush white(Gdiplus::Color(0xFFFFFFFF));
    g->DrawString(wide.c_str(), static_cast<Gdiplus::INT>(wide.size()), font, Gdiplus::RectF(12, 9, 300, 24), nullptr,
                  &white);
}

// The white field the controls stand on.
void DrawField(Gdiplus::Graphics* g, const RECT& client, int top)
{
    if (!g) return;
    Gdiplus::SolidBrush white(Gdiplus::Color(0xFFFFFFFF));
    g->FillRectangle(&white, 4, top, static_cast<int>(client.right - client.left) - 8,
                     static_cast<int>(client.bottom - client.top) - top - 4);
}

}  // namespace

// ---------------------------------------------------------------- tree, texts, list

CString BuildMemberTreeXml(const std::vector<CDataUser*>& friends,
                           const std::vector<std::pair<CDataGroup*, std::vector<CDataUser*>>>& groups)
{
    CString xml = "<item text='我的好友' id='my_friends' open='1' imheight='0' imwidth='0'>";
    for (const CDataUser* user : friends)
        if (user) AppendLeaf(xml, user);
    xml += "</item>";
    for (const auto& entry : groups) {
        if (!entry.first) continue;
        xml += "<item text='" + EscapeHtml(ShownName(entry.first)) + "' id='" + IdText(entry.first->m_nId) + "' open='1' imheight='0' imwidth='0'>";
        for (const CDataUser* user : entry.second)
            if (user) AppendLeaf(xml, user);
        xml += "</item>";
    }
    return xml;
}

CString BuildMemberTreeXml(CFileDbUser* store)
{
    if (!store) return BuildMemberTreeXml({}, {});
    auto byId = [](const CData* a, const CData* b) { return a->m_nId < b->m_nId; };
    std::set<CDataUser*> friendSet;
    store->GetGroupUserList(1, &friendSet);
    std::vector<CDataUser*> friends(friendSet.begin(), friendSet.end());
    std::sort(friends.begin(), friends.end(), byId);

    std::set<CDataGroup*> groupSet;
    store->GetGroupList(&groupSet, 0);
    std::vector<CDataGroup*> groupList(groupSet.begin(), groupSet.end());
    std::sort(groupList.begin(), groupList.end(), byId);
    std::vector<std::pair<CDataGroup*, std::vector<CDataUser*>>> groups;
    for (CDataGroup* group : groupList) {
        std::set<CDataUser*> memberSet;
        store->GetGroupUserList(group->m_nId, &memberSet);
        std::vector<CDataUser*> members(memberSet.begin(), memberSet.end());
        std::sort(members.begin(), members.end(), byId);
        groups.emplace_back(group, std::move(members));
    }
    const CString xml = BuildMemberTreeXml(friends, groups);
    for (CDataUser* user : friends) delete user;
    for (auto& entry : groups) {
        for (CDataUser* user : entry.second) delete user;
        delete entry.first;
    }
    return xml;
}

CString ImportResultText(int code)
{
    switch (code) {
    case 0: return "成功";
    case 17: return "该用户为老师,导入失败";
    case 18: return "用户已在该群,导入失败";
    case 19: return "非本网用户必须含有邮箱,导入失败";
    default: return "失败";
    }
}

namespace {

// A text cut to its first kImportTextChars characters (whole characters of
// the ANSI code page, which take at most four bytes each).
CString ShortText(const CString& text)
{
    const int chars = static_cast<int>(kImportTextChars);
    if (text.GetLength() <= chars) return text;
    const bool longer = text.GetLength() > 4 * chars;
    const std::wstring wide = MultiByteToWide(CP_ACP, longer ? text.Left(4 * chars).str() : text.str());
    if (!longer && wide.size() <= kImportTextChars) return text;
    return CString(WideToMultiByte(CP_ACP, wide.substr(0, kImportTextChars)).c_str());
}

}  // namespace

std::vector<ImportRow> ReadImportRows(const ExcelFile& file)
{
    const long rows = file.GetRowCount();
    std::vector<ImportRow> out;
    out.reserve(static_cast<size_t>(rows));
    // A character takes at most four bytes of the workbook's UTF-8: the
    // texts' beginnings hold every character a row keeps.
    const size_t bytes = 4 * kImportTextChars;
    for (long row = 1; row <= rows; ++row)
        out.push_back({ShortText(file.GetCellText(row, 1, bytes)), ShortText(file.GetCellText(row, 2, bytes)),
                       ShortText(file.GetCellText(row, 3, bytes))});
    return out;
}

int FillImportList(CListCtrl& list, const std::vector<ImportRow>& rows)
{
    const int first = list.GetItemCount();
    int added = 0;
    for (const ImportRow& row : rows) {
        const int item = list.InsertItem(first + added, row.name);
        list.SetItemText(item, 1, row.phone);
        list.SetItemText(item, 2, row.email);
        ++added;
    }
    return added;
}

// ---------------------------------------------------------------- the worker's view of the view

// Reaches the view only through its window handle, and only while the
// import it was made for is the view's current one.
class ImportViewProxy : public IGroupUserImport {
public:
    ImportViewProxy(HWND hwnd, int import, std::shared_ptr<std::atomic<bool>> cancel)
        : m_hwnd(hwnd), m_import(import), m_cancel(std::move(cancel))
    {
    }
    void SetRowResult(int row, int code) override
    {
        ImportReport r;
        r.kind = ImportReport::RowResult;
        r.row = row;
        r.code = code;
        Send(r);
    }
    void SetRowText(int row, int column, const CString& text) override
    {
        ImportReport r;
        r.kind = ImportReport::RowText;
        r.row = row;
        r.column = column;
        r.text = text;
        Send(r);
    }
    void SetStartButtonText(const CString& text) override
    {
        ImportReport r;
        r.kind = ImportReport::ButtonText;
        r.text = text;
        Send(r);
    }
    bool Cancelled() const override { return m_cancel->load(); }

private:
    void Send(ImportReport& r)
    {
        if (m_cancel->load() || !::IsWindow(m_hwnd)) return;
        r.import = m_import;
        ::SendMessage(m_hwnd, UM_IMPORT_REPORT, reinterpret_cast<WPARAM>(&r), 0);
    }
    HWND m_hwnd;
    int m_import;
    std::shared_ptr<std::atomic<bool>> m_cancel;
};

namespace {

// Reads a sheet away from the UI thread; the view takes it only when the
// read is still its current one.
UINT ThreadReadSheet(LPVOID param)
{
    std::unique_ptr<SheetReadJob> job(static_cast<SheetReadJob*>(param));
    SheetRead& read = *job->read;
    if (!read.file->OpenWorkbook(read.path)) {
        read.failure = kReadFailure;
    } else if (!read.file->LoadSheet()) {
        read.file->Close();
        read.failure = kSheetFailure;
    } else if (!read.forSave) {
        read.rows = ReadImportRows(*read.file);
    }
    const HWND view = job->view;
    const std::shared_ptr<SheetRead> done = job->read;
    lumui::RunOnUiThread([view, done] {
        if (::IsWindow(view)) ::SendMessage(view, UM_SHEET_READ, reinterpret_cast<WPARAM>(done.get()), 0);
    });
    return 0;
}

}  // namespace

// ---------------------------------------------------------------- the import view

BEGIN_MESSAGE_MAP(CDlgGroupUserAdd, CDlgBase)
    ON_BN_CLICKED(kCtrlBrowse, OnBrowse)
    ON_BN_CLICKED(IDOK, OnAction)
    ON_NOTIFY(NM_CLICK, kCtrlExampleLink, OnExampleLink)
    ON_MESSAGE(UM_IMPORT_REPORT, OnImportReport)
    ON_MESSAGE(UM_SHEET_READ, OnSheetRead)
    ON_WM_CTLCOLOR()
    ON_WM_CLOSE()
    ON_WM_DESTROY()
    ON_WM_SIZE()
END_MESSAGE_MAP()

CDlgGroupUserAdd::CDlgGroupUserAdd() : CDlgBase(kDlgImportView, nullptr)
{
    m_brushWhite.CreateSolidBrush(RGB(255, 255, 255));
    m_importCancel = std::make_shared<std::atomic<bool>>(false);
}

CDlgGroupUserAdd::~CDlgGroupUserAdd()
{
    DropImport();
    delete m_pCaptionFont;
}

BOOL CDlgGroupUserAdd::CreateView(CWnd* owner)
{
    if (m_hWnd) return TRUE;
    RegisterTemplates();
    return Create(kDlgImportView, owner);
}

BOOL CDlgGroupUserAdd::OnInitDialog()
{
    CDlgBase::OnInitDialog();
    m_btnMin.ShowWindow(SW_HIDE);
    m_pCaptionFont = new Gdiplus::Font(L"宋体", 12.0f, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
    SetWindowText("添加群成员");
    m_labelFile.Create("导入外部联系人文件：", WS_CHILD | WS_VISIBLE, CRect(20, 44, 220, 62), this);
    m_editPath.Create(WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL | ES_READONLY, CRect(20, 66, 380, 90), this,
                      kCtrlPath);
    m_btnBrowse.Create("选择", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, CRect(392, 65, 462, 91), this, kCtrlBrowse);
    m_list.Create(WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT, CRect(20, 100, 480, 296), this, kCtrlList);
    m_list.SetExtendedStyle(m_list.GetExtendedStyle() | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    m_list.InsertColumn(0, "姓名", LVCFMT_LEFT, 100);
    m_list.InsertColumn(1, "手机号", LVCFMT_LEFT, 100);
    m_list.InsertColumn(2, "邮箱", LVCFMT_LEFT, 100);
    m_list.InsertColumn(3, "导入状态", LVCFMT_LEFT, 100);
    m_checkFriend.Create("同时加为好友", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, CRect(20, 304, 200, 324), this,
                         kCtrlAddFriend);
    m_labelNote.Create("说明：", WS_CHILD | WS_VISIBLE, CRect(20, 330, 60, 348), this);
    m_labelFormat.Create("导入文件格式要为excel表格，联系人信息包括姓名、手机号、邮箱。", WS_CHILD | WS_VISIBLE,
                         CRect(60, 330, 480, 348), this);
    m_link.Create("<a>点击下载示例</a>", WS_CHILD | WS_VISIBLE, CRect(20, 356, 140, 374), this, kCtrlExampleLink);
    m_btnAction.Create(kStateReady, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, CRect(410, 364, 480, 390), this, IDOK);
    Place(kMinWidth, kMinHeight);
    return TRUE;
}

void CDlgGroupUserAdd::Place(int cx, int cy)
{
    if (!m_btnAction.m_hWnd) return;
    // The list takes what the width and height give beyond the smallest size.
    m_editPath.MoveWindow(20, 66, cx - 120, 24);
    m_btnBrowse.MoveWindow(cx - 92, 65, 70, 26);
    m_list.MoveWindow(20, 100, cx - 40, cy - 204);
    m_checkFriend.MoveWindow(20, cy - 96, 180, 20);
    m_labelNote.MoveWindow(20, cy - 70, 40, 18);
    m_labelFormat.MoveWindow(60, cy - 70, cx - 80, 18);
    m_link.MoveWindow(20, cy - 44, 120, 18);
    m_btnAction.MoveWindow(cx - 90, cy - 36, 70, 26);
}

void CDlgGroupUserAdd::OnSize(UINT type, int cx, int cy)
{
    CDlgBase::OnSize(type, cx, cy);
    if (cx > 0 && cy > 0) Place(cx, cy);
}

void CDlgGroupUserAdd::DrawOwnerInBackgroud(Gdiplus::Graphics* g)
{
    DrawField(g, m_rcClient, 34);
    DrawCaption(g, m_pCaptionFont, "添加群成员");
}

HBRUSH CDlgGroupUserAdd::OnCtlColor(CDC* dc, CWnd*, UINT)
{
    if (dc) dc->SetBkColor(RGB(255, 255, 255));
    return m_brushWhite;
}

void CDlgGroupUserAdd::DropImport()
{
    // The running import's worker sees the flag and stops; reports it had
    // under way are dropped by their number.
    if (m_importCancel) m_importCancel->store(true);
    m_importCancel = std::make_shared<std::atomic<bool>>(false);
    ++m_nImport;
    m_importing = false;
}

void CDlgGroupUserAdd::Reset()
{
    DropImport();
    if (!m_hWnd) return;
    m_btnAction.SetWindowText(kStateReady);
    m_list.DeleteAllItems();
    m_editPath.SetWindowText("");
    m_strPath.Empty();
    m_nIsAddFriend = 0;
    m_checkFriend.SetCheck(0);
    m_btnBrowse.EnableWindow(TRUE);
    // A sheet still being read is dropped when it arrives.
    ++m_nRead;
    m_reading = false;
    m_excel.reset();
}

void CDlgGroupUserAdd::OnBrowse()
{
    CFileDialog dialog(TRUE, nullptr, nullptr, OFN_HIDEREADONLY | OFN_FILEMUSTEXIST,
                       "EXCEL文件t(*.xls;*.xlsx)|*.xls;*.xlsx||", this);
    if (dialog.DoModal() != IDOK) return;
    LoadSheetFile(dialog.GetPathName());
}

bool CDlgGroupUserAdd::LoadSheetFile(const CString& path)
{
    m_strPath = path;
    m_editPath.SetWindowText(path);
    return StartRead(false);
}

bool CDlgGroupUserAdd::StartRead(bool forSave)
{
    auto read = std::make_shared<SheetRead>();
    read->number = ++m_nRead;
    read->forSave = forSave;
    read->path = m_strPath;
    m_reading = true;
    m_btnBrowse.EnableWindow(FALSE);
    auto* job = new SheetReadJob{m_hWnd, read};
    if (!AfxBeginThread(ThreadReadSheet, job)) {
        delete job;
        m_reading = false;
        m_btnBrowse.EnableWindow(!forSave);
        return false;
    }
    return true;
}

LRESULT CDlgGroupUserAdd::OnSheetRead(WPARAM wParam, LPARAM)
{
    const auto* read = reinterpret_cast<const SheetRead*>(wParam);
    if (!read || read->number != m_nRead) return 0;
    m_reading = false;
    if (read->failure) {
        // A file that cannot be read leaves the window as it was, ready for
        // another choice.
        if (!read->forSave) m_btnBrowse.EnableWindow(TRUE);
        AfxMessageBox(read->failure, MB_OK);
        return 0;
    }
    // Kept here too: saving shows a file dialog, and the view may be reset.
    const std::shared_ptr<ExcelFile> file = read->file;
    m_excel = file;
    if (read->forSave) {
        SaveResultsInto(*file);
        return 0;
    }
    m_list.DeleteAllItems();
    FillImportList(m_list, read->rows);
    return 0;
}

void CDlgGroupUserAdd::OnAction()
{
    // A sheet being read: the buttons wait for it.
    if (m_reading) return;
    CString state;
    m_btnAction.GetWindowText(state);
    if (state == kStateReady) StartImport();
    else if (state == kStateDone) SaveResults();
    // "正在导入": nothing.
}

void CDlgGroupUserAdd::StartImport()
{
    m_nIsAddFriend = m_checkFriend.GetCheck() == BST_CHECKED ? 1 : 0;
    DropImport();
    auto* block = new ImportGroupUserBlock;
    const int rows = m_list.GetItemCount();
    block->rows.reserve(static_cast<size_t>(rows));
    for (int i = 0; i < rows; ++i) block->rows.push_back({m_list.GetItemText(i, 0), m_list.GetItemText(i, 1), m_list.GetItemText(i, 2)});
    block->gid = m_nGroupId;
    block->groupType = m_nGroupType;
    block->isAddFriend = m_nIsAddFriend;
    block->dialog = std::make_shared<ImportViewProxy>(m_hWnd, m_nImport, m_importCancel);
    m_btnAction.SetWindowText(kStateRunning);
    m_importing = true;
    if (!AfxBeginThread(ThreadImportGroupUser, block)) {
        delete block;
        m_importing = false;
        m_btnAction.SetWindowText(kStateReady);
    }
}

LRESULT CDlgGroupUserAdd::OnImportReport(WPARAM wParam, LPARAM)
{
    const auto* r = reinterpret_cast<const ImportReport*>(wParam);
    if (!r || r->import != m_nImport) return 0;
    switch (r->kind) {
    case ImportReport::RowResult:
        if (r->row >= 0 && r->row < m_list.GetItemCount()) m_list.SetItemText(r->row, 3, ImportResultText(r->code));
        break;
    case ImportReport::RowText:
        if (r->row >= 0 && r->row < m_list.GetItemCount() && r->column >= 0 && r->column < 4)
            m_list.SetItemText(r->row, r->column, r->text);
        break;
    case ImportReport::ButtonText:
        m_btnAction.SetWindowText(r->text);
        m_importing = false;
        break;
    }
    return 1;
}

void CDlgGroupUserAdd::SaveResults()
{
    // The workbook as it is on disk now (read on a worker), with the states
    // in column 4.
    StartRead(true);
}

void CDlgGroupUserAdd::SaveResultsInto(ExcelFile& file)
{
    const int rows = m_list.GetItemCount();
    for (int i = 0; i < rows; ++i) file.SetCellText(i + 1, 4, m_list.GetItemText(i, 3));
    // Only the newer workbook format can be written: results are saved as .xlsx.
    CFileDialog dialog(FALSE, "xlsx", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                       "EXCEL Files (*.xlsx)|*.xlsx|All Files (*.*)|*.*||", this);
    if (dialog.DoModal() == IDOK) {
        CString target = dialog.GetPathName();
        if (target.GetLength() >= 4 && target.Right(4).CompareNoCase(".xls") == 0) target += "x";
        if (!file.SaveAs(target)) AfxMessageBox("保存失败", MB_OK);
    }
    Reset();
}

void CDlgGroupUserAdd::OnExampleLink(NMHDR*, LRESULT* result)
{
    ShellExecute(nullptr, "open", GetEndpointConfig().webBaseUrl + "/lum_example.xls", nullptr, nullptr, SW_SHOWNORMAL);
    if (result) *result = 0;
}

void CDlgGroupUserAdd::OnCancel()
{
    ShowWindow(SW_HIDE);
}

void CDlgGroupUserAdd::OnClose()
{
    // The view belongs to the member-import window: closing it hides it.
    ShowWindow(SW_HIDE);
}

void CDlgGroupUserAdd::OnDestroy()
{
    DropImport();
    CDlgBase::OnDestroy();
}

// ---------------------------------------------------------------- the page

BEGIN_DISPATCH_MAP(HtmlGroupUserAddFromExist, CDHtmlDialog)
    DISP_FUNCTION(HtmlGroupUserAddFromExist, "createCompleted", createCompleted, VT_EMPTY, VTS_VARIANT VTS_VARIANT)
END_DISPATCH_MAP()

BEGIN_DHTML_EVENT_MAP(HtmlGroupUserAddFromExist)
    DHTML_EVENT_ONCLICK("ButtonCancel", OnButtonCancel)
END_DHTML_EVENT_MAP()

HtmlGroupUserAddFromExist::HtmlGroupUserAddFromExist() : CDHtmlDialog(kDlgTreePage, kHtmlTreePage, nullptr)
{
    EnableAutomation();
}

BOOL HtmlGroupUserAddFromExist::OnInitDialog()
{
    CDHtmlDialog::OnInitDialog();
    SetExternalDispatch(GetIDispatch(FALSE));
    return TRUE;
}

HRESULT HtmlGroupUserAddFromExist::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*)
{
    return S_OK;
}

void HtmlGroupUserAddFromExist::OnDocumentComplete(LPDISPATCH browser, LPCTSTR url)
{
    CDHtmlDialog::OnDocumentComplete(browser, url);
    // The tree is filled once, when the page has loaded.
    if (m_bTreeShown) return;
    m_bTreeShown = true;
    CallScriptFunction("reload", m_strTree);
}

void HtmlGroupUserAddFromExist::createCompleted(const VARIANT&, const VARIANT&) {}

HRESULT HtmlGroupUserAddFromExist::OnButtonCancel(IHTMLElement*)
{
    if (CWnd* parent = GetParent()) parent->PostMessage(WM_CLOSE, 0, 0);
    return S_OK;
}

// ---------------------------------------------------------------- the window

BEGIN_MESSAGE_MAP(CDlgGroupUserAddFromExist, CDlgBase)
    ON_BN_CLICKED(IDOK, OnConfirm)
    ON_BN_CLICKED(IDCANCEL, OnCancelButton)
    ON_BN_CLICKED(kCtrlImport, OnImportFromExcel)
    ON_BN_CLICKED(kCtrlSearchAdd, OnSearchAdd)
    ON_WM_SIZE()
    ON_WM_GETMINMAXINFO()
    ON_WM_CTLCOLOR()
    ON_WM_CLOSE()
    ON_WM_DESTROY()
END_MESSAGE_MAP()

CDlgGroupUserAddFromExist::CDlgGroupUserAddFromExist() : CDlgBase(kDlgImportWindow, nullptr)
{
    m_brushWhite.CreateSolidBrush(RGB(255, 255, 255));
}

CDlgGroupUserAddFromExist::~CDlgGroupUserAddFromExist()
{
    if (m_hWnd) DestroyWindow();
    delete m_pCaptionFont;
}

BOOL CDlgGroupUserAddFromExist::CreateFor(int gid, int groupType, CFileDbUser* store, int w, int h)
{
    RegisterTemplates();
    m_nGroupId = gid;
    m_nGroupType = groupType;
    m_page.m_nGroupId = gid;
    m_page.m_strTree = BuildMemberTreeXml(store);
    if (!Create(kDlgImportWindow, nullptr)) return FALSE;
    MoveWindow(250, 250, std::max(w, kMinWidth), std::max(h, kMinHeight));
    CenterWindow();
    return TRUE;
}

BOOL CDlgGroupUserAddFromExist::OnInitDialog()
{
    CDlgBase::OnInitDialog();
    m_btnMin.ShowWindow(SW_HIDE);
    m_pCaptionFont = new Gdiplus::Font(L"宋体", 12.0f, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
    SetWindowText("添加群成员");
    const CRect r(0, 0, 70, 26);
    m_btnOK.Create("确定", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, r, this, IDOK);
    m_btnCancel.Create("取消", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, r, this, IDCANCEL);
    m_btnImport.Create("从Excel中批量导入", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, CRect(0, 0, 130, 26), this,
                       kCtrlImport);
    m_btnSearch.Create("搜索添加", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, CRect(0, 0, 80, 26), this, kCtrlSearchAdd);
    m_page.Create(kDlgTreePage, this);
    m_page.ShowWindow(SW_SHOW);
    // The import view: a window of its own, hidden until chosen.
    m_dlgImport.CreateView(this);
    m_dlgImport.ShowWindow(SW_HIDE);
    MoveWindow(250, 250, kMinWidth, kMinHeight);
    Place(kMinWidth, kMinHeight);
    return TRUE;
}

void CDlgGroupUserAddFromExist::Place(int cx, int cy)
{
    if (!m_btnOK.m_hWnd) return;
    if (m_page.m_hWnd) m_page.MoveWindow(4, 45, cx - 8, cy - 78);
    m_btnOK.MoveWindow(cx - 187, cy - 33, 70, 26);
    m_btnCancel.MoveWindow(cx - 97, cy - 33, 70, 26);
    m_btnImport.MoveWindow(20, cy - 36, 130, 26);
    m_btnSearch.MoveWindow(160, cy - 36, 80, 26);
}

void CDlgGroupUserAddFromExist::OnSize(UINT type, int cx, int cy)
{
    CDlgBase::OnSize(type, cx, cy);
    if (cx > 0 && cy > 0) Place(cx, cy);
}

void CDlgGroupUserAddFromExist::OnGetMinMaxInfo(MINMAXINFO* info)
{
    CDlgBase::OnGetMinMaxInfo(info);
    if (!info) return;
    info->ptMinTrackSize.x = kMinWidth;
    info->ptMinTrackSize.y = kMinHeight;
}

void CDlgGroupUserAddFromExist::DrawOwnerInBackgroud(Gdiplus::Graphics* g)
{
    DrawField(g, m_rcClient, 34);
    DrawCaption(g, m_pCaptionFont, "添加群成员");
}

HBRUSH CDlgGroupUserAddFromExist::OnCtlColor(CDC* dc, CWnd*, UINT)
{
    if (dc) dc->SetBkColor(RGB(255, 255, 255));
    return m_brushWhite;
}

void CDlgGroupUserAddFromExist::OnConfirm()
{
    m_page.m_nGroupId = m_nGroupId;
    m_page.InvokeScriptMethod("cAddToGroups",
                              {CScriptArg(IdText(m_nGroupId)), CScriptArg(OwnVerifyCode()), CScriptArg(OwnAccount())});
}

void CDlgGroupUserAddFromExist::OnCancelButton()
{
    OnClose();
}

void CDlgGroupUserAddFromExist::OnCancel()
{
    OnClose();
}

void CDlgGroupUserAddFromExist::OnImportFromExcel()
{
    m_dlgImport.Reset();
    m_dlgImport.m_nGroupId = m_nGroupId;
    m_dlgImport.m_nGroupType = m_nGroupType;
    CRect r;
    GetWindowRect(&r);
    m_dlgImport.MoveWindow(r.left, r.top, r.Width(), r.Height());
    m_dlgImport.ShowWindow(SW_SHOW);
    m_dlgImport.SetForegroundWindow();
}

void CDlgGroupUserAddFromExist::OnSearchAdd()
{
    // The previous library goes without its ExitInstance.
    if (m_hAdhor) ReleasePluginModule(m_hAdhor, false);
    m_hAdhor = LoadPluginModule("Adhor.dll", "加载Adhor.dll失败,未能实现添加群用户功能");
    if (!m_hAdhor) return;
    if (auto show = PluginExport(m_hAdhor, AdhorExports::ShowAddMember))
        show(OwnAccount(), OwnId(), m_nGroupId, OwnVerifyCode());
}

void CDlgGroupUserAddFromExist::OnClose()
{
    DestroyWindow();
}

void CDlgGroupUserAddFromExist::OnDestroy()
{
    if (m_dlgImport.m_hWnd) m_dlgImport.DestroyWindow();
    if (m_hAdhor) {
        ReleasePluginModule(m_hAdhor, false);
        m_hAdhor = nullptr;
    }
    CDlgBase::OnDestroy();
}

void OpenGroupMemberImport(std::unique_ptr<CWnd>& slot, int gid, int kind, CFileDbUser* store)
{
    slot.reset();
    auto window = std::make_unique<CDlgGroupUserAddFromExist>();
    if (!window->CreateFor(gid, kind, store, 570, 370)) return;
    window->ShowWindow(SW_SHOW);
    slot = std::move(window);
}

namespace {

struct MemberImportHook {
    std::function<bool(CKivGroupListCtrl*, UINT, int, const CString&, int)> previous;

    bool operator()(CKivGroupListCtrl* list, UINT command, int gid, const CString& text, int arg) const
    {
        if (command != IDM_ADD_GROUP_MEMBERS || !list) return previous && previous(list, command, gid, text, arg);
        OpenGroupMemberImport(list->m_pImportWindow, gid, arg, static_cast<CFileDbUser*>(list->m_pUserStore));
        return true;
    }
};

}  // namespace

void InstallMemberImportHooks()
{
    if (!CKivGroupListCtrl::s_pluginCommand.target<MemberImportHook>())
        CKivGroupListCtrl::s_pluginCommand = MemberImportHook{std::move(CKivGroupListCtrl::s_pluginCommand)};
}

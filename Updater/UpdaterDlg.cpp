#include "Updater/UpdaterDlg.h"

#include "Updater/UpdaterFiles.h"
#include "Updater/resource.h"

#include "platform/config.h"
#include "platform/dialog.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/gdiplus.h"
#include "platform/process.h"
#include "platform/resources.h"
#include "platform/stream.h"
#include "platform/uiapp.h"

#include <climits>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

const char kStart[] = "开始更新";
const char kCancel[] = "取消";
const char kRetry[] = "重新升级";
const char kDone[] = "升级完成";
const char kMoveFailed[] = "更新文件失败";
const char kClient[] = "Lum.exe";
// How long the client may take to end after it was asked to, before it is
// ended forcibly.
const DWORD kClientGraceMs = 3000;

void RegisterUpdaterTemplate()
{
    static bool registered = false;
    if (registered) return;
    registered = true;
    DialogTemplate t;
    t.id = IDD_UPDATER_DIALOG;
    t.cx = 320;
    t.cy = 330;
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    t.caption = "Orvane更新";
    t.items = {
        DialogItem("Static", 0xFFFF, 15, 12, 290, 20, 0, "Orvane有重要更新，点击开始更新"),
        DialogItem("SysListView32", IDC_LIST_FILES, 15, 38, 290, 150, LVS_REPORT | LVS_SINGLESEL | WS_BORDER),
        DialogItem("Static", IDC_STATIC_FILE, 15, 196, 290, 20),
        DialogItem("Static", 0xFFFF, 15, 224, 62, 20, 0, "下载："),
        DialogItem("msctls_progress32", IDC_PROGRESS_FILE, 80, 224, 225, 16),
        DialogItem("Static", 0xFFFF, 15, 250, 62, 20, 0, "总进度："),
        DialogItem("msctls_progress32", IDC_PROGRESS_TOTAL, 80, 250, 225, 16),
        DialogItem("Button", IDOK, 110, 284, 100, 30, BS_DEFPUSHBUTTON | WS_TABSTOP, kStart),
    };
    RegisterDialogTemplate(AfxGetInstanceHandle(), t);
}

// The program icon from this program's resources.
HICON LoadProgramIcon()
{
    HINSTANCE module = AfxGetInstanceHandle();
    HRSRC resource = FindResource(module, MAKEINTRESOURCE(IDR_MAINFRAME), RT_ICON);
    if (!resource) return nullptr;
    DWORD size = SizeofResource(module, resource);
    const void* bytes = LockResource(LoadResource(module, resource));
    if (!bytes || size == 0) return nullptr;
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) || !stream) return nullptr;
    HICON icon = nullptr;
    ULONGLONG start = 0;
    if (SUCCEEDED(stream->Write(bytes, size, nullptr)) && SUCCEEDED(stream->Seek(0, STREAM_SEEK_SET, &start))) {
        Gdiplus::Bitmap* image = Gdiplus::Bitmap::FromStream(stream);
        if (image && image->GetLastStatus() == Gdiplus::Ok) {
            ICONINFO info;
            image->GetHBITMAP(Gdiplus::Color(0), &info.hbmColor);
            icon = CreateIconIndirect(&info);
            if (info.hbmColor) DeleteObject(info.hbmColor);
        }
        delete image;
    }
    stream->Release();
    return icon;
}

bool isElfFile(const CString& path)
{
    FILE* f = std::fopen(path.GetString(), "rb");
    if (!f) return false;
    char magic[4] = {};
    bool elf = std::fread(magic, 1, 4, f) == 4 && std::memcmp(magic, "\177ELF", 4) == 0;
    std::fclose(f);
    return elf;
}

}  // namespace

// ---------------------------------------------------------------- progress

HRESULT CUpdaterDlg::CKivCallback::OnProgress(ULONG progress, ULONG progressMax, ULONG, LPCWSTR)
{
    // Without a size nothing can be shown; the bars keep what they show.
    if (progressMax == 0 || !m_pDlg) return m_hResult;
    m_nLastMax = progressMax;
    const int x = static_cast<int>(static_cast<double>(progress) / progressMax * 100);
    m_pDlg->m_progressFile.SetPos(x);
    const unsigned int total = m_nTotal;
    if (total == 1) {
        m_pDlg->m_progressTotal.SetPos(x);
    } else if (total > 0) {
        const double part = 100.0 / total;
        m_pDlg->m_progressTotal.SetPos(static_cast<int>((m_nIndex - 1) * part + static_cast<double>(x) / total));
    }
    return m_hResult;
}

// ---------------------------------------------------------------- dialog

CUpdaterDlg::CUpdaterDlg(CWnd* parent) : CDialog(IDD, parent)
{
    RegisterUpdaterTemplate();
    m_callback.m_pDlg = this;
    if (CUpdaterApp* app = GetUpdaterApp()) {
        m_strAppPath = app->m_strAppPath;
        m_files.assign(app->m_setFiles.begin(), app->m_setFiles.end());
        m_checks = app->m_mapChecks;
    }
}

CUpdaterDlg::~CUpdaterDlg()
{
    m_callback.m_hResult = E_ABORT;
    WaitForWorker();
    if (m_hIcon) DestroyIcon(m_hIcon);
}

void CUpdaterDlg::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_LIST_FILES, m_listFiles);
    DDX_Control(dx, IDC_STATIC_FILE, m_staticFile);
    DDX_Control(dx, IDC_PROGRESS_FILE, m_progressFile);
    DDX_Control(dx, IDC_PROGRESS_TOTAL, m_progressTotal);
    DDX_Control(dx, IDOK, m_btnUpdate);
}

BOOL CUpdaterDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_hIcon = LoadProgramIcon();
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    m_progressFile.SetRange(0, 100);
    m_progressTotal.SetRange(0, 100);
    m_listFiles.InsertColumn(0, "User", LVCFMT_LEFT, 270);
    int row = 0;
    for (const CString& name : m_files) m_listFiles.InsertItem(row++, name);
    return TRUE;
}

void CUpdaterDlg::OnOK()
{
    // While the files are being put in place the button is off.
    if (m_bReplacing) return;
    CString state;
    m_btnUpdate.GetWindowText(state);
    if (state == kStart) {
        // The client is only asked here; it is stopped once every file has
        // arrived, so that a failed download leaves it running.
        if (!FindProgramProcesses(m_strAppPath + kClient).empty() &&
            AfxMessageBox("Orvane已在运行！\n请先关闭程序才能进行更新！\n如果选择确定将强行关闭程序！", MB_OKCANCEL) !=
                IDOK)
            return;
        StartWorker();
    } else if (state == kCancel || state == kRetry || state == kMoveFailed) {
        m_callback.m_hResult = E_ABORT;
        m_btnUpdate.SetWindowText(kStart);
    } else if (state == kDone) {
        WinExec(m_strAppPath + kClient, SW_SHOWNORMAL);
        EndDialog(IDOK);
    } else {
        EndDialog(IDOK);
    }
}

void CUpdaterDlg::OnCancel()
{
    // Files being put in place are never left half done.
    if (m_bReplacing) return;
    m_callback.m_hResult = E_ABORT;
    WaitForWorker();
    EndDialog(IDCANCEL);
}

void CUpdaterDlg::StartWorker()
{
    if (m_worker.joinable()) {
        m_callback.m_hResult = E_ABORT;
        WaitForWorker();
    }
    m_bWorkerDone = false;
    m_worker = std::thread([this] {
        Work();
        m_bWorkerDone = true;
    });
}

void CUpdaterDlg::WaitForWorker()
{
    if (!m_worker.joinable()) return;
    if (lumui::IsUiThread()) lumui::PumpUntil([this] { return m_bWorkerDone.load(); }, INT_MAX);
    m_worker.join();
}

void CUpdaterDlg::SetBusy(bool busy)
{
    m_bReplacing = busy;
    lumui::RunOnUiThread([this, busy] {
        if (m_btnUpdate.m_hWnd) m_btnUpdate.EnableWindow(!busy);
    });
}

// ---------------------------------------------------------------- worker

void CUpdaterDlg::Work()
{
    m_callback.m_hResult = S_OK;
    m_callback.m_nTotal = 1;
    m_callback.m_nIndex = 0;
    m_progressFile.SetPos(0);
    m_progressTotal.SetPos(0);

    // A fresh download folder: what an earlier run left there (a partial
    // file among them) is never installed.
    const CString folder = m_strAppPath + "update/";
    const CString downloads = folder + "new/";
    const CString backups = folder + "old/";
    std::error_code ec;
    fs::remove_all(folder.str(), ec);
    fs::create_directories(downloads.str(), ec);
    m_callback.m_nTotal = static_cast<unsigned int>(m_files.size());
    m_btnUpdate.SetWindowText(kCancel);

    if (!DownloadAll(downloads)) {
        fs::remove_all(folder.str(), ec);
        return;
    }

    if (m_onMoment) m_onMoment("downloaded");
    // Replacing starts on the interface thread, where "取消" is handled: a
    // press that came first stops the update here, and once replacing has
    // started the button can no longer be pressed.
    bool replace = false;
    lumui::RunOnUiThread([this, &replace] {
        if (m_callback.m_hResult == E_ABORT) return;
        m_bReplacing = true;
        if (m_btnUpdate.m_hWnd) {
            m_btnUpdate.EnableWindow(FALSE);
            m_btnUpdate.SetWindowText(kDone);
        }
        replace = true;
    });
    if (!replace) {
        fs::remove_all(folder.str(), ec);
        return;
    }
    if (m_onMoment) m_onMoment("replacing");
    if (!ReplaceAll(downloads, backups)) m_btnUpdate.SetWindowText(kMoveFailed);
    fs::remove_all(folder.str(), ec);
    SetBusy(false);
}

bool CUpdaterDlg::DownloadAll(const CString& downloads)
{
    const CString base = GetEndpointConfig().webBaseUrl;
    for (const CString& name : m_files) {
        m_staticFile.SetWindowText(name);
        ++m_callback.m_nIndex;
        m_callback.m_nLastMax = 0;
        const CString url = base + "/download/" + EncodeUrlName(name);
        const CString target = downloads + name;
        // A name in a folder of the install gets that folder here too.
        std::error_code ec;
        fs::create_directories(fs::path(target.str()).parent_path(), ec);
        const HRESULT fetched = URLDownloadToFile(nullptr, url, target, 0, &m_callback);

        // The file must be known whole: the size and digest the list gives;
        // without them, an end the server marked (its length, which must
        // match, or the last chunk). A body that just stopped where the
        // connection closed may be cut short and is refused.
        auto check = m_checks.find(name);
        const bool listed =
            check != m_checks.end() && (check->second.size >= 0 || !check->second.md5.IsEmpty());
        bool ok = fetched == S_OK || (fetched == S_FALSE && listed);
        if (ok) {
            const int64_t size = FileSizeOf(target);
            const ULONG announced = m_callback.m_nLastMax;
            if (size < 0 || (announced > 0 && static_cast<uint64_t>(size) != announced)) ok = false;
            if (ok && listed) {
                if (check->second.size >= 0 && size != check->second.size) ok = false;
                if (!check->second.md5.IsEmpty() && FileMd5(target).CompareNoCase(check->second.md5) != 0) ok = false;
            }
        }
        // A cancel leaves the button as the user set it.
        if (m_callback.m_hResult == E_ABORT) return false;
        if (!ok) {
            CString text;
            text.Format("%s 下载失败！", name.GetString());
            m_staticFile.SetWindowText(text);
            m_btnUpdate.SetWindowText(kRetry);
            return false;
        }
    }
    return m_callback.m_hResult != E_ABORT;
}

bool CUpdaterDlg::ReplaceAll(const CString& downloads, const CString& backups)
{
    // Only the client started from this folder is stopped, and it is asked
    // first.
    for (DWORD pid : FindProgramProcesses(m_strAppPath + kClient)) EndProcessGently(pid, kClientGraceMs);

    struct Replaced {
        CString target;
        CString backup;  // empty: the file was new
    };
    std::vector<Replaced> done;
    auto rollBack = [&done] {
        for (auto it = done.rbegin(); it != done.rend(); ++it) {
            if (it->backup.IsEmpty())
                DeleteFile(it->target);
            else
                MoveFileEx(it->backup, it->target, MOVEFILE_REPLACE_EXISTING);
        }
    };

    std::error_code ec;
    fs::create_directories(backups.str(), ec);
    for (const CString& name : m_files) {
        // "Name.exe" and "Name.dll" stand for the program and module files here.
        const CString target = MapProgramName(m_strAppPath + name);
        const CString fresh = downloads + name;
        Replaced entry{target, CString()};
        if (PathFileExists(target)) {
            // The old file stays reachable until the whole update is in place.
            entry.backup = backups + name;
            fs::create_directories(fs::path(entry.backup.str()).parent_path(), ec);
            fs::create_hard_link(target.str(), entry.backup.str(), ec);
            if (ec) fs::copy_file(target.str(), entry.backup.str(), fs::copy_options::overwrite_existing, ec);
            if (ec) {
                rollBack();
                return false;
            }
            fs::permissions(fresh.str(), fs::status(target.str(), ec).permissions(), ec);
        } else {
            // A file in a folder the install does not have yet.
            fs::create_directories(fs::path(target.str()).parent_path(), ec);
            if (isElfFile(fresh)) MarkProgramExecutable(fresh);
        }
        if (!MoveFileEx(fresh, target, MOVEFILE_REPLACE_EXISTING)) {
            rollBack();
            return false;
        }
        done.push_back(entry);
    }
    return true;
}

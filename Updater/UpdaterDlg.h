// The update dialog: lists the files to update and, on its one button,
// downloads them with progress (current file and total) into a download
// folder, checks them, stops the running client of this install, puts the
// files in place and starts the client again.
//
// The button's text is the dialog's state: "开始更新" -> (worker) "取消" ->
// "升级完成" (all downloaded; the files are then replaced) -> restart; or
// "取消" -> "重新升级" (a download failed) -> "开始更新"; or "升级完成" ->
// "更新文件失败" (a file could not be put in place) -> "开始更新".
//
// Nothing installed changes until every file has arrived whole: a failed or
// cancelled download leaves the install and the running client as they were.
// Each file is then put in place by one rename, and when one cannot be, the
// files already replaced are put back.
#pragma once

#include "Updater/UpdaterApp.h"

#include "platform/controls.h"
#include "platform/dialog.h"
#include "platform/listctrl.h"
#include "platform/net.h"

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

class CUpdaterDlg : public CDialog {
public:
    enum { IDD = 102 };

    explicit CUpdaterDlg(CWnd* parent = nullptr);
    ~CUpdaterDlg() override;

    // Progress of the running download, shown on the two bars.
    class CKivCallback : public IBindStatusCallback {
    public:
        // Sets the bars (nothing when the size is not known) and returns the
        // result field: E_ABORT stops the download.
        HRESULT OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode, LPCWSTR statusText) override;

        std::atomic<HRESULT> m_hResult{S_OK};
        std::atomic<unsigned int> m_nTotal{0};
        std::atomic<unsigned int> m_nIndex{0};  // current file, from 1
        std::atomic<ULONG> m_nLastMax{0};       // size the server announced for it
        CUpdaterDlg* m_pDlg = nullptr;
    };

    BOOL OnInitDialog() override;
    // Button 1, by its text.
    void OnOK() override;
    // Escape or closing the window: stops a download and ends (not while
    // files are being replaced).
    void OnCancel() override;

    // Stops a worker that is still running and starts a new one.
    void StartWorker();
    // True while the worker thread runs.
    bool IsWorkerRunning() const { return !m_bWorkerDone; }

    CListCtrl m_listFiles;        // 1004
    CStatic m_staticFile;         // 1005
    CProgressCtrl m_progressFile;   // 1000
    CProgressCtrl m_progressTotal;  // 1001
    CButton m_btnUpdate;          // 1
    CKivCallback m_callback;
    HICON m_hIcon = nullptr;

    // Called on the worker at two moments of an update, for tests to act in
    // them: "downloaded" (every file arrived whole, nothing is replaced yet)
    // and "replacing" (the files are about to be put in place).
    std::function<void(const char* moment)> m_onMoment;

    // The program folder, the names to update and their checks (from the
    // application object).
    CString m_strAppPath;
    std::vector<CString> m_files;
    std::map<CString, FileCheck> m_checks;

protected:
    void DoDataExchange(CDataExchange* dx) override;

private:
    void Work();
    // Downloads every file into the download folder and checks it; false
    // (with the failure shown) when one fails or the user cancelled.
    bool DownloadAll(const CString& folder);
    // Stops the client and puts every downloaded file in place; false when
    // one could not be (every file is then as before).
    bool ReplaceAll(const CString& downloads, const CString& backups);
    // Waits for the worker, keeping the window's messages flowing so that
    // its synchronous calls into the window return.
    void WaitForWorker();
    void SetBusy(bool busy);

    std::thread m_worker;
    std::atomic<bool> m_bWorkerDone{true};
    std::atomic<bool> m_bReplacing{false};
};

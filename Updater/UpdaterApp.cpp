#include "Updater/UpdaterApp.h"

#include "Updater/UpdaterDlg.h"
#include "Updater/UpdaterFiles.h"

#include "platform/config.h"
#include "platform/files.h"
#include "platform/net.h"
#include "platform/version.h"

#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

const char kSection[] = "Kiv_PC";
const char kSizeSection[] = "Kiv_PC_Size";
const char kMd5Section[] = "Kiv_PC_MD5";

bool isHexDigest(const CString& text)
{
    if (text.GetLength() != 32) return false;
    for (char ch : text.str()) {
        bool hex = (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
        if (!hex) return false;
    }
    return true;
}

}  // namespace

CUpdaterApp::CUpdaterApp() = default;

CUpdaterApp* GetUpdaterApp()
{
    return dynamic_cast<CUpdaterApp*>(AfxGetApp());
}

BOOL CUpdaterApp::InitInstance()
{
    // Size 8 and every class of common control.
    struct {
        DWORD dwSize;
        DWORD dwICC;
    } controls = {8, 0xFF};
    InitCommonControlsEx(&controls);
    CWinApp::InitInstance();

    char path[MAX_PATH] = "";
    char drive[MAX_PATH] = "";
    char dir[MAX_PATH] = "";
    if (GetModuleFileName(nullptr, path, sizeof path)) _splitpath(path, drive, dir, nullptr, nullptr);
    m_strAppPath.Format("%s%s", drive, dir);

    // Without a list there is nothing to do, and nothing to say.
    if (!DownloadVersionList()) return FALSE;
    ReadVersionList();
    if (m_setFiles.empty()) return FALSE;

    CUpdaterDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}

BOOL CUpdaterApp::DownloadVersionList()
{
    // The time in the query keeps caches on the way from answering.
    char stamp[64] = "";
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    strftime(stamp, sizeof stamp, "%Y-%m-%d_%H:%M:%S", &local);
    CString url;
    url.Format("%s/download/updater.ini?%s", GetEndpointConfig().webBaseUrl.GetString(), stamp);
    CString list;
    list.Format("%supdater.ini", m_strAppPath.GetString());
    // A list cut short only lacks entries or checks; the files it names are
    // each checked on their own.
    if (SUCCEEDED(URLDownloadToFile(nullptr, url, list, 0, nullptr))) return TRUE;
    DeleteFile(list);
    return FALSE;
}

void CUpdaterApp::ReadVersionList()
{
    m_setFiles.clear();
    m_mapChecks.clear();
    CString list;
    list.Format("%supdater.ini", m_strAppPath.GetString());
    std::vector<std::pair<CString, CString>> versions, sizes, digests;
    ReadIniSection(list, kSection, versions);
    ReadIniSection(list, kSizeSection, sizes);
    ReadIniSection(list, kMd5Section, digests);
    // The list is used up once read.
    DeleteFile(list);

    for (const auto& entry : versions) {
        const CString& name = entry.first;
        const CString& version = entry.second;
        if (version.IsEmpty()) break;
        // A name that would reach outside the program folder is never installed.
        if (!IsSafeFileName(name)) continue;
        if (version.CompareNoCase(GetFileProductVersion(name)) != 0) m_setFiles.insert(name);
    }
    for (const auto& entry : sizes) {
        if (!m_setFiles.count(entry.first) || entry.second.IsEmpty()) continue;
        char* end = nullptr;
        long long size = std::strtoll(entry.second, &end, 10);
        if (end && *end == 0 && size >= 0) m_mapChecks[entry.first].size = size;
    }
    for (const auto& entry : digests) {
        if (!m_setFiles.count(entry.first) || !isHexDigest(entry.second)) continue;
        CString digest = entry.second;
        digest.MakeLower();
        m_mapChecks[entry.first].md5 = digest;
    }
    m_nFilesCount = static_cast<int>(m_setFiles.size());
}

CString CUpdaterApp::GetFileProductVersion(const CString& name)
{
    return ReadFileProductVersion(m_strAppPath + name);
}

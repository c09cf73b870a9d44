// The updater program: started by the client at every start, it fetches the
// server's list of current file versions ("updater.ini" under /download/),
// compares each with the product version of the installed file and, when any
// differs, shows the update dialog, which downloads the changed files, stops
// the running client, replaces the files and starts the client again.
//
// The list is an INI file: section "Kiv_PC", one line per file, the name
// relative to the program folder and its current product version. Optional
// sections "Kiv_PC_Size" (bytes) and "Kiv_PC_MD5" (hex digest) give, per
// name, what the downloaded file must measure.
#pragma once

#include "platform/CString.h"
#include "platform/uiapp.h"

#include <cstdint>
#include <map>
#include <set>

// What a downloaded file must match; -1 and "" when the list says nothing.
struct FileCheck {
    int64_t size = -1;
    CString md5;
};

class CUpdaterApp : public CWinApp {
public:
    CUpdaterApp();

    // Runs the whole updater; returns FALSE so that the process ends when the
    // dialog has closed (or at once when there is nothing to update).
    BOOL InitInstance() override;

    // Downloads the version list to "<program folder>updater.ini". FALSE when
    // the server could not give it.
    BOOL DownloadVersionList();
    // Reads the downloaded list (and removes it) into the files to update:
    // every safe name whose listed version differs from the installed file's
    // product version, letter case aside. An empty version ends the list.
    void ReadVersionList();
    // The product version of a file in the program folder; "" when the file,
    // its version or the value is missing.
    CString GetFileProductVersion(const CString& name);

    CString m_strAppPath;            // program folder, ending with '/'
    std::set<CString> m_setFiles;    // names to update, in text order
    int m_nFilesCount = 0;
    std::map<CString, FileCheck> m_mapChecks;  // per name to update, when listed
};

CUpdaterApp* GetUpdaterApp();

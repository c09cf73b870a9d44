// INI files and the program's fixed settings.
//
// The addresses of the outside endpoints (service, web server, rendezvous
// server) are fixed settings of the program. They are read from Lum.ini
// beside the program, so that a local run or a test can point the client at
// servers on this machine:
//
//   [Service]
//   Host=127.0.0.1
//   Port=21
//   [Web]
//   BaseUrl=http://127.0.0.1:8080
//   [Rendezvous]
//   Host=127.0.0.1
//   Port=9839
//
// A missing file or key gives the default shown by GetEndpointConfig.
#pragma once

#include "platform/CString.h"

#include <utility>
#include <vector>

// INI access in the manner of the system's profile functions: sections and
// keys compare without regard to case, values are trimmed of blanks, and a
// missing file, section or key gives the default.
DWORD GetPrivateProfileString(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size,
                              LPCSTR file);
UINT GetPrivateProfileInt(LPCSTR section, LPCSTR key, int defaultValue, LPCSTR file);
// Writes (adds or replaces) one value, creating the file when missing.
BOOL WritePrivateProfileString(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file);
// Every key=value line of one section, in file order.
bool ReadIniSection(LPCSTR file, LPCSTR section, std::vector<std::pair<CString, CString>>& out);

struct EndpointConfig {
    CString serviceHost = "127.0.0.1";
    int servicePort = 21;
    // Base address of the web server, without a trailing slash.
    CString webBaseUrl = "http://127.0.0.1";
    CString rendezvousHost = "127.0.0.1";
    int rendezvousPort = 9839;
};

// Reads Lum.ini from the program folder (read anew whenever the file changed).
EndpointConfig GetEndpointConfig();
// The program folder: the folder of the running executable, ending in '/'.
CString GetProgramFolder();

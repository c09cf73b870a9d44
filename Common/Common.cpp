#include "Common/Common.h"

#include "platform/net.h"

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::atomic<unsigned> g_fileCounter{0};

}  // namespace

CCommon::CCommon()
{
    char path[MAX_PATH];
    char drive[MAX_PATH] = "", dir[MAX_PATH] = "";
    if (GetModuleFileName(nullptr, path, sizeof path)) _splitpath(path, drive, dir, nullptr, nullptr);
    m_strAppPath.Format("%s%s", drive, dir);
}

int CCommon::MemoryTOBitmap(const void* data, int size, Gdiplus::Bitmap* target)
{
    if (!data || size <= 0 || !target) return 0;
    Gdiplus::Bitmap decoded(data, static_cast<size_t>(size));
    if (decoded.GetLastStatus() != Gdiplus::Ok) return 0;
    Gdiplus::Graphics g(target);
    return g.DrawImage(&decoded, Gdiplus::Rect(0, 0, 40, 40), 0, 0, static_cast<int>(decoded.GetWidth()),
                       static_cast<int>(decoded.GetHeight()), Gdiplus::UnitPixel) == Gdiplus::Ok
               ? 1
               : 0;
}

int CCommon::DownLoadHeaderImage(int id, Gdiplus::Bitmap* target, int isUser, CString dir)
{
    CString file;
    file.Format("%s%d.png", dir.GetString(), id);
    CString stamp = CTime::GetCurrentTime().Format("%H%M%S");
    CString url;
    url.Format(isUser == 1 ? "%s/upload/face/%d.png?r=%s" : "%s/upload/group/%d.png?r=%s",
               GetEndpointConfig().webBaseUrl.GetString(), id, stamp.GetString());
    if (URLDownloadToFile(nullptr, url, file, 0, nullptr) != S_OK) return 0;
    std::string bytes;
    if (!ReadWholeFile(file, bytes) || bytes.empty()) return 0;
    // An answer that is not an image (an error page, a cut transfer) is a
    // failed download, not a blank head.
    int drawn = MemoryTOBitmap(bytes.data(), static_cast<int>(bytes.size()), target);
    DeleteFile(file);
    return drawn;
}

void CCommon::BitmapTOIStream(const Gdiplus::Bitmap* image, IStream* stream, ULONGLONG* size)
{
    if (!image || !stream || !size) return;
    UINT count = 0, bytes = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || count == 0) return;
    std::vector<Gdiplus::ImageCodecInfo> encoders(count);
    if (Gdiplus::GetImageEncoders(count, bytes, encoders.data()) != Gdiplus::Ok) return;
    const Gdiplus::CLSID* png = nullptr;
    for (const auto& e : encoders) {
        if (std::wstring(e.MimeType) == L"image/png") png = &e.Clsid;
    }
    if (!png) return;
    ULONG quality = 50;
    Gdiplus::EncoderParameters params;
    params.Count = 1;
    params.Parameter[0].Guid = Gdiplus::EncoderQuality;
    params.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
    params.Parameter[0].NumberOfValues = 1;
    params.Parameter[0].Value = &quality;
    if (const_cast<Gdiplus::Bitmap*>(image)->Save(stream, png, &params) != Gdiplus::Ok) return;
    ULONGLONG end = 0;
    if (FAILED(stream->Seek(0, STREAM_SEEK_END, &end))) return;
    *size = end;
    stream->Seek(0, STREAM_SEEK_SET, nullptr);
}

CString CCommon::FormatFileName(const struct tm& local, unsigned counter, int n)
{
    char date[16], time[16];
    strftime(date, sizeof date, "%Y%m%d", &local);
    strftime(time, sizeof time, "%H%M%S", &local);
    CString name;
    name.Format("%X#%X$%X@%X", static_cast<unsigned>(std::atoi(date)), static_cast<unsigned>(std::atoi(time)),
                counter, static_cast<unsigned>(n));
    return name;
}

void CCommon::getFileName(CString* name, int n)
{
    if (!name) return;
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    *name = FormatFileName(local, ++g_fileCounter, n);
}

CString CCommon::GetStrFromUrl(CString url)
{
    CInternetSession session(nullptr, 1, INTERNET_OPEN_TYPE_PRECONFIG);
    CHttpFile* file = session.OpenURL(url, 1, INTERNET_FLAG_TRANSFER_ASCII);
    CString line;
    if (file) {
        DWORD status = 0;
        if (!file->QueryInfoStatusCode(status) || status < 200 || status > 299 || !file->ReadString(line))
            line.Empty();
        file->Close();
        delete file;
    }
    session.Close();
    return line;
}

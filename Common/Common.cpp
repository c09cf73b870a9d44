#include "Common/Common.h"

#include "platform/commdlg.h"
#include "platform/net.h"

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::atomic<unsigned> g_fileCounter{0};
// The names getFileName makes are counted on their own: other files of the
// process (head downloads) never take a number from them.
std::atomic<unsigned> g_nameCounter{0};

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
    // Every download has a file of its own: two downloads of the same head
    // at once (a list refresh while the last one still runs) must not write
    // into, read or delete each other's file.
    CString file;
    file.Format("%s%d.%u.png", dir.GetString(), id, g_fileCounter.fetch_add(1) + 1);
    CString stamp = CTime::GetCurrentTime().Format("%H%M%S");
    CString url;
    url.Format(isUser == 1 ? "%s/upload/face/%d.png?r=%s" : "%s/upload/group/%d.png?r=%s",
               GetEndpointConfig().webBaseUrl.GetString(), id, stamp.GetString());
    // A picture cut short does not decode, whether or not its end was marked.
    const bool fetched = SUCCEEDED(URLDownloadToFile(nullptr, url, file, 0, nullptr));
    std::string bytes;
    const bool read = fetched && ReadWholeFile(file, bytes) && !bytes.empty();
    // A failed or cut transfer leaves no file behind either.
    DeleteFile(file);
    if (!read) return 0;
    // An answer that is not an image (an error page, a cut transfer) is a
    // failed download, not a blank head.
    return MemoryTOBitmap(bytes.data(), static_cast<int>(bytes.size()), target);
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

int CCommon::ConvertBitmapToHICON(Gdiplus::Bitmap* image, HICON* icon)
{
    if (!image || !icon) return 0;
    ICONINFO info;
    if (!GetIconInfo(*icon, &info)) return 0;
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    const int width = static_cast<int>(info.xHotspot) * 2, height = static_cast<int>(info.yHotspot) * 2;
    if (width <= 0 || height <= 0) return 0;

    Gdiplus::Bitmap scaled(width, height, Gdiplus::PixelFormat32bppARGB);
    if (scaled.GetLastStatus() != Gdiplus::Ok) return 0;
    {
        Gdiplus::Graphics g(&scaled);
        g.DrawImage(image, 0, 0, width, height);
    }
    HBITMAP color = nullptr;
    if (scaled.GetHBITMAP(Gdiplus::Color(255, 0, 0, 0), &color) != Gdiplus::Ok || !color) return 0;
    // An all-zero mask: every pixel of the colour bitmap shows.
    HBITMAP mask = CreateBitmap(width, height, 1, 1, nullptr);
    if (!mask) {
        DeleteObject(color);
        return 0;
    }
    ICONINFO made;
    made.fIcon = TRUE;
    made.hbmColor = color;
    made.hbmMask = mask;
    HICON created = CreateIconIndirect(&made);
    DeleteObject(color);
    DeleteObject(mask);
    if (!created) return 0;
    *icon = created;
    return 1;
}

HBITMAP CCommon::BitmapColorToGray(CDC* dc, HBITMAP bitmap)
{
    if (!dc) return bitmap;
    CDC memory;
    if (!memory.CreateCompatibleDC(dc)) return nullptr;
    BITMAP info;
    if (!GetObject(bitmap, sizeof info, &info)) return bitmap;
    HGDIOBJ previous = memory.SelectObject(static_cast<HGDIOBJ>(bitmap));
    for (int x = 0; x < info.bmWidth; ++x) {
        for (int y = 0; y < info.bmHeight; ++y) {
            COLORREF c = memory.GetPixel(x, y);
            int g = (7 * GetGValue(c) + 3 * GetRValue(c)) / 10;
            memory.SetPixel(x, y, RGB(g, g, g));
        }
    }
    memory.SelectObject(previous);
    return bitmap;
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
    *name = FormatFileName(local, ++g_nameCounter, n);
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

CString CCommon::ShowSelectPathDlg(CString title)
{
    const CString folder = BrowseForFolder(nullptr, title);
    if (folder.IsEmpty()) return CString();
    CString path;
    path.Format("%s/", folder.GetString());
    return path;
}

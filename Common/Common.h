// General helpers: the program's folder, head images (download, scaling to
// 40x40, PNG encoding), unique file names and the fetch of a short text from
// a web address. None of them shows a message: failures come back as results.
#pragma once

#include "platform/afx.h"
#include "platform/gdi.h"
#include "platform/gdiplus.h"
#include "platform/stream.h"

#include <ctime>

class CCommon {
public:
    CCommon();
    // The folder of the running program, ending in '/'.
    CString GetAppPath() const { return m_strAppPath; }

    // Decodes `size` bytes of an image (any format the layer reads) and draws
    // it scaled into the rectangle 0,0-40,40 of `target`. Returns 1 when an
    // image was drawn, 0 when the bytes did not decode (the target is then
    // left as it was).
    static int MemoryTOBitmap(const void* data, int size, Gdiplus::Bitmap* target);

    // Downloads the head image of a user (isUser 1) or a group (any other
    // value) from the web server into a file of its own in `dir`
    // ("<id>.<n>.png", removed afterwards) and draws it into
    // `target` at 40x40. Returns 1 when an image was drawn; 0 when the
    // download failed, the answer was empty or did not decode (the target is
    // then unchanged).
    static int DownLoadHeaderImage(int id, Gdiplus::Bitmap* target, int isUser, CString dir);

    // Encodes `image` as PNG into `stream`, stores the byte count in `*size`
    // and rewinds the stream. On failure `*size` is left as it was.
    static void BitmapTOIStream(const Gdiplus::Bitmap* image, IStream* stream, ULONGLONG* size);

    // A file name unique within the process: date, time, a counter and `n`,
    // as "%X#%X$%X@%X".
    static void getFileName(CString* name, int n);
    // The same for a given local time and counter value.
    static CString FormatFileName(const struct tm& local, unsigned counter, int n);

    // Replaces `*icon` by a new icon of the same size (twice its hot spot)
    // showing `image` scaled onto opaque black. The old icon is not
    // destroyed. Returns 1, or 0 when the icon's information cannot be read
    // or a bitmap cannot be made (the handle is then unchanged).
    static int ConvertBitmapToHICON(Gdiplus::Bitmap* image, HICON* icon);

    // Turns `bitmap` grey in place (g = (7 * green + 3 * red) / 10) through a
    // memory DC compatible with `dc`. Returns `bitmap`; with a null `dc` the
    // bitmap is returned untouched; null when no memory DC could be made.
    static HBITMAP BitmapColorToGray(CDC* dc, HBITMAP bitmap);

    // Asks the user for a folder (no owner window); the folder followed by
    // '/', or "" when the user cancels.
    static CString ShowSelectPathDlg(CString title);

    // The first line of the body at `url` when the server answers 2xx, else "".
    static CString GetStrFromUrl(CString url);

private:
    CString m_strAppPath;
};

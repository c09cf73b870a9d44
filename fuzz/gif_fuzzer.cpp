// GIF pictures: the picture control's own frame splitter, each frame it cuts
// out decoded by the layer, and the layer's decoder on the whole file (as
// head pictures from the web server reach it). The input is the file.
#include "Common/PictureEx.h"
#include "platform/gdiplus.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    // The control's buffer is the caller's; a copy of exactly the input's
    // size lets the sanitizer see any read past its end.
    std::vector<BYTE> bytes(data, data + size);
    {
        CPictureEx picture;
        if (picture.Load(static_cast<HGLOBAL>(bytes.data()), static_cast<DWORD>(bytes.size()))) {
            (void)picture.GetSize();
            (void)picture.GetFrameCount();
            // A still picture is drawn into the control's picture at once; an
            // animation would start its thread, which a control without a
            // window does not need here.
            if (!picture.IsAnimatedGIF()) picture.Draw();
        }
        picture.UnLoad();
    }
    Gdiplus::Bitmap bitmap(bytes.data(), bytes.size());
    if (bitmap.GetLastStatus() == Gdiplus::Ok) {
        (void)bitmap.GetWidth();
        (void)bitmap.GetHeight();
    }
    return 0;
}

// GIF pictures: the picture control's own frame splitter, each frame it cuts
// out decoded by the layer, and the layer's decoder on the whole file (as
// head pictures from the web server reach it). The input is the file.
#include "Common/controls/PictureEx.h"
#include "platform/gdiplus.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// The fuzz run's own bound on the pictures it hands on, far under the
// program's limit of 16 megapixels a picture (PictureSizeAllowed, tested on
// its own by the layer's tests): a frame near that limit is legitimate, but
// filling it in the sanitizer build takes seconds, which libFuzzer counts as
// a hang. Inputs that claim a screen or a frame over the bound are skipped.
constexpr long long kFuzzMaxPixels = 1024LL * 1024;

unsigned Word(const uint8_t* p) { return p[0] | (p[1] << 8); }

bool WithinFuzzBound(unsigned width, unsigned height)
{
    return static_cast<long long>(width) * height <= kFuzzMaxPixels;
}

// Walks the blocks of a GIF and checks the screen and every frame
// descriptor met on the way against the bound, as far as the input goes.
bool GifWithinFuzzBound(const uint8_t* data, size_t size)
{
    const size_t kHeader = 13;
    if (size < kHeader) return true;
    if (!WithinFuzzBound(Word(data + 6), Word(data + 8))) return false;
    size_t at = kHeader;
    if (data[10] & 0x80) at += 3u << ((data[10] & 7) + 1);
    // Skips a chain of data sub-blocks; false if it runs off the input.
    auto skipSubBlocks = [&]() {
        while (at < size) {
            const uint8_t length = data[at++];
            if (length == 0) return true;
            at += length;
        }
        return false;
    };
    while (at < size) {
        const uint8_t block = data[at++];
        if (block == 0x21) {  // extension: label, then sub-blocks
            if (at >= size) return true;
            ++at;
            if (!skipSubBlocks()) return true;
        } else if (block == 0x2C) {  // frame: descriptor, colour table, LZW size, sub-blocks
            if (at + 9 > size) return true;
            if (!WithinFuzzBound(Word(data + at + 4), Word(data + at + 6))) return false;
            const uint8_t packed = data[at + 8];
            at += 9;
            if (packed & 0x80) at += 3u << ((packed & 7) + 1);
            if (at >= size) return true;
            ++at;
            if (!skipSubBlocks()) return true;
        } else if (block == 0x3B) {  // the trailer
            return true;
        }
        // Any other byte starts no block; a lenient decoder steps over it
        // and looks for the next one, so the walk does too.
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    if (size >= 6 && data[0] == 'G' && data[1] == 'I' && data[2] == 'F' && !GifWithinFuzzBound(data, size)) return -1;
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

// The screen as the display shows it, read back by tests that check what a
// person sees there (web views draw only on the screen, never into a
// window's own image).
#pragma once

#include "platform/gdiplus.h"
#include "platform/uiapp.h"
#include "platform/windef.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace screenpixels {

// The pixels of `area` (screen coordinates) as 0xRRGGBB, row by row; empty
// when the screen could not be read or the area is not on it.
inline std::vector<uint32_t> Grab(const CRect& area)
{
    const std::string file =
        (std::filesystem::temp_directory_path() / ("lum-screen-" + std::to_string(getpid()) + ".png")).string();
    if (!lumui::SaveScreenImage(file.c_str())) return {};
    std::unique_ptr<Gdiplus::Bitmap> shot(Gdiplus::Bitmap::FromFile(std::wstring(file.begin(), file.end()).c_str()));
    std::error_code ec;
    std::filesystem::remove(file, ec);
    std::vector<uint32_t> out;
    if (!shot || shot->GetLastStatus() != Gdiplus::Ok || area.IsRectEmpty() || area.left < 0 || area.top < 0 ||
        area.right > static_cast<LONG>(shot->GetWidth()) || area.bottom > static_cast<LONG>(shot->GetHeight()))
        return out;
    for (LONG y = area.top; y < area.bottom; ++y)
        for (LONG x = area.left; x < area.right; ++x) {
            Gdiplus::Color c;
            shot->GetPixel(x, y, &c);
            out.push_back(c.GetValue() & 0xFFFFFF);
        }
    return out;
}

// How many pixels of `area` `match` takes (a function of 0xRRGGBB).
template <class Match> int Count(const CRect& area, Match match)
{
    int n = 0;
    for (uint32_t p : Grab(area)) n += match(p) ? 1 : 0;
    return n;
}

// Dark enough to be a stroke of text on a light ground (its edges drawn
// lighter count too).
inline bool Dark(uint32_t p)
{
    return ((p >> 16) & 255) < 160 && ((p >> 8) & 255) < 160 && (p & 255) < 160;
}

}  // namespace screenpixels

// Hand-made GIF bytes for tests: one-colour frames over a four-colour global
// palette (0 red, 1 green, 2 blue, 3 white), with a looping application
// extension and a comment before the frames.
#pragma once

#include "platform/types.h"

#include <algorithm>
#include <vector>

namespace testgif {

struct GifFrame {
    int left, top, width, height;
    BYTE colour;        // palette index filling the frame
    int delay;          // hundredths of a second; -1: no graphic control extension
    int disposal = 0;
};

// Image data for a frame of one colour: minimum code size 2, each code 3 bits
// wide, a clear code before every pair of pixels so the code table never
// grows past 3-bit codes.
inline std::vector<BYTE> LzwOneColour(int pixels, BYTE colour)
{
    std::vector<int> codes;
    for (int i = 0; i < pixels; i += 2) {
        codes.push_back(4);
        codes.push_back(colour);
        if (i + 1 < pixels) codes.push_back(colour);
    }
    codes.push_back(5);
    std::vector<BYTE> bytes;
    unsigned acc = 0;
    int bits = 0;
    for (int code : codes) {
        acc |= static_cast<unsigned>(code) << bits;
        bits += 3;
        while (bits >= 8) {
            bytes.push_back(static_cast<BYTE>(acc & 0xFF));
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits) bytes.push_back(static_cast<BYTE>(acc));
    return bytes;
}

inline void PutWord(std::vector<BYTE>& out, int v)
{
    out.push_back(static_cast<BYTE>(v & 0xFF));
    out.push_back(static_cast<BYTE>((v >> 8) & 0xFF));
}

// A GIF with a looping application extension and a comment before the
// frames. `frameEnds` receives the offset just past each frame.
inline std::vector<BYTE> MakeGif(int width, int height, const std::vector<GifFrame>& frames,
                          std::vector<size_t>* frameEnds = nullptr)
{
    std::vector<BYTE> g = {'G', 'I', 'F', '8', '9', 'a'};
    PutWord(g, width);
    PutWord(g, height);
    g.insert(g.end(), {0x81, 0x00, 0x00});  // global table of 4 entries
    g.insert(g.end(), {0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF});
    const char* loop = "NETSCAPE2.0";
    g.insert(g.end(), {0x21, 0xFF, 0x0B});
    g.insert(g.end(), loop, loop + 11);
    g.insert(g.end(), {0x03, 0x01, 0x00, 0x00, 0x00});
    g.insert(g.end(), {0x21, 0xFE, 0x03, 'a', 'b', 'c', 0x00});
    for (const GifFrame& f : frames) {
        if (f.delay >= 0) {
            g.insert(g.end(), {0x21, 0xF9, 0x04, static_cast<BYTE>(f.disposal << 2)});
            PutWord(g, f.delay);
            g.insert(g.end(), {0x00, 0x00});
        }
        g.push_back(0x2C);
        PutWord(g, f.left);
        PutWord(g, f.top);
        PutWord(g, f.width);
        PutWord(g, f.height);
        g.push_back(0x00);
        g.push_back(0x02);
        const std::vector<BYTE> data = LzwOneColour(f.width * f.height, f.colour);
        for (size_t i = 0; i < data.size(); i += 255) {
            const size_t n = std::min<size_t>(255, data.size() - i);
            g.push_back(static_cast<BYTE>(n));
            g.insert(g.end(), data.begin() + i, data.begin() + i + n);
        }
        g.push_back(0x00);
        if (frameEnds) frameEnds->push_back(g.size());
    }
    g.push_back(0x3B);
    return g;
}

}  // namespace testgif

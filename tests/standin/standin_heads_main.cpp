// Writes the head images that the stand-in web server serves: one PNG per
// user and per group of the seed data, encoded with the store's own head
// encoder, each in a colour of its own; one user's head is a file that is
// not an image, so that a local run meets a head that does not decode.
//
//   standin_heads SEED.json UPLOAD_DIR BROKEN_USER_ID
//
// writes UPLOAD_DIR/face/<id>.png and UPLOAD_DIR/group/<gid>.png.
#include "Common/stores/FileDB.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

bool WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// A 40 x 40 head: a figure in a lighter tone on a colour taken from the id.
bool WriteHead(const std::filesystem::path& path, int id)
{
    const unsigned h = static_cast<unsigned>(id) * 2654435761u;
    const BYTE r = static_cast<BYTE>(64 + (h >> 8) % 160), g = static_cast<BYTE>(64 + (h >> 16) % 160),
               b = static_cast<BYTE>(64 + (h >> 24) % 160);
    Gdiplus::Bitmap bmp(40, 40, Gdiplus::PixelFormat32bppARGB);
    Gdiplus::Graphics graphics(&bmp);
    graphics.Clear(Gdiplus::Color(255, r, g, b));
    Gdiplus::SolidBrush light(Gdiplus::Color(255, static_cast<BYTE>((r + 255) / 2), static_cast<BYTE>((g + 255) / 2),
                                             static_cast<BYTE>((b + 255) / 2)));
    graphics.FillRectangle(&light, 14, 7, 12, 13);   // head
    graphics.FillRectangle(&light, 8, 24, 24, 16);   // shoulders
    std::string png;
    return filedb::EncodeHead(&bmp, png) && WriteFile(path, png);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s SEED.json UPLOAD_DIR BROKEN_USER_ID\n", argv[0]);
        return 2;
    }
    nlohmann::json seed;
    try {
        std::ifstream in(argv[1]);
        seed = nlohmann::json::parse(in);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bad seed file %s: %s\n", argv[1], e.what());
        return 1;
    }
    const std::filesystem::path face = std::filesystem::path(argv[2]) / "face", group = std::filesystem::path(argv[2]) / "group";
    std::error_code ec;
    std::filesystem::create_directories(face, ec);
    std::filesystem::create_directories(group, ec);
    const int broken = std::atoi(argv[3]);

    bool ok = true;
    for (const auto& u : seed.value("users", nlohmann::json::array())) {
        const int id = u.value("id", 0);
        if (id <= 0) continue;
        const auto path = face / (std::to_string(id) + ".png");
        ok = (id == broken ? WriteFile(path, "this head is not an image\n") : WriteHead(path, id)) && ok;
    }
    for (const auto& g : seed.value("groups", nlohmann::json::array())) {
        const int gid = g.value("gid", 0);
        if (gid > 0) ok = WriteHead(group / (std::to_string(gid) + ".png"), gid) && ok;
    }
    if (!ok) std::fprintf(stderr, "could not write every head below %s\n", argv[2]);
    return ok ? 0 : 1;
}

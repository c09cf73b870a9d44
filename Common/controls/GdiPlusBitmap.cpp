#include "Common/controls/GdiPlusBitmap.h"

#include "platform/stream.h"

#include <cstdlib>
#include <cstring>

void CGdiPlusBitmap::Empty()
{
    delete m_pBitmap;
    m_pBitmap = nullptr;
}

void CGdiPlusBitmapResource::Empty()
{
    CGdiPlusBitmap::Empty();
    std::free(m_hBuffer);
    m_hBuffer = nullptr;
}

bool CGdiPlusBitmapResource::Load(LPCSTR name, LPCSTR type, HINSTANCE module)
{
    Empty();
    HRSRC resource = FindResource(module, name, type);
    if (!resource) return false;
    DWORD size = SizeofResource(module, resource);
    if (size == 0) return false;
    const void* bytes = LockResource(LoadResource(module, resource));
    if (!bytes) return false;

    m_hBuffer = std::malloc(size);
    if (!m_hBuffer) return false;
    std::memcpy(m_hBuffer, bytes, size);

    IStream* stream = nullptr;
    if (SUCCEEDED(CreateStreamOnHGlobal(m_hBuffer, FALSE, &stream)) && stream) {
        // The layer's memory streams start empty: give the stream the block's bytes.
        ULONGLONG start = 0;
        if (SUCCEEDED(stream->Write(m_hBuffer, size, nullptr)) &&
            SUCCEEDED(stream->Seek(0, STREAM_SEEK_SET, &start))) {
            m_pBitmap = Gdiplus::Bitmap::FromStream(stream);
        }
        stream->Release();
        if (m_pBitmap && m_pBitmap->GetLastStatus() == Gdiplus::Ok) return true;
    }
    Empty();
    return false;
}

bool CGdiPlusBitmapResource::Load(UINT id, LPCSTR type, HINSTANCE module)
{
    return Load(MAKEINTRESOURCE(id), type, module);
}

bool CGdiPlusBitmapResource::Load(UINT id, UINT type, HINSTANCE module)
{
    return Load(MAKEINTRESOURCE(id), MAKEINTRESOURCE(type), module);
}

Gdiplus::Bitmap* CopyPngResource(UINT id, HINSTANCE module)
{
    CGdiPlusBitmapResource png(id, "PNG", module);
    if (!png.m_pBitmap) return nullptr;
    auto* copy = new Gdiplus::Bitmap(static_cast<Gdiplus::INT>(png.m_pBitmap->GetWidth()),
                                     static_cast<Gdiplus::INT>(png.m_pBitmap->GetHeight()), Gdiplus::PixelFormat32bppARGB);
    Gdiplus::Graphics g(copy);
    g.DrawImage(png.m_pBitmap, 0, 0);
    return copy;
}

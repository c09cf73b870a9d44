// GDI+ bitmaps held by an object: CGdiPlusBitmap owns one bitmap;
// CGdiPlusBitmapResource loads it from a module's resources and keeps the
// resource's bytes in a memory block of its own for as long as the bitmap
// lives.
#pragma once

#include "platform/gdiplus.h"
#include "platform/resources.h"

class CGdiPlusBitmap {
public:
    CGdiPlusBitmap() = default;
    virtual ~CGdiPlusBitmap() { Empty(); }
    CGdiPlusBitmap(const CGdiPlusBitmap&) = delete;
    CGdiPlusBitmap& operator=(const CGdiPlusBitmap&) = delete;

    void Empty();

    // The bitmap; null while empty.
    Gdiplus::Bitmap* m_pBitmap = nullptr;
};

class CGdiPlusBitmapResource : public CGdiPlusBitmap {
public:
    CGdiPlusBitmapResource() = default;
    // Load at once; the object stays empty when loading fails.
    CGdiPlusBitmapResource(LPCSTR name, LPCSTR type, HINSTANCE module = nullptr) { Load(name, type, module); }
    CGdiPlusBitmapResource(UINT id, LPCSTR type, HINSTANCE module = nullptr) { Load(id, type, module); }
    CGdiPlusBitmapResource(UINT id, UINT type, HINSTANCE module = nullptr) { Load(id, type, module); }
    ~CGdiPlusBitmapResource() override { Empty(); }

    // Loads resource `name` of `type` from `module` (null: the current
    // resource handle). False, and empty, when the resource is missing or
    // empty or its bytes are not an image.
    bool Load(LPCSTR name, LPCSTR type, HINSTANCE module = nullptr);
    // The numbers are resource names (and types) as MAKEINTRESOURCE makes them.
    bool Load(UINT id, LPCSTR type, HINSTANCE module = nullptr);
    bool Load(UINT id, UINT type, HINSTANCE module = nullptr);

    // Deletes the bitmap and frees the block.
    void Empty();

protected:
    // The resource's bytes, copied when loaded.
    HGLOBAL m_hBuffer = nullptr;
};

// A 32-bit ARGB copy of a PNG resource of `module` that the caller owns
// (null when the resource is missing or not an image).
Gdiplus::Bitmap* CopyPngResource(UINT id, HINSTANCE module);

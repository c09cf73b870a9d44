#include "Common/controls/PictureEx.h"

#include "platform/msgdef.h"
#include "platform/windc.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// GIF header ("GIF89a") plus logical screen descriptor.
const long long kGifHeaderSize = 13;
// How long Stop waits for the animation thread before it says so.
const DWORD kStopTimeoutMs = 5000;

}  // namespace

BEGIN_MESSAGE_MAP(CPictureEx, CStatic)
    ON_WM_PAINT()
    ON_WM_DESTROY()
    ON_MESSAGE(CPictureEx::WM_PICTUREEX_FRAME, OnFrameDrawn)
END_MESSAGE_MAP()

CPictureEx::CPictureEx()
{
    InitializeCriticalSection(&m_csAccess);
    m_hExitEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr);
}

CPictureEx::~CPictureEx()
{
    UnLoad();
    CloseHandle(m_hExitEvent);
    m_hExitEvent = nullptr;
    DeleteCriticalSection(&m_csAccess);
}

// ---------------------------------------------------------------- loading

BOOL CPictureEx::Load(HGLOBAL memory, DWORD size)
{
    UnLoad();
    const BYTE* data = static_cast<const BYTE*>(memory);
    if (!data || size == 0) return FALSE;

    if (size < 3 || std::memcmp(data, "GIF", 3) != 0) {
        // Not a GIF: a still picture in whatever format the decoder reads.
        auto* picture = new Gdiplus::Bitmap(data, size);
        if (picture->GetLastStatus() != Gdiplus::Ok) {
            delete picture;
            return FALSE;
        }
        m_pPicture = picture;
        m_PictureSize.cx = static_cast<LONG>(picture->GetWidth());
        m_PictureSize.cy = static_cast<LONG>(picture->GetHeight());
        if (PrepareDC(m_PictureSize.cx, m_PictureSize.cy)) return TRUE;
        UnLoad();
        return FALSE;
    }

    // A GIF too short for its own screen descriptor is no picture.
    if (size < kGifHeaderSize) return FALSE;

    m_bIsGIF = TRUE;
    m_pRawData = data;
    m_nDataSize = size;
    m_PictureSize.cx = static_cast<LONG>(ReadWord(6));
    m_PictureSize.cy = static_cast<LONG>(ReadWord(8));
    // The composed picture of an animation is as large as the screen the
    // header claims; one the decoder would not take is no picture either.
    if (!PictureSizeAllowed(m_PictureSize.cx, m_PictureSize.cy)) {
        UnLoad();
        return FALSE;
    }
    const BYTE packed = data[10];
    if (packed & 0x80) {
        m_nGlobalCTSize = 3LL * (1LL << ((packed & 7) + 1));
        const long long entry = kGifHeaderSize + 3LL * data[11];
        if (entry + 2 < m_nDataSize) m_clrBackground = RGB(data[entry], data[entry + 1], data[entry + 2]);
    }
    m_nDataStart = kGifHeaderSize + m_nGlobalCTSize;

    // Count the frames.
    int frames = 0;
    m_nCurrOffset = m_nDataStart;
    while (SkipNextGraphicBlock()) ++frames;

    if (frames == 0) {
        UnLoad();
        return FALSE;
    }

    if (frames == 1) {
        // One frame: the whole GIF is a still picture.
        auto* picture = new Gdiplus::Bitmap(data, size);
        if (picture->GetLastStatus() != Gdiplus::Ok) {
            delete picture;
            UnLoad();
            return FALSE;
        }
        m_pPicture = picture;
        m_PictureSize.cx = static_cast<LONG>(picture->GetWidth());
        m_PictureSize.cy = static_cast<LONG>(picture->GetHeight());
    } else {
        // Several frames: each one becomes a small GIF of its own.
        m_nCurrOffset = m_nDataStart;
        for (int i = 0; i < frames; ++i) {
            TFrame frame;
            const std::vector<BYTE> gif =
                GetNextGraphicBlock(&frame.m_nDelay, &frame.m_frameSize, &frame.m_frameOffset, &frame.m_nDisposal);
            if (gif.empty()) break;
            auto* picture = new Gdiplus::Bitmap(gif.data(), gif.size());
            if (picture->GetLastStatus() != Gdiplus::Ok) {
                delete picture;  // a frame that cannot be decoded is dropped
                continue;
            }
            frame.m_pPicture = picture;
            m_arrFrames.push_back(frame);
        }
        if (m_arrFrames.size() == 1) {
            // Only one frame survived: show it as a still picture.
            m_pPicture = m_arrFrames.front().m_pPicture;
            m_arrFrames.clear();
        }
    }
    ResetDataPointers();

    if ((m_pPicture || !m_arrFrames.empty()) && PrepareDC(m_PictureSize.cx, m_PictureSize.cy)) return TRUE;
    UnLoad();
    return FALSE;
}

BOOL CPictureEx::Load(LPCTSTR path)
{
    if (!path) return FALSE;
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return FALSE;
    std::vector<BYTE> bytes;
    BYTE chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed || bytes.empty() || bytes.size() > 0xFFFFFFFFu) return FALSE;
    return Load(static_cast<HGLOBAL>(bytes.data()), static_cast<DWORD>(bytes.size()));
}

BOOL CPictureEx::Load(LPCTSTR name, LPCTSTR type)
{
    HINSTANCE module = AfxGetResourceHandle();
    HRSRC resource = FindResource(module, name, type);
    if (!resource) return FALSE;
    const DWORD size = SizeofResource(module, resource);
    HGLOBAL loaded = LoadResource(module, resource);
    void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || size == 0) return FALSE;
    return Load(static_cast<HGLOBAL>(bytes), size);
}

void CPictureEx::UnLoad()
{
    Stop();

    delete m_pPicture;
    m_pPicture = nullptr;
    for (TFrame& frame : m_arrFrames) delete frame.m_pPicture;
    m_arrFrames.clear();

    EnterCriticalSection(&m_csAccess);
    if (m_pDispDC) {
        m_pDispDC->SelectObject(m_pDispOldBitmap);
        delete m_pDispDC;
        delete m_pDispBitmap;
        m_pDispDC = nullptr;
        m_pDispBitmap = nullptr;
        m_pDispOldBitmap = nullptr;
    }
    if (m_dcMem.GetSafeHdc()) {
        if (m_pOldBitmap) m_dcMem.SelectObject(m_pOldBitmap);
        m_dcMem.DeleteDC();
    }
    m_bmpMem.DeleteObject();
    m_pOldBitmap = nullptr;
    m_bIsInitialized = FALSE;
    LeaveCriticalSection(&m_csAccess);

    m_PaintRect = {0, 0, 0, 0};
    m_PictureSize = {0, 0};
    m_bIsGIF = FALSE;
    m_bExitThread = false;
    m_bIsPlaying = false;
    m_nGlobalCTSize = 0;
    m_nCurrOffset = 0;
    m_nDataStart = 0;
    m_nCurrFrame = 0;
    m_nDataSize = 0;
    m_clrBackground = RGB(255, 255, 255);
    ResetDataPointers();
}

void CPictureEx::ResetDataPointers()
{
    m_pRawData = nullptr;
    m_nDataSize = 0;
    m_nCurrOffset = 0;
}

BOOL CPictureEx::PrepareDC(int width, int height)
{
    if (m_hWnd) SetWindowPos(nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
    if (width <= 0 || height <= 0) return FALSE;

    EnterCriticalSection(&m_csAccess);
    BOOL ok = m_dcMem.CreateCompatibleDC(nullptr);
    if (ok && !m_bmpMem.CreateCompatibleBitmap(&m_dcMem, width, height)) {
        m_dcMem.DeleteDC();
        ok = FALSE;
    }
    if (ok) {
        m_pOldBitmap = m_dcMem.SelectObject(&m_bmpMem);
        m_clrBackground = GetSysColor(COLOR_BTNFACE);
        m_dcMem.FillSolidRect(0, 0, width, height, GetSysColor(COLOR_MENU));
        m_bIsInitialized = TRUE;
    }
    LeaveCriticalSection(&m_csAccess);
    return ok;
}

// ---------------------------------------------------------------- the GIF parser

UINT CPictureEx::ReadWord(long long offset) const
{
    if (!m_pRawData || offset < 0 || offset + 1 >= m_nDataSize) return 0;
    return static_cast<UINT>(m_pRawData[offset]) | (static_cast<UINT>(m_pRawData[offset + 1]) << 8);
}

CPictureEx::GIFBlockTypes CPictureEx::GetNextBlock() const
{
    if (!m_pRawData || m_nCurrOffset < 0 || m_nCurrOffset >= m_nDataSize) return BLOCK_UNKNOWN;
    switch (m_pRawData[m_nCurrOffset]) {
    case 0x21:
        if (m_nCurrOffset + 1 >= m_nDataSize) return BLOCK_UNKNOWN;
        switch (m_pRawData[m_nCurrOffset + 1]) {
        case 0xFF: return BLOCK_APPEXT;
        case 0xFE: return BLOCK_COMMEXT;
        case 0xF9: return BLOCK_CONTROLEXT;
        case 0x01: return BLOCK_PLAINTEXT;
        default: return BLOCK_UNKNOWN;
        }
    case 0x2C: return BLOCK_IMAGE;
    case 0x3B: return BLOCK_TRAILER;
    default: return BLOCK_UNKNOWN;
    }
}

long long CPictureEx::GetSubBlocksLen(long long offset) const
{
    long long len = 0;
    for (;;) {
        if (offset + len < 0 || offset + len >= m_nDataSize) return -1;
        const BYTE count = m_pRawData[offset + len];
        len += count + 1;
        if (count == 0) return len;
    }
}

long long CPictureEx::GetNextBlockLen() const
{
    const long long at = m_nCurrOffset;
    long long len;
    switch (GetNextBlock()) {
    case BLOCK_APPEXT: len = GetSubBlocksLen(at + 14); return len < 0 ? 0 : 14 + len;
    case BLOCK_COMMEXT: len = GetSubBlocksLen(at + 2); return len < 0 ? 0 : 2 + len;
    case BLOCK_CONTROLEXT: return 8;
    case BLOCK_PLAINTEXT: len = GetSubBlocksLen(at + 15); return len < 0 ? 0 : 15 + len;
    case BLOCK_IMAGE: {
        // The packed byte of the descriptor tells whether a local table follows.
        if (at + 9 >= m_nDataSize) return 0;
        const BYTE packed = m_pRawData[at + 9];
        const long long localCT = (packed & 0x80) ? 3LL * (1LL << ((packed & 7) + 1)) : 0;
        len = GetSubBlocksLen(at + 11 + localCT);
        return len < 0 ? 0 : 11 + localCT + len;
    }
    case BLOCK_TRAILER: return 1;
    default: return 0;
    }
}

BOOL CPictureEx::SkipNextBlock()
{
    if (!m_pRawData) return FALSE;
    const long long len = GetNextBlockLen();
    if (len <= 0 || m_nCurrOffset + len > m_nDataSize) return FALSE;
    m_nCurrOffset += len;
    return TRUE;
}

BOOL CPictureEx::SkipNextGraphicBlock()
{
    if (!m_pRawData) return FALSE;

    GIFBlockTypes block = GetNextBlock();
    while (block == BLOCK_APPEXT || block == BLOCK_COMMEXT) {
        if (!SkipNextBlock()) return FALSE;
        block = GetNextBlock();
    }
    if (block != BLOCK_CONTROLEXT && block != BLOCK_IMAGE) return FALSE;

    if (block == BLOCK_CONTROLEXT) {
        if (!SkipNextBlock()) return FALSE;
        block = GetNextBlock();
        while (block != BLOCK_IMAGE) {
            if (block == BLOCK_PLAINTEXT || block == BLOCK_UNKNOWN || block == BLOCK_TRAILER) return FALSE;
            if (!SkipNextBlock()) return FALSE;
            block = GetNextBlock();
        }
    }
    return SkipNextBlock();
}

std::vector<BYTE> CPictureEx::GetNextGraphicBlock(UINT* delay, SIZE* frameSize, SIZE* frameOffset, UINT* disposal)
{
    std::vector<BYTE> gif;
    if (!m_pRawData) return gif;

    *disposal = 0;
    *delay = 0xFFFFFFFFu;

    GIFBlockTypes block = GetNextBlock();
    while (block == BLOCK_APPEXT || block == BLOCK_COMMEXT) {
        if (!SkipNextBlock()) return gif;
        block = GetNextBlock();
    }
    if (block != BLOCK_CONTROLEXT && block != BLOCK_IMAGE) return gif;

    const long long start = m_nCurrOffset;
    if (block == BLOCK_CONTROLEXT) {
        if (m_nCurrOffset + 8 > m_nDataSize) return gif;
        *disposal = (m_pRawData[m_nCurrOffset + 3] >> 2) & 7;
        *delay = ReadWord(m_nCurrOffset + 4);
        if (!SkipNextBlock()) return gif;
        block = GetNextBlock();
        while (block != BLOCK_IMAGE) {
            if (block == BLOCK_PLAINTEXT || block == BLOCK_UNKNOWN || block == BLOCK_TRAILER) return gif;
            if (!SkipNextBlock()) return gif;
            block = GetNextBlock();
        }
    }

    // The image descriptor: left, top, width, height.
    const long long image = m_nCurrOffset;
    if (!SkipNextBlock()) return gif;
    frameOffset->cx = static_cast<LONG>(ReadWord(image + 1));
    frameOffset->cy = static_cast<LONG>(ReadWord(image + 3));
    frameSize->cx = static_cast<LONG>(ReadWord(image + 5));
    frameSize->cy = static_cast<LONG>(ReadWord(image + 7));

    const long long blockLen = m_nCurrOffset - start;
    const long long prefix = kGifHeaderSize + m_nGlobalCTSize;
    if (prefix > m_nDataSize) return gif;
    gif.reserve(static_cast<size_t>(prefix + blockLen + 1));
    gif.insert(gif.end(), m_pRawData, m_pRawData + prefix);
    gif.insert(gif.end(), m_pRawData + start, m_pRawData + m_nCurrOffset);
    gif.push_back(0x3B);
    // The small GIF's screen is the frame itself, with the frame at its
    // origin: the decoder then gives exactly the frame's pixels, and the
    // animation places them at the frame's offset.
    const size_t imageAt = static_cast<size_t>(prefix + (image - start));
    gif[6] = m_pRawData[image + 5];
    gif[7] = m_pRawData[image + 6];
    gif[8] = m_pRawData[image + 7];
    gif[9] = m_pRawData[image + 8];
    std::fill(gif.begin() + imageAt + 1, gif.begin() + imageAt + 5, 0);
    return gif;
}

// ---------------------------------------------------------------- drawing

BOOL CPictureEx::Draw()
{
    if (!m_bIsInitialized) return FALSE;

    if (IsAnimatedGIF()) {
        if (m_pThread) return FALSE;  // already playing
        m_hWndTarget = m_hWnd;
        // The thread waits for this event before it begins, so that it is
        // set up (kept after it ends, for Stop to wait on) first.
        m_hThreadGo = CreateEvent(nullptr, TRUE, FALSE, nullptr);
        m_pThread = AfxBeginThread(ThreadAnimationProc, this);
        if (!m_pThread) {
            CloseHandle(m_hThreadGo);
            m_hThreadGo = nullptr;
            return FALSE;
        }
        m_pThread->m_bAutoDelete = FALSE;
        SetEvent(m_hThreadGo);
        return FALSE;
    }

    if (!m_pPicture) return FALSE;
    EnterCriticalSection(&m_csAccess);
    Gdiplus::Status status;
    {
        Gdiplus::Graphics graphics(m_dcMem.GetSafeHdc());
        status = graphics.DrawImage(m_pPicture, Gdiplus::Rect(0, 0, m_PictureSize.cx, m_PictureSize.cy));
    }
    LeaveCriticalSection(&m_csAccess);
    if (status != Gdiplus::Ok) return FALSE;
    Invalidate(FALSE);
    return TRUE;
}

void CPictureEx::Stop()
{
    m_bIsPlaying = false;
    m_bExitThread = true;
    SetEvent(m_hExitEvent);
    if (m_pThread) {
        // The thread only ever waits on the stop event, so it ends promptly;
        // the frames it draws are freed only after it has.
        HANDLE thread = m_pThread->m_hThread;
        if (WaitForSingleObject(thread, kStopTimeoutMs) == WAIT_TIMEOUT) WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        delete m_pThread;
        m_pThread = nullptr;
        CloseHandle(m_hThreadGo);
        m_hThreadGo = nullptr;
    }
    ResetEvent(m_hExitEvent);
    m_bExitThread = false;
}

UINT CPictureEx::ThreadAnimationProc(LPVOID param)
{
    auto* self = static_cast<CPictureEx*>(param);
    WaitForSingleObject(self->m_hThreadGo, INFINITE);
    self->ThreadAnimation();
    return 0;
}

void CPictureEx::ThreadAnimation()
{
    m_bIsPlaying = true;
    if (m_nCurrFrame >= m_arrFrames.size()) m_nCurrFrame = 0;

    EnterCriticalSection(&m_csAccess);
    DisposeFrame(m_arrFrames[m_nCurrFrame]);
    LeaveCriticalSection(&m_csAccess);

    while (!m_bExitThread) {
        const TFrame& frame = m_arrFrames[m_nCurrFrame];
        const LONG left = frame.m_frameOffset.cx, top = frame.m_frameOffset.cy;
        const LONG width = frame.m_frameSize.cx, height = frame.m_frameSize.cy;

        EnterCriticalSection(&m_csAccess);
        if (frame.m_nDisposal == 3) {
            // Keep what lies under the frame (within the picture) for later.
            if (m_pDispDC) {
                m_pDispDC->SelectObject(m_pDispOldBitmap);
                delete m_pDispDC;
                delete m_pDispBitmap;
            }
            const LONG saveWidth = std::max<LONG>(0, std::min<LONG>(width, m_PictureSize.cx - left));
            const LONG saveHeight = std::max<LONG>(0, std::min<LONG>(height, m_PictureSize.cy - top));
            m_pDispDC = new CDC;
            m_pDispBitmap = new CBitmap;
            m_pDispOldBitmap = nullptr;
            if (m_pDispDC->CreateCompatibleDC(&m_dcMem) &&
                m_pDispBitmap->CreateCompatibleBitmap(&m_dcMem, saveWidth, saveHeight)) {
                m_pDispOldBitmap = m_pDispDC->SelectObject(m_pDispBitmap);
                m_pDispDC->BitBlt(0, 0, saveWidth, saveHeight, &m_dcMem, left, top, SRCCOPY);
            } else {
                delete m_pDispDC;
                delete m_pDispBitmap;
                m_pDispDC = nullptr;
                m_pDispBitmap = nullptr;
            }
        }
        {
            Gdiplus::Graphics graphics(m_dcMem.GetSafeHdc());
            graphics.DrawImage(frame.m_pPicture, Gdiplus::Rect(left, top, width, height));
        }
        LeaveCriticalSection(&m_csAccess);
        ::PostMessage(m_hWndTarget, WM_PICTUREEX_FRAME, 0, 0);

        if (WaitForSingleObject(m_hExitEvent, FrameWait(frame.m_nDelay)) != WAIT_TIMEOUT || m_bExitThread) break;

        EnterCriticalSection(&m_csAccess);
        DisposeFrame(frame);
        if (++m_nCurrFrame >= m_arrFrames.size()) {
            m_nCurrFrame = 0;
            m_dcMem.FillSolidRect(0, 0, m_PictureSize.cx, m_PictureSize.cy, m_clrBackground);
        }
        LeaveCriticalSection(&m_csAccess);
    }
    m_bIsPlaying = false;
}

void CPictureEx::DisposeFrame(const TFrame& frame)
{
    const LONG left = frame.m_frameOffset.cx, top = frame.m_frameOffset.cy;
    switch (frame.m_nDisposal) {
    case 2: m_dcMem.FillSolidRect(left, top, frame.m_frameSize.cx, frame.m_frameSize.cy, m_clrBackground); break;
    case 3:
        if (m_pDispDC) {
            BITMAP saved;
            if (m_pDispBitmap->GetBitmap(&saved))
                m_dcMem.BitBlt(left, top, saved.bmWidth, saved.bmHeight, m_pDispDC, 0, 0, SRCCOPY);
            m_pDispDC->SelectObject(m_pDispOldBitmap);
            delete m_pDispDC;
            delete m_pDispBitmap;
            m_pDispDC = nullptr;
            m_pDispBitmap = nullptr;
            m_pDispOldBitmap = nullptr;
        }
        break;
    default: break;
    }
}

void CPictureEx::SetBkColor(COLORREF color)
{
    if (!m_bIsInitialized) return;
    EnterCriticalSection(&m_csAccess);
    m_clrBackground = color;
    m_dcMem.FillSolidRect(0, 0, m_PictureSize.cx, m_PictureSize.cy, color);
    LeaveCriticalSection(&m_csAccess);
}

void CPictureEx::SetPaintRect(const RECT* rect)
{
    if (rect) m_PaintRect = *rect;
}

void CPictureEx::GetPaintRect(RECT* rect) const
{
    if (rect) *rect = m_PaintRect;
}

// ---------------------------------------------------------------- messages

void CPictureEx::OnPaint()
{
    CPaintDC dc(this);
    EnterCriticalSection(&m_csAccess);
    if (m_bIsInitialized) {
        const LONG paintWidth = m_PaintRect.right - m_PaintRect.left;
        const LONG paintHeight = m_PaintRect.bottom - m_PaintRect.top;
        if (paintWidth > 0 && paintHeight > 0)
            dc.BitBlt(0, 0, paintWidth, paintHeight, &m_dcMem, m_PaintRect.left, m_PaintRect.top, SRCCOPY);
        else
            dc.BitBlt(0, 0, m_PictureSize.cx, m_PictureSize.cy, &m_dcMem, 0, 0, SRCCOPY);
    }
    LeaveCriticalSection(&m_csAccess);
}

LRESULT CPictureEx::OnFrameDrawn(WPARAM, LPARAM)
{
    Invalidate(FALSE);
    return 0;
}

void CPictureEx::OnDestroy()
{
    Stop();
    CStatic::OnDestroy();
}

// A static control that shows a picture: a still image (BMP, JPEG, PNG, icon,
// a one-frame GIF, whatever the image decoder reads) or an animated GIF whose
// frames it plays on a thread of its own.
//
// An animated GIF is split by the control's own block parser into one small
// standalone GIF per frame, each decoded on its own. The composed picture
// lives in a memory device context; the animation thread draws into it and
// asks the control (by a posted message) to repaint, and the paint handler
// copies it to the window. A critical section keeps the two apart.
#pragma once

#include "platform/controls.h"
#include "platform/gdi.h"
#include "platform/gdiplus.h"
#include "platform/resources.h"
#include "platform/threads.h"
#include "platform/window.h"

#include <atomic>
#include <vector>

class CPictureEx : public CStatic {
public:
    CPictureEx();
    ~CPictureEx() override;

    // Loads a picture from `size` bytes at `memory`; the caller keeps and
    // frees the bytes. TRUE when a picture was loaded and the control is
    // ready to draw it.
    BOOL Load(HGLOBAL memory, DWORD size);
    // The whole file at `path`.
    BOOL Load(LPCTSTR path);
    // Resource `name` of `type` from the current resource handle.
    BOOL Load(LPCTSTR name, LPCTSTR type);

    // Stops the animation and forgets the picture.
    void UnLoad();
    // A still picture is rendered at once (TRUE); an animated GIF starts
    // playing on its thread (FALSE). FALSE before a successful load.
    BOOL Draw();
    // Stops the animation thread and waits for it.
    void Stop();

    SIZE GetSize() const { return m_PictureSize; }
    BOOL IsGIF() const { return m_bIsGIF; }
    BOOL IsAnimatedGIF() const { return m_bIsGIF && m_arrFrames.size() > 1; }
    BOOL IsPlaying() const { return m_bIsPlaying; }
    // The number of frames of an animated GIF (0 for anything else).
    int GetFrameCount() const { return IsAnimatedGIF() ? static_cast<int>(m_arrFrames.size()) : 0; }
    COLORREF GetBkColor() const { return m_clrBackground; }
    // Only once a picture is loaded: keeps the colour and fills the whole
    // composed picture with it.
    void SetBkColor(COLORREF color);
    // The part of the picture the control shows (an empty rectangle: all).
    void SetPaintRect(const RECT* rect);
    void GetPaintRect(RECT* rect) const;

    // How long a frame stays up, in milliseconds, for a delay in hundredths
    // of a second: delays of 4 or less show for 100 ms. Unsigned arithmetic,
    // so a frame without a delay of its own (0xFFFFFFFF) waits practically
    // until the animation is stopped.
    static DWORD FrameWait(UINT delay) { return delay > 4 ? delay * 10u : 100u; }

    // Posted by the animation thread after it drew a frame.
    static const UINT WM_PICTUREEX_FRAME = WM_APP + 0x2F1;

protected:
    void OnPaint() override;
    void OnDestroy() override;
    LRESULT OnFrameDrawn(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    enum GIFBlockTypes {
        BLOCK_UNKNOWN,
        BLOCK_APPEXT,
        BLOCK_COMMEXT,
        BLOCK_CONTROLEXT,
        BLOCK_PLAINTEXT,
        BLOCK_IMAGE,
        BLOCK_TRAILER
    };

    struct TFrame {
        Gdiplus::Bitmap* m_pPicture = nullptr;
        SIZE m_frameSize = {0, 0};
        SIZE m_frameOffset = {0, 0};
        UINT m_nDelay = 0;     // hundredths of a second
        UINT m_nDisposal = 0;  // 0 to 7
    };

    // The GIF parser, over m_pRawData / m_nDataSize from m_nCurrOffset.
    GIFBlockTypes GetNextBlock() const;
    // Length of the block at the current offset; 0 or less when it cannot be
    // measured within the data.
    long long GetNextBlockLen() const;
    // Length of the data sub-blocks from `offset`, their zero terminator
    // included; -1 when they run past the end of the data.
    long long GetSubBlocksLen(long long offset) const;
    BOOL SkipNextBlock();
    BOOL SkipNextGraphicBlock();
    // The next frame as a standalone GIF (header, screen descriptor, global
    // colour table, the frame's blocks, trailer); empty when there is none.
    std::vector<BYTE> GetNextGraphicBlock(UINT* delay, SIZE* frameSize, SIZE* frameOffset, UINT* disposal);
    UINT ReadWord(long long offset) const;

    BOOL PrepareDC(int width, int height);
    void ResetDataPointers();
    static UINT ThreadAnimationProc(LPVOID param);
    void ThreadAnimation();
    // Frame disposal on the composed picture; the caller holds m_csAccess.
    void DisposeFrame(const TFrame& frame);

    SIZE m_PictureSize = {0, 0};

    BOOL m_bIsGIF = FALSE;
    long long m_nGlobalCTSize = 0;
    long long m_nCurrOffset = 0;
    long long m_nDataStart = 0;
    size_t m_nCurrFrame = 0;
    long long m_nDataSize = 0;

    CDC m_dcMem;
    CBitmap m_bmpMem;
    CBitmap* m_pOldBitmap = nullptr;
    CDC* m_pDispDC = nullptr;  // the area under a frame of disposal 3
    CBitmap* m_pDispBitmap = nullptr;
    CBitmap* m_pDispOldBitmap = nullptr;

    BOOL m_bIsInitialized = FALSE;
    std::atomic<bool> m_bExitThread{false};
    std::atomic<bool> m_bIsPlaying{false};

    COLORREF m_clrBackground = RGB(255, 255, 255);

    CWinThread* m_pThread = nullptr;  // the animation thread, joined by Stop
    HANDLE m_hThreadGo = nullptr;     // lets a new animation thread begin
    HWND m_hWndTarget = nullptr;      // where the animation thread posts
    HANDLE m_hExitEvent = nullptr;

    Gdiplus::Bitmap* m_pPicture = nullptr;  // the still picture

    // The bytes being loaded; valid only during Load (the caller owns them).
    const BYTE* m_pRawData = nullptr;

    RECT m_PaintRect = {0, 0, 0, 0};

    std::vector<TFrame> m_arrFrames;

    CRITICAL_SECTION m_csAccess;
};

// A minimal COM-style byte stream in memory, as image encoders and decoders
// read and write it.
#pragma once

#include "platform/types.h"

#include <string>

typedef int32_t HRESULT;
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_FAIL ((HRESULT)0x80004005)
#define E_ABORT ((HRESULT)0x80004004)
#define E_INVALIDARG ((HRESULT)0x80070057)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

enum { STREAM_SEEK_SET = 0, STREAM_SEEK_CUR = 1, STREAM_SEEK_END = 2 };

class IStream {
public:
    virtual HRESULT Read(void* buffer, ULONG size, ULONG* read) = 0;
    virtual HRESULT Write(const void* buffer, ULONG size, ULONG* written) = 0;
    virtual HRESULT Seek(LONGLONG move, DWORD origin, ULONGLONG* newPosition) = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IStream() = default;
};

// A growable stream in memory (the memory block argument is not used: the
// stream always starts empty and owns its bytes).
HRESULT CreateStreamOnHGlobal(void* memory, BOOL deleteOnRelease, IStream** stream);

#include "platform/stream.h"

#include <cstring>

namespace {

class MemoryStream : public IStream {
public:
    HRESULT Read(void* buffer, ULONG size, ULONG* read) override
    {
        size_t left = pos_ < data_.size() ? data_.size() - pos_ : 0;
        size_t n = size < left ? size : left;
        if (n) std::memcpy(buffer, data_.data() + pos_, n);
        pos_ += n;
        if (read) *read = static_cast<ULONG>(n);
        return n == size ? S_OK : S_FALSE;
    }
    HRESULT Write(const void* buffer, ULONG size, ULONG* written) override
    {
        if (!buffer && size) return E_INVALIDARG;
        if (pos_ + size > data_.size()) data_.resize(pos_ + size);
        if (size) std::memcpy(&data_[pos_], buffer, size);
        pos_ += size;
        if (written) *written = size;
        return S_OK;
    }
    HRESULT Seek(LONGLONG move, DWORD origin, ULONGLONG* newPosition) override
    {
        LONGLONG base = origin == STREAM_SEEK_SET ? 0
                        : origin == STREAM_SEEK_CUR ? static_cast<LONGLONG>(pos_)
                        : origin == STREAM_SEEK_END ? static_cast<LONGLONG>(data_.size())
                                                    : -1;
        if (base < 0 || base + move < 0) return E_INVALIDARG;
        pos_ = static_cast<size_t>(base + move);
        if (newPosition) *newPosition = pos_;
        return S_OK;
    }
    ULONG Release() override
    {
        delete this;
        return 0;
    }

private:
    std::string data_;
    size_t pos_ = 0;
};

}  // namespace

HRESULT CreateStreamOnHGlobal(void*, BOOL, IStream** stream)
{
    if (!stream) return E_INVALIDARG;
    *stream = new MemoryStream;
    return S_OK;
}

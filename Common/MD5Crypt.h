// MD5 message digest (RFC 1321), with the digest rendered as lower-case hex.
#pragma once

#include "platform/CString.h"

#include <cstdint>

class CMD5Crypt {
public:
    CMD5Crypt();
    virtual ~CMD5Crypt();
    // The context is owned: a digest in progress is not copied.
    CMD5Crypt(const CMD5Crypt&) = delete;
    CMD5Crypt& operator=(const CMD5Crypt&) = delete;

    // Starts a new digest.
    void Init();
    // Feeds `length` bytes.
    void Update(const unsigned char* data, unsigned int length);
    // Pads, appends the bit count, writes the 16 digest bytes and clears the
    // context (Init must be called before the next digest).
    void Final(unsigned char digest[16]);

    // Appends the 32 hex digits of the digest of `length` bytes of `data` to
    // `out`. A negative length or null data digests nothing.
    void GetMd5String(CString& out, const char* data, int length);
    // The same over the bytes of `text` (no terminating zero).
    void GetMd5String(CString& out, CString text);

private:
    struct Context {
        uint32_t state[4];
        uint32_t count[2];  // number of bits fed, low word first
        unsigned char buffer[64];
    };

    static void Encode(unsigned char* out, const uint32_t* in, unsigned int length);
    static void Decode(uint32_t* out, const unsigned char* in, unsigned int length);
    static void MD5Transform(uint32_t state[4], const unsigned char block[64]);

    Context* m_pContext;
};

#include "Common/MD5Crypt.h"

#include <cstring>

namespace {

// Per-step additive constants: the integer part of 2^32 * |sin(i + 1)|.
const uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Left-rotation amounts, four per round.
const unsigned kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// The padding: one bit, then zeros.
const unsigned char kPadding[64] = {0x80};

inline uint32_t rotateLeft(uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

}  // namespace

CMD5Crypt::CMD5Crypt() : m_pContext(new Context)
{
    Init();
}

CMD5Crypt::~CMD5Crypt()
{
    delete m_pContext;
}

void CMD5Crypt::Init()
{
    m_pContext->count[0] = m_pContext->count[1] = 0;
    m_pContext->state[0] = 0x67452301;
    m_pContext->state[1] = 0xefcdab89;
    m_pContext->state[2] = 0x98badcfe;
    m_pContext->state[3] = 0x10325476;
    std::memset(m_pContext->buffer, 0, sizeof m_pContext->buffer);
}

void CMD5Crypt::Update(const unsigned char* data, unsigned int length)
{
    if (!data || length == 0) return;
    Context& c = *m_pContext;
    unsigned int index = (c.count[0] >> 3) & 0x3F;

    // The bit count is 64 bits wide, kept in two words.
    const uint32_t bits = static_cast<uint32_t>(length) << 3;
    c.count[0] += bits;
    if (c.count[0] < bits) ++c.count[1];
    c.count[1] += static_cast<uint32_t>(length) >> 29;

    const unsigned int partLength = 64 - index;
    unsigned int i = 0;
    if (length >= partLength) {
        std::memcpy(&c.buffer[index], data, partLength);
        MD5Transform(c.state, c.buffer);
        for (i = partLength; i + 63 < length; i += 64) MD5Transform(c.state, &data[i]);
        index = 0;
    }
    std::memcpy(&c.buffer[index], &data[i], length - i);
}

void CMD5Crypt::Final(unsigned char digest[16])
{
    Context& c = *m_pContext;
    unsigned char bits[8];
    Encode(bits, c.count, 8);

    // Pad to 56 bytes modulo 64, then append the length in bits.
    const unsigned int index = (c.count[0] >> 3) & 0x3F;
    const unsigned int padLength = index < 56 ? 56 - index : 120 - index;
    Update(kPadding, padLength);
    Update(bits, 8);

    Encode(digest, c.state, 16);
    // Leave nothing of the input behind.
    std::memset(&c, 0, sizeof c);
}

void CMD5Crypt::GetMd5String(CString& out, const char* data, int length)
{
    Init();
    if (data && length > 0) Update(reinterpret_cast<const unsigned char*>(data), static_cast<unsigned int>(length));
    unsigned char digest[16];
    Final(digest);
    for (unsigned char byte : digest) out.AppendFormat("%02x", byte);
}

void CMD5Crypt::GetMd5String(CString& out, CString text)
{
    GetMd5String(out, text.GetString(), text.GetLength());
}

void CMD5Crypt::Encode(unsigned char* out, const uint32_t* in, unsigned int length)
{
    for (unsigned int i = 0, j = 0; j < length; ++i, j += 4) {
        out[j] = static_cast<unsigned char>(in[i] & 0xFF);
        out[j + 1] = static_cast<unsigned char>((in[i] >> 8) & 0xFF);
        out[j + 2] = static_cast<unsigned char>((in[i] >> 16) & 0xFF);
        out[j + 3] = static_cast<unsigned char>((in[i] >> 24) & 0xFF);
    }
}

void CMD5Crypt::Decode(uint32_t* out, const unsigned char* in, unsigned int length)
{
    for (unsigned int i = 0, j = 0; j < length; ++i, j += 4) {
        out[i] = static_cast<uint32_t>(in[j]) | (static_cast<uint32_t>(in[j + 1]) << 8) |
                 (static_cast<uint32_t>(in[j + 2]) << 16) | (static_cast<uint32_t>(in[j + 3]) << 24);
    }
}

void CMD5Crypt::MD5Transform(uint32_t state[4], const unsigned char block[64])
{
    uint32_t x[16];
    Decode(x, block, 64);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

    for (unsigned int i = 0; i < 64; ++i) {
        const unsigned int round = i / 16;
        uint32_t f;
        unsigned int k;
        switch (round) {
        case 0:  // F: b selects c or d
            f = (b & c) | (~b & d);
            k = i;
            break;
        case 1:  // G: d selects b or c
            f = (b & d) | (c & ~d);
            k = (1 + 5 * i) % 16;
            break;
        case 2:  // H: parity
            f = b ^ c ^ d;
            k = (5 + 3 * i) % 16;
            break;
        default:  // I
            f = c ^ (b | ~d);
            k = (7 * i) % 16;
            break;
        }
        const uint32_t sum = a + f + kSine[i] + x[k];
        a = d;
        d = c;
        c = b;
        b = b + rotateLeft(sum, kShift[round][i % 4]);
    }

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

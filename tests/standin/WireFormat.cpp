#include "tests/standin/WireFormat.h"

#include <cctype>
#include <cstring>

namespace standin {

namespace {

constexpr int kMaxDepth = 64;

class Reader {
public:
    explicit Reader(const std::string& bytes) : p_(bytes.data()), n_(bytes.size()) {}

    size_t Remaining() const { return n_ - pos_; }

    void Need(size_t k)
    {
        if (Remaining() < k) throw WireError("message ends early");
    }
    uint8_t U8()
    {
        Need(1);
        return static_cast<uint8_t>(p_[pos_++]);
    }
    int16_t I16()
    {
        Need(2);
        uint16_t v = static_cast<uint16_t>((U(0) << 8) | U(1));
        pos_ += 2;
        return static_cast<int16_t>(v);
    }
    int32_t I32()
    {
        Need(4);
        uint32_t v = (U(0) << 24) | (U(1) << 16) | (U(2) << 8) | U(3);
        pos_ += 4;
        return static_cast<int32_t>(v);
    }
    int64_t I64()
    {
        Need(8);
        uint64_t v = 0;
        for (int k = 0; k < 8; ++k) v = (v << 8) | U(k);
        pos_ += 8;
        return static_cast<int64_t>(v);
    }
    std::string Bytes(int32_t len)
    {
        if (len < 0) throw WireError("negative length");
        Need(static_cast<size_t>(len));
        std::string s(p_ + pos_, static_cast<size_t>(len));
        pos_ += static_cast<size_t>(len);
        return s;
    }

private:
    uint32_t U(size_t k) const { return static_cast<uint8_t>(p_[pos_ + k]); }

    const char* p_;
    size_t n_;
    size_t pos_ = 0;
};

Value ReadValue(Reader& r, uint8_t type, int depth);

// Every element takes at least one byte, so a count above the remaining bytes
// is a lie and is refused before anything is allocated.
int32_t ReadCount(Reader& r)
{
    int32_t n = r.I32();
    if (n < 0 || static_cast<size_t>(n) > r.Remaining()) throw WireError("bad container size");
    return n;
}

Value ReadStruct(Reader& r, int depth)
{
    if (depth > kMaxDepth) throw WireError("nested too deep");
    Value v;
    v.type = kStruct;
    for (;;) {
        uint8_t t = r.U8();
        if (t == kStop) break;
        int16_t id = r.I16();
        v.fields.emplace_back(id, ReadValue(r, t, depth + 1));
    }
    return v;
}

Value ReadValue(Reader& r, uint8_t type, int depth)
{
    if (depth > kMaxDepth) throw WireError("nested too deep");
    Value v;
    v.type = type;
    switch (type) {
    case kBool:
    case kByte: v.i = static_cast<int8_t>(r.U8()); break;
    case kI16: v.i = r.I16(); break;
    case kI32: v.i = r.I32(); break;
    case kI64: v.i = r.I64(); break;
    case kDouble: {
        int64_t bits = r.I64();
        static_assert(sizeof(double) == sizeof(int64_t), "double size");
        std::memcpy(&v.d, &bits, sizeof bits);
        break;
    }
    case kString: v.s = r.Bytes(r.I32()); break;
    case kStruct: return ReadStruct(r, depth);
    case kList:
    case kSet: {
        v.elemType = r.U8();
        int32_t n = ReadCount(r);
        for (int32_t k = 0; k < n; ++k) v.elems.push_back(ReadValue(r, v.elemType, depth + 1));
        break;
    }
    case kMap: {
        v.elemType = r.U8();
        v.valType = r.U8();
        int32_t n = ReadCount(r);
        for (int32_t k = 0; k < n; ++k) {
            v.elems.push_back(ReadValue(r, v.elemType, depth + 1));
            v.elems.push_back(ReadValue(r, v.valType, depth + 1));
        }
        break;
    }
    default: throw WireError("unknown type code " + std::to_string(type));
    }
    return v;
}

}  // namespace

const Value* Value::Field(int16_t id) const
{
    for (const auto& f : fields)
        if (f.first == id) return &f.second;
    return nullptr;
}

Message DecodeMessage(const std::string& payload)
{
    Reader r(payload);
    Message m;
    int32_t first = r.I32();
    if (first < 0) {
        // Versioned header: version 1 in the high half, the type in the low byte.
        if ((static_cast<uint32_t>(first) & 0xffff0000u) != 0x80010000u) throw WireError("bad protocol version");
        m.versioned = true;
        m.type = static_cast<uint8_t>(first & 0xff);
        m.name = r.Bytes(r.I32());
    } else {
        m.name = r.Bytes(first);
        m.type = r.U8();
    }
    m.seqid = r.I32();
    m.body = ReadStruct(r, 0);
    if (r.Remaining() != 0) throw WireError("bytes after the message");
    return m;
}

void WireWriter::MessageBegin(const std::string& name, uint8_t type, int32_t seqid, bool versioned)
{
    if (versioned) {
        I32(static_cast<int32_t>(0x80010000u | type));
        String(name);
    } else {
        String(name);
        I8(static_cast<int8_t>(type));
    }
    I32(seqid);
}

void WireWriter::FieldBegin(uint8_t type, int16_t id)
{
    I8(static_cast<int8_t>(type));
    I16(id);
}

void WireWriter::I16(int16_t v)
{
    uint16_t u = static_cast<uint16_t>(v);
    buf_.push_back(static_cast<char>(u >> 8));
    buf_.push_back(static_cast<char>(u & 0xff));
}

void WireWriter::I32(int32_t v)
{
    uint32_t u = static_cast<uint32_t>(v);
    for (int shift = 24; shift >= 0; shift -= 8) buf_.push_back(static_cast<char>((u >> shift) & 0xff));
}

void WireWriter::I64(int64_t v)
{
    uint64_t u = static_cast<uint64_t>(v);
    for (int shift = 56; shift >= 0; shift -= 8) buf_.push_back(static_cast<char>((u >> shift) & 0xff));
}

void WireWriter::String(const std::string& v)
{
    I32(static_cast<int32_t>(v.size()));
    buf_ += v;
}

std::string WireWriter::Frame() const
{
    return MakeFrame(buf_);
}

std::string MakeFrame(const std::string& payload)
{
    WireWriter w;
    w.I32(static_cast<int32_t>(payload.size()));
    return w.Bytes() + payload;
}

std::string PercentEncode(const std::string& text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

}  // namespace standin

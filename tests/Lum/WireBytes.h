// Hand-written wire bytes for the protocol tests: every number big-endian,
// strings as a 32-bit length and the bytes, field headers as type code and
// 16-bit id, exactly as the field tables give them.
#pragma once

#include <cstdint>
#include <string>

namespace wire {

inline std::string I8(int v) { return std::string(1, static_cast<char>(v)); }
inline std::string I16(int v)
{
    uint16_t u = static_cast<uint16_t>(v);
    return {static_cast<char>(u >> 8), static_cast<char>(u & 0xff)};
}
inline std::string I32(int64_t v)
{
    uint32_t u = static_cast<uint32_t>(v);
    return {static_cast<char>(u >> 24), static_cast<char>((u >> 16) & 0xff), static_cast<char>((u >> 8) & 0xff),
            static_cast<char>(u & 0xff)};
}
inline std::string Str(const std::string& s) { return I32(static_cast<int64_t>(s.size())) + s; }
// Field header: type code, id.
inline std::string F(int type, int id) { return I8(type) + I16(id); }
const std::string STOP = I8(0);

enum { BOOL = 2, I16T = 6, I32T = 8, STRING = 11, STRUCT = 12, MAP = 13, LIST = 15 };

// Versioned message header: version 1 and type in one word, name, sequence id.
inline std::string Header(const std::string& name, int type, int seqid)
{
    return I32(static_cast<int64_t>(0x80010000u | static_cast<uint32_t>(type))) + Str(name) + I32(seqid);
}
// The older header without a version word: name, type byte, sequence id.
inline std::string OldHeader(const std::string& name, int type, int seqid) { return Str(name) + I8(type) + I32(seqid); }
inline std::string Frame(const std::string& payload) { return I32(static_cast<int64_t>(payload.size())) + payload; }

}  // namespace wire

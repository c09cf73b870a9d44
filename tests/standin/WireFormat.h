// A small, independent reader and writer of the binary wire format of the
// messaging service (framed transport, binary protocol).
//
// The stand-in service decodes requests and encodes replies with this code
// and never with the classes generated from the interface file, so that a
// field id or type that is wrong in the interface file makes the client and
// the stand-in disagree instead of agreeing with each other.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace standin {

// Type codes on the wire.
enum WireType : uint8_t {
    kStop = 0,
    kBool = 2,
    kByte = 3,
    kDouble = 4,
    kI16 = 6,
    kI32 = 8,
    kI64 = 10,
    kString = 11,
    kStruct = 12,
    kMap = 13,
    kSet = 14,
    kList = 15,
};

// Message types.
enum MessageType : uint8_t { kCall = 1, kReply = 2, kException = 3, kOneway = 4 };

// Types of the exception message a server sends instead of a reply.
enum AppExceptionType : int32_t {
    kAppUnknown = 0,
    kAppUnknownMethod = 1,
    kAppInternalError = 6,
    kAppProtocolError = 7,
};

struct WireError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One decoded value, kept with its wire type.
struct Value {
    uint8_t type = kStop;
    int64_t i = 0;        // bool, byte, i16, i32, i64
    double d = 0;         // double
    std::string s;        // string
    std::vector<std::pair<int16_t, Value>> fields;  // struct, in wire order
    uint8_t elemType = 0;  // list, set; map key type
    uint8_t valType = 0;   // map value type
    std::vector<Value> elems;  // list, set; map as key, value, key, value...

    // The field with this id, or null.
    const Value* Field(int16_t id) const;
};

struct Message {
    std::string name;
    uint8_t type = 0;
    int32_t seqid = 0;
    bool versioned = false;
    Value body;  // the argument or result struct
};

// Decodes one message (the frame's payload, without the length). Throws
// WireError on malformed data.
Message DecodeMessage(const std::string& payload);

// Builds a message. Numbers are written big-endian.
class WireWriter {
public:
    // Versioned header (strict), as servers write it; versioned=false gives
    // the older header without a version word.
    void MessageBegin(const std::string& name, uint8_t type, int32_t seqid, bool versioned = true);
    void FieldBegin(uint8_t type, int16_t id);
    void Stop() { I8(kStop); }

    void FieldI16(int16_t id, int16_t v) { FieldBegin(kI16, id); I16(v); }
    void FieldI32(int16_t id, int32_t v) { FieldBegin(kI32, id); I32(v); }
    void FieldString(int16_t id, const std::string& v) { FieldBegin(kString, id); String(v); }
    void ListBegin(uint8_t elemType, int32_t size) { I8(elemType); I32(size); }
    void MapBegin(uint8_t keyType, uint8_t valType, int32_t size) { I8(keyType); I8(valType); I32(size); }

    void I8(int8_t v) { buf_.push_back(static_cast<char>(v)); }
    void I16(int16_t v);
    void I32(int32_t v);
    void I64(int64_t v);
    void String(const std::string& v);
    void Raw(const std::string& bytes) { buf_ += bytes; }

    const std::string& Bytes() const { return buf_; }
    // The bytes with the 32-bit length in front: one frame.
    std::string Frame() const;

private:
    std::string buf_;
};

// A frame: 32-bit big-endian length, then the payload.
std::string MakeFrame(const std::string& payload);

// Message bodies travel percent-encoded, as the service sends them: every
// byte but letters, digits and "-_.~" as %XX. The receiver decodes before
// parsing.
std::string PercentEncode(const std::string& text);

}  // namespace standin

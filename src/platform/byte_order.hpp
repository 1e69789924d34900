// Little-endian encoding and decoding of the fixed-width fields of every on-disk format (archives and
// models). This is the only place where bytes become integers or floats and back; structures are never
// copied to or from disk as raw memory.
#pragma once

#include <bit>
#include <cstdint>

namespace bxa {

inline uint16_t loadUint16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline int16_t loadInt16(const uint8_t* p) { return static_cast<int16_t>(loadUint16(p)); }

inline uint32_t loadUint32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline int32_t loadInt32(const uint8_t* p) { return static_cast<int32_t>(loadUint32(p)); }

inline float loadFloat32(const uint8_t* p) { return std::bit_cast<float>(loadUint32(p)); }

inline void storeUint16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void storeInt16(uint8_t* p, int16_t v) { storeUint16(p, static_cast<uint16_t>(v)); }

inline void storeUint32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

inline void storeInt32(uint8_t* p, int32_t v) { storeUint32(p, static_cast<uint32_t>(v)); }

inline void storeFloat32(uint8_t* p, float v) { storeUint32(p, std::bit_cast<uint32_t>(v)); }

}  // namespace bxa

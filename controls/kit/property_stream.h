// The stream layout of persisted control properties: a format version, then each value as a
// 2-byte variant type and its bytes, little-endian.
#pragma once

#include <cstdint>

#include "platform/com/stream.h"
#include "platform/com/variant.h"

namespace quenda {

// The format version written first; streams with a greater version are refused.
inline constexpr uint32_t kPropertyStreamVersion = 0x0300;

// A stored text longer than this many bytes is taken as damage, not allocated.
inline constexpr uint32_t kMaxPersistedTextBytes = 1u << 20;

// Writes one value: its type, then 1 byte (I1, UI1), 2 (I2, BOOL, UI2), 4 (I4, R4, ERROR,
// UI4, INT, UINT), 8 (R8, CY, DATE), or for BSTR a 4-byte byte count (length * 2 + 2, 0 for
// a null BSTR) and the UTF-16 text with its terminator. Any other type (BYREF followed) is
// converted to BSTR first; a value that does not convert fails with the conversion's result.
HRESULT WritePersistedValue(IStream* stream, const VARIANT& value);

// Reads one value written as above into *value (which the caller then owns). E_FAIL for an
// unknown type, a truncated value, a text byte count that is odd, 1, larger than
// kMaxPersistedTextBytes or whose last two bytes are not a terminator. Nothing is read past
// what the stream holds.
HRESULT ReadPersistedValue(IStream* stream, VARIANT* value);

}  // namespace quenda

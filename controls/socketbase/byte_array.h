// Byte arrays as the socket controls' binary properties take and give them.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/variant.h"

namespace quenda {

// The bytes of a binary send argument: a one-dimensional array of bytes (taken byte for
// byte) or of variants (each giving the low byte of its value), directly or behind one
// reference, from its lower bound for its element count. False, with *bytes unspecified, for
// any other value, an element that is not a number, or when memory is short.
bool BytesOfByteArray(const VARIANT& argument, std::string* bytes);

// A one-dimensional array of variants (lower bound 0), each element the VT_UI1 of one byte,
// into *out (which the caller then owns). False, leaving *out empty, when memory is short.
bool ByteVariantArray(std::string_view bytes, VARIANT* out);

}  // namespace quenda

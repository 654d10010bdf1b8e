// cert_info.h - a DER certificate decoded into a self-contained CERT_INFO (internal).
#pragma once

#include <cstddef>
#include <optional>

#include "platform/crypto/flat_buffer.h"
#include "platform/crypto/wincrypt_types.h"

namespace certinfo {

// The layout of the certificate's CERT_INFO (at offset 0) and everything it points to; nothing
// when the bytes are not exactly one DER certificate. The serial number comes out least
// significant byte first with any leading 00 sign byte kept; validity times are UTC FILETIMEs.
std::optional<flat::Builder> decode_certificate(const BYTE *der, size_t der_nbytes);

}  // namespace certinfo

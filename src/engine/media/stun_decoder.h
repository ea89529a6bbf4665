#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "name_value_pair.h"

namespace varlowe {

// The longest value text a decoded attribute gets.
constexpr size_t kStunValueTextLimit = 10239;

// At least 20 bytes, a length field that accounts for the rest exactly, and a known type.
bool isStunMessage(const uint8_t* payload, size_t length);

// The message as ("MSG_TYPE", name), ("TRANSACTION_ID", 32 hex digits), then one pair per
// attribute; none when isStunMessage fails. Corrupt attribute areas show as "ERROR" pairs.
std::unique_ptr<NameValuePair> decodeStunMessage(const uint8_t* payload, size_t length);

// Names of the known message and attribute types; nullptr for others.
const char* messageTypeName(uint16_t type);
const char* attributeName(uint16_t type);

}  // namespace varlowe

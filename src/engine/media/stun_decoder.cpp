#include "stun_decoder.h"

#include <algorithm>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/capture/byte_order.h"
#include "engine/capture/byte_reader.h"
#include "engine/capture/ipv6_address.h"

namespace varlowe {

namespace {

constexpr size_t kStunHeaderSize = 20;
constexpr size_t kStunTransactionIdSize = 16;
constexpr size_t kStunAttributeHeaderSize = 4;

enum class ValueFormat { Address, XorAddress, Number, Text, Hex, ErrorCode, AttributeList };

struct AttributeInfo {
    uint16_t type;
    const char* name;
    ValueFormat format;
};

constexpr AttributeInfo kAttributes[] = {
    {0x0001, "STUN_MAPPED_ADDRESS", ValueFormat::Address},
    {0x0002, "STUN_RESPONSE_ADDRESS", ValueFormat::Address},
    {0x0003, "STUN_CHANGE_REQUEST", ValueFormat::Hex},
    {0x0004, "STUN_SOURCE_ADDRESS", ValueFormat::Address},
    {0x0005, "STUN_CHANGED_ADDRESS", ValueFormat::Address},
    {0x0006, "STUN_USERNAME", ValueFormat::Text},
    {0x0007, "STUN_PASSWORD", ValueFormat::Text},
    {0x0008, "STUN_MESSAGE_INTEGRITY", ValueFormat::Hex},
    {0x0009, "STUN_ERROR_CODE", ValueFormat::ErrorCode},
    {0x000A, "STUN_UNKNOWN_ATTRIBUTE", ValueFormat::AttributeList},
    {0x000B, "STUN_REFLECTED_FROM", ValueFormat::Address},
    {0x000D, "TURN_LIFETIME", ValueFormat::Number},
    {0x000E, "TURN_ALTERNATE_SERVER", ValueFormat::Address},
    {0x000F, "TURN_MAGIC_COOKIE", ValueFormat::Hex},
    {0x0010, "TURN_BANDWIDTH", ValueFormat::Number},
    {0x0011, "TURN_DESTINATION_ADDRESS", ValueFormat::Address},
    {0x0012, "TURN_SOURCE_ADDRESS", ValueFormat::Address},
    {0x0013, "TURN_DATA", ValueFormat::Hex},
    {0x0014, "TURN_NONCE", ValueFormat::Hex},
    {0x0015, "TURN_REALM", ValueFormat::Text},
    {0x0020, "STUN_XOR_MAPPED_ADDRESS", ValueFormat::XorAddress},
    {0x0021, "STUN_XOR_ONLY", ValueFormat::Hex},
    {0x0024, "STUN_PRIORITY", ValueFormat::Number},
    {0x8020, "STUN_XOR_MAPPED_ADDRESS", ValueFormat::XorAddress},
    {0x8022, "STUN_SERVER", ValueFormat::Text},
};

const AttributeInfo* findAttribute(uint16_t type) {
    for (const AttributeInfo& info : kAttributes) {
        if (info.type == type) {
            return &info;
        }
    }
    return nullptr;
}

constexpr char kInvalidLength[] = "<<Invalid Length>>";
// Hex dumps stop after this many bytes, so that they fit the value text limit.
constexpr size_t kHexDumpBytes = kStunValueTextLimit / 2;

std::string hexDump(const uint8_t* data, size_t length) {
    static const char digits[] = "0123456789ABCDEF";
    if (length > kHexDumpBytes) {
        length = kHexDumpBytes;
    }
    std::string text;
    text.reserve(length * 2);
    for (size_t i = 0; i < length; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 15];
    }
    return text;
}

// Characters up to the declared length or the first zero byte, at most `limit` of them.
std::string textOf(const uint8_t* data, size_t length, size_t limit) {
    std::string text;
    for (size_t i = 0; i < length && i < limit && data[i] != 0; ++i) {
        text += static_cast<char>(data[i]);
    }
    return text;
}

std::string addressText(uint32_t address, uint16_t port) {
    return dottedQuad(address) + ":" + std::to_string(port);
}

// An address attribute: reserved byte, family, port, address (IPv4, or IPv6 for family 2).
constexpr size_t kAddressValueSize = 8;
constexpr size_t kAddress6ValueSize = 20;
constexpr uint8_t kFamilyIpv6 = 0x02;

std::string formatValue(ValueFormat format, const uint8_t* value, size_t length,
                        const uint8_t* transactionId) {
    ByteReader reader(value, length);
    switch (format) {
        case ValueFormat::Address:
        case ValueFormat::XorAddress: {
            if (length == kAddress6ValueSize && value[1] == kFamilyIpv6) {
                // IPv6: XORed with the cookie and the transaction id, all sixteen bytes.
                reader.skip(2);
                uint16_t port = reader.be16();
                Ipv6Bytes address;
                std::memcpy(address.data(), value + 4, address.size());
                if (format == ValueFormat::XorAddress) {
                    port =
                        static_cast<uint16_t>(port ^ ((transactionId[0] << 8) | transactionId[1]));
                    for (size_t i = 0; i < address.size(); ++i) {
                        address[i] ^= transactionId[i];
                    }
                }
                return endpointText(ipv6Text(address), std::to_string(port));
            }
            if (length != kAddressValueSize) {
                return kInvalidLength;
            }
            reader.skip(2);
            uint16_t port = reader.be16();
            uint32_t address = reader.be32();
            if (format == ValueFormat::XorAddress) {
                ByteReader key(transactionId, kStunTransactionIdSize);
                const uint32_t cookie = key.be32();
                port = static_cast<uint16_t>(port ^ (cookie >> 16));
                address ^= cookie;
            }
            return addressText(address, port);
        }
        case ValueFormat::Number:
            if (length != 4) {
                return kInvalidLength;
            }
            return std::to_string(reader.be32());
        case ValueFormat::Text:
            return textOf(value, length, kStunValueTextLimit);
        case ValueFormat::Hex:
            return hexDump(value, length);
        case ValueFormat::ErrorCode: {
            if (length < 4) {
                return kInvalidLength;
            }
            int code = (value[2] & 0x0f) * 100 + value[3];
            return std::to_string(code) + ": " +
                   textOf(value + 4, length - 4, kStunValueTextLimit - 5);
        }
        case ValueFormat::AttributeList: {
            if (length % 4 != 0) {
                return kInvalidLength;
            }
            std::string text;
            char item[8];
            while (reader.has(2)) {
                std::snprintf(item, sizeof item, "%04X ", reader.be16());
                text += item;
            }
            return text;
        }
    }
    return std::string();
}

struct MessageTypeInfo {
    uint16_t type;
    const char* name;
};

constexpr MessageTypeInfo kMessageTypes[] = {
    {0x0001, "STUN_BIND_REQUEST"},
    {0x0002, "STUN_SHARED_SECRET_REQUEST"},
    {0x0003, "TURN_ALLOCATE_REQUEST"},
    {0x0004, "TURN_SEND_REQUEST"},
    {0x0006, "TURN_ACTIVE_DESTINATION_REQUEST"},
    {0x0101, "STUN_BIND_RESPONSE"},
    {0x0102, "STUN_SHARED_SECRET_RESPONSE"},
    {0x0103, "TURN_ALLOCATE_RESPONSE"},
    {0x0104, "TURN_SEND_RESPONSE"},
    {0x0106, "TURN_ACTIVE_DESTINATION_RESPONSE"},
    {0x0111, "STUN_BIND_ERROR_RESPONSE"},
    {0x0112, "STUN_SHARED_SECRET_ERROR_RESPONSE"},
    {0x0113, "TURN_ALLOCATE_ERROR_RESPONSE"},
    {0x0114, "TURN_SEND_ERROR_RESPONSE"},
    {0x0115, "TURN_DATA_INDICATION"},
    {0x0116, "TURN_ACTIVE_DESTINATION_ERROR_RESPONSE"},
};

}  // namespace

const char* messageTypeName(uint16_t type) {
    for (const MessageTypeInfo& info : kMessageTypes) {
        if (info.type == type) {
            return info.name;
        }
    }
    return nullptr;
}

const char* attributeName(uint16_t type) {
    const AttributeInfo* info = findAttribute(type);
    return info != nullptr ? info->name : nullptr;
}

bool isStunMessage(const uint8_t* payload, size_t length) {
    ByteReader header(payload, length);
    const uint16_t type = header.be16();
    const uint16_t bodyLength = header.be16();
    return header.ok() && length >= kStunHeaderSize &&
           size_t{bodyLength} + kStunHeaderSize == length && messageTypeName(type) != nullptr;
}

namespace {
// Values are padded to a multiple of four bytes (RFC 5389 15; RFC 3489 values were multiples
// of four already), so the next attribute starts after the padding.
size_t nextAttribute(size_t valueStart, size_t declared, size_t length) {
    return std::min(length, valueStart + (declared + 3) / 4 * 4);
}
}  // namespace

std::unique_ptr<NameValuePair> decodeStunMessage(const uint8_t* payload, size_t length) {
    if (!isStunMessage(payload, length)) {
        return nullptr;
    }
    auto pairs = std::make_unique<NameValuePair>();
    // The 16 bytes after type and length: the RFC 5389 magic cookie and the transaction
    // identifier (one 128-bit identifier in RFC 3489).
    const uint8_t* transactionId = payload + 4;
    pairs->add("MSG_TYPE", messageTypeName(ByteReader(payload, length).be16()));
    pairs->add("TRANSACTION_ID", hexDump(transactionId, kStunTransactionIdSize));

    size_t p = kStunHeaderSize;
    while (p < length) {
        ByteReader attribute(payload + p, length - p);
        const uint16_t type = attribute.be16();
        const size_t declared = attribute.be16();
        if (!attribute.ok()) {
            pairs->add("ERROR", "Corrupt packet (attr header)");
            break;
        }
        size_t valueStart = p + kStunAttributeHeaderSize;
        size_t left = length - valueStart;
        const AttributeInfo* info = findAttribute(type);
        if (info != nullptr) {
            if (declared > left) {
                // The value would run past the message: say so and stop, nothing after it
                // can be trusted to be an attribute header.
                pairs->add("ERROR", "Corrupt packet (attr length)");
                pairs->add(info->name, kInvalidLength);
                break;
            }
            pairs->add(info->name,
                       formatValue(info->format, payload + valueStart, declared, transactionId));
            p = nextAttribute(valueStart, declared, length);
            continue;
        }
        char name[8];
        std::snprintf(name, sizeof name, "%04X", type);
        if (declared > left) {
            pairs->add("ERROR", "Corrupt packet (attr length)");
            pairs->add(name, "");
            p = valueStart;
            continue;
        }
        pairs->add(name, hexDump(payload + valueStart, declared));
        p = nextAttribute(valueStart, declared, length);
    }
    return pairs;
}

}  // namespace varlowe

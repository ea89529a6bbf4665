#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varlowe {

using Ipv6Bytes = std::array<uint8_t, 16>;

// Numbers for the IPv6 addresses a process meets, so that an IPv6 endpoint fits where an IPv4
// address does (32 bits beside a family flag): the same address always gets the same
// number, in every thread, for the life of the process. Numbers count from 1.
uint32_t ipv6Number(const Ipv6Bytes& address);
// The address of a number handed out before; all zeros for another.
Ipv6Bytes ipv6Address(uint32_t number);

// RFC 5952 text: lower case, the longest run of two or more zero groups as "::".
std::string ipv6Text(const Ipv6Bytes& address);
// Any valid IPv6 text (also in brackets, upper case, uncompressed); none otherwise.
std::optional<Ipv6Bytes> parseIpv6(std::string_view text);

// "[address]:port" for an IPv6 address text (one that holds a colon), "address:port" else.
std::string endpointText(std::string_view address, std::string_view port);

}  // namespace varlowe

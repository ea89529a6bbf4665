#include "ipv6_address.h"

#include <arpa/inet.h>

#include <mutex>
#include <unordered_map>
#include <vector>

namespace varlowe {

namespace {

struct Ipv6Hash {
    size_t operator()(const Ipv6Bytes& address) const {
        uint64_t high = 0;
        uint64_t low = 0;
        for (int i = 0; i < 8; ++i) {
            high = (high << 8) | address[i];
            low = (low << 8) | address[8 + i];
        }
        const uint64_t mixed = (high * 0x9e3779b97f4a7c15ull) ^ low;
        return static_cast<size_t>(mixed ^ (mixed >> 29));
    }
};

struct Ipv6Numbers {
    std::mutex lock;
    std::unordered_map<Ipv6Bytes, uint32_t, Ipv6Hash> numbers;
    std::vector<Ipv6Bytes> addresses{Ipv6Bytes{}};  // number 0 stands for none
};

Ipv6Numbers& table() {
    static Ipv6Numbers numbers;
    return numbers;
}

}  // namespace

uint32_t ipv6Number(const Ipv6Bytes& address) {
    Ipv6Numbers& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    auto [found, added] = t.numbers.emplace(address, static_cast<uint32_t>(t.addresses.size()));
    if (added) {
        t.addresses.push_back(address);
    }
    return found->second;
}

Ipv6Bytes ipv6Address(uint32_t number) {
    Ipv6Numbers& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    return number < t.addresses.size() ? t.addresses[number] : Ipv6Bytes{};
}

std::string ipv6Text(const Ipv6Bytes& address) {
    char text[INET6_ADDRSTRLEN];
    if (inet_ntop(AF_INET6, address.data(), text, sizeof text) == nullptr) {
        return std::string();
    }
    return text;
}

std::optional<Ipv6Bytes> parseIpv6(std::string_view text) {
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
        text = text.substr(1, text.size() - 2);
    }
    // A zone ("%eth0") names no other address.
    text = text.substr(0, text.find('%'));
    if (text.empty() || text.size() >= INET6_ADDRSTRLEN) {
        return std::nullopt;
    }
    const std::string copy(text);
    Ipv6Bytes address;
    if (inet_pton(AF_INET6, copy.c_str(), address.data()) != 1) {
        return std::nullopt;
    }
    return address;
}

std::string endpointText(std::string_view address, std::string_view port) {
    std::string text;
    text.reserve(address.size() + port.size() + 3);
    if (address.find(':') != std::string_view::npos) {
        text += '[';
        text += address;
        text += ']';
    } else {
        text += address;
    }
    text += ':';
    text += port;
    return text;
}

}  // namespace varlowe

#include "resource_catalog.h"

#include <cstddef>

namespace varlowe::resources_data {
struct Entry {
    const char* role;
    const unsigned char* data;
    std::size_t size;
};
extern const Entry kEntries[];
}  // namespace varlowe::resources_data

namespace varlowe {

std::string_view resourceData(std::string_view role) {
    for (const resources_data::Entry* entry = resources_data::kEntries; entry->role != nullptr;
         ++entry) {
        if (role == entry->role) {
            return std::string_view(reinterpret_cast<const char*>(entry->data), entry->size);
        }
    }
    return std::string_view();
}

std::vector<std::string> resourceRoles() {
    std::vector<std::string> roles;
    for (const resources_data::Entry* entry = resources_data::kEntries; entry->role != nullptr;
         ++entry) {
        roles.emplace_back(entry->role);
    }
    return roles;
}

}  // namespace varlowe

#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace varlowe {

// The images embedded into the program at build time, by role name ("diagram_udp",
// "tb_open", ...): the SVG text of each, or an empty view when there is no such role.
std::string_view resourceData(std::string_view role);
std::vector<std::string> resourceRoles();

}  // namespace varlowe

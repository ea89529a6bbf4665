#pragma once

#include <string_view>

namespace varlowe {

// One header of a SIP message: leading white space removed from name and value, trailing
// white space kept, compact names already expanded. Views into the message, valid while it
// lives.
struct HeaderField {
    std::string_view name;
    std::string_view value;
};

}  // namespace varlowe

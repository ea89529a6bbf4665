#pragma once

#include <string>

namespace varlowe {

// One header of a SIP message: leading white space removed from name and value, trailing
// white space kept, compact names already expanded.
struct HeaderField {
    std::string name;
    std::string value;
};

}  // namespace varlowe

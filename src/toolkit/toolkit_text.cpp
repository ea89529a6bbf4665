#include "toolkit_text.h"

#include "engine/text_search.h"

namespace varlowe {

wxString displayText(const std::string& text) {
    wxString shown;
    shown.reserve(text.size());
    for (char32_t c : capturedCharacters(text)) {
        shown += wxUniChar(static_cast<wxUint32>(c));
    }
    return shown;
}

}  // namespace varlowe

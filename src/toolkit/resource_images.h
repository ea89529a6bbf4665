#pragma once

#include <wx/bmpbndl.h>
#include <wx/icon.h>

#include <string_view>

namespace varlowe {

// The embedded image of a role at the given size in device-independent pixels, sharp at any
// scale factor; an empty bundle (IsOk() false) when there is no such role.
wxBitmapBundle resourceBitmap(std::string_view role, wxSize size);
// The image rendered for a scale factor of 1 (for image lists and device contexts).
wxBitmap resourceBitmapAt(std::string_view role, wxSize size);
wxIcon resourceIcon(std::string_view role, wxSize size = wxSize(32, 32));

}  // namespace varlowe

#include "resource_images.h"

#include <string>

#include "resource_catalog.h"

namespace varlowe {

wxBitmapBundle resourceBitmap(std::string_view role, wxSize size) {
    std::string_view data = resourceData(role);
    if (data.empty()) {
        return wxBitmapBundle();
    }
    // NanoSVG parses in place, so it gets a copy that ends in a zero byte.
    std::string text(data);
    return wxBitmapBundle::FromSVG(text.data(), size);
}

wxBitmap resourceBitmapAt(std::string_view role, wxSize size) {
    wxBitmapBundle bundle = resourceBitmap(role, size);
    return bundle.IsOk() ? bundle.GetBitmap(size) : wxBitmap();
}

wxIcon resourceIcon(std::string_view role, wxSize size) {
    wxBitmap bitmap = resourceBitmapAt(role, size);
    wxIcon icon;
    if (bitmap.IsOk()) {
        icon.CopyFromBitmap(bitmap);
    }
    return icon;
}

}  // namespace varlowe

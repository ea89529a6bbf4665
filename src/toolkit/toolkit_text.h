#pragma once

#include <wx/string.h>

#include <string>

namespace varlowe {

// Captured bytes (or any text of the engine's) as the toolkit's text, losing none: UTF-8 as
// it is, other bytes as Latin-1. Every window shows and copies captured bytes through it.
wxString displayText(const std::string& text);

}  // namespace varlowe

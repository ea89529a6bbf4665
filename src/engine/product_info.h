#pragma once

// Facts about the product shared by the export, the About box and the version check.
namespace varlowe {

constexpr const char* kProductName = "Varlowe";
constexpr const char* kProductWebAddress = "https://varlowe.ostrane.com";
constexpr const char* kVersionCheckHost = "varlowe.ostrane.com";
// The version the programs report and the version check sends.
constexpr const char* kProductVersion = "1.0.0.3970";

}  // namespace varlowe

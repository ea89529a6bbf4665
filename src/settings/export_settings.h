#pragma once

#include "app_settings.h"
#include "output/text_export.h"

namespace varlowe {

// The text-export options as the settings hold them, read for each export.
inline TextExportOptions textExportOptionsFromSettings() {
    TextExportOptions options;
    options.showPort = AppSettings::exportAsTextShowPort();
    options.showTransport = AppSettings::exportAsTextShowTransport();
    options.showDiagram = AppSettings::exportAsTextShowDiagram();
    options.showLog = AppSettings::exportAsTextShowLog();
    return options;
}

}  // namespace varlowe

#pragma once

#include "app_settings.h"
#include "engine/sip/parsing_options.h"

namespace varlowe {

// The parsing switches as the settings hold them, read at the start of each analysis pass.
inline ParsingOptions parsingOptionsFromSettings() {
    ParsingOptions options;
    options.includeUdp = AppSettings::parsingIncludeUdp();
    options.includeTcp = AppSettings::parsingIncludeTcp();
    options.includeSip = AppSettings::parsingIncludeSip();
    options.includeRtp = AppSettings::parsingIncludeRtp();
    options.includeRtcp = AppSettings::parsingIncludeRtcp();
    options.includeSturn = AppSettings::parsingIncludeSturn();
    options.includeEncapsulated = AppSettings::parsingIncludeEncapsulated();
    options.includeHep = AppSettings::parsingIncludeHep();
    options.measureFromAnnounced = AppSettings::parsingMeasureFromAnnounced();
    return options;
}

}  // namespace varlowe

#pragma once

#include <string>
#include <vector>

#include "cli_support.h"

namespace varlowe::cli {

const Subcommand& findSubcommand(const std::string& name);

extern const char* const kPacketsUsage;
int runPackets(const std::vector<std::string>& arguments);

extern const char* const kMessagesUsage;
int runMessages(const std::vector<std::string>& arguments);

extern const char* const kStreamsUsage;
int runStreams(const std::vector<std::string>& arguments);

extern const char* const kExtractUsage;
int runExtract(const std::vector<std::string>& arguments);

extern const char* const kCallsUsage;
int runCalls(const std::vector<std::string>& arguments);

extern const char* const kDtmfUsage;
int runDtmf(const std::vector<std::string>& arguments);
extern const char* const kAudioUsage;
int runAudio(const std::vector<std::string>& arguments);

extern const char* const kExportUsage;
int runExport(const std::vector<std::string>& arguments);

}  // namespace varlowe::cli

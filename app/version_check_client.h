#pragma once

#include <cstdint>
#include <string>

#include "version_check.h"

namespace varlowe {

// The server asked; tests put one of their own on 127.0.0.1.
struct VersionServer {
    std::string host;
    uint16_t port = 80;
    // For connecting and for each read: the toolkit's ten minutes would freeze the start-up
    // on a network that drops packets.
    int timeoutSeconds = 5;
};
VersionServer defaultVersionServer();

// Asks the server for "/versioncheck/latest.txt" and reads its reply (up to 1,023 bytes).
// On the calling thread; it waits at most about twice the time-out.
VersionCheckResult checkForNewVersion(const VersionServer& server = defaultVersionServer());

}  // namespace varlowe

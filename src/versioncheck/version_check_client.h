#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "settings/version_check.h"

namespace varlowe {

// The server asked; tests put one of their own on 127.0.0.1.
struct VersionServer {
    std::string host;
    uint16_t port = 80;
    // For the whole exchange together: the name lookup, the connection, the request and the
    // reply. Anything on the path of plain HTTP (a captive portal, a proxy) may answer
    // slowly or without end.
    int timeoutSeconds = 10;
    // What is read of the reply's status line and header lines at most.
    size_t largestHead = 16 * 1024;
};
VersionServer defaultVersionServer();

// Asks the server for "/versioncheck/latest.txt" and reads its reply (up to 1,023 bytes of
// the body). Blocks the calling thread, for at most the server's time-out.
VersionCheckResult checkForNewVersion(const VersionServer& server = defaultVersionServer());

// A check on a thread of its own, so that the window thread never waits for the network.
// The result is handed to `deliver` (on the check's thread), which must bring `show` onto
// the window thread; `show` is not called once the check is destroyed, and the program may
// end while a check still runs.
class BackgroundVersionCheck {
  public:
    using Show = std::function<void(const VersionCheckResult&)>;
    using Deliver = std::function<void(std::function<void()>)>;

    BackgroundVersionCheck(const VersionServer& server, Show show, Deliver deliver);
    ~BackgroundVersionCheck();
    BackgroundVersionCheck(const BackgroundVersionCheck&) = delete;
    BackgroundVersionCheck& operator=(const BackgroundVersionCheck&) = delete;

    bool finished() const;

  private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

}  // namespace varlowe

#include "version_check_client.h"

#include <wx/protocol/http.h>
#include <wx/sstream.h>

#include <memory>

#include "product_info.h"

namespace varlowe {

VersionServer defaultVersionServer() {
    return VersionServer{kVersionCheckHost, 80, 5};
}

VersionCheckResult checkForNewVersion(const VersionServer& server) {
    wxHTTP http;
    http.SetTimeout(server.timeoutSeconds);
    http.SetHeader("User-Agent", wxString("Varlowe/") + kProgramVersion);
    if (!http.Connect(wxString::FromUTF8(server.host), server.port)) {
        return {};
    }
    wxString address = "http://" + wxString::FromUTF8(server.host);
    if (server.port != 80) {
        address += wxString::Format(":%u", static_cast<unsigned>(server.port));
    }
    address += kVersionCheckPath;
    std::unique_ptr<wxInputStream> stream(http.GetInputStream(address));
    // An error page is no reply.
    if (stream == nullptr || http.GetResponse() != 200) {
        return {};
    }
    // One read may return only part of the reply.
    char buffer[1024] = {};
    size_t total = 0;
    while (total < sizeof buffer - 1) {
        stream->Read(buffer + total, sizeof buffer - 1 - total);
        const size_t got = stream->LastRead();
        if (got == 0) {
            break;
        }
        total += got;
    }
    stream.reset();
    const std::string reply(buffer, total);
    return readVersionReply(reply.substr(0, reply.find('\0')), buildNumberOf(kProgramVersion));
}

}  // namespace varlowe

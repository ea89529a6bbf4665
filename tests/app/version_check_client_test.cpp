// The version check's web request against a stand-in server on 127.0.0.1.
#include <gtest/gtest.h>

#include <wx/init.h>
#include <wx/socket.h>

#include <chrono>

#include "local_http_server.h"
#include "version_check_client.h"

using namespace varlowe;
using namespace varlowe::testsupport;

namespace {

VersionCheckResult ask(const LocalHttpServer& server, int timeoutSeconds = 3) {
    return checkForNewVersion(VersionServer{"127.0.0.1", server.port(), timeoutSeconds});
}

}  // namespace

TEST(VersionCheckClient, AsksForTheLatestBuildAndReadsTheReply) {
    {
        LocalHttpServer server("reply", "3970,https://example.test/get");
        ASSERT_NE(server.port(), 0);
        VersionCheckResult result = ask(server);
        EXPECT_TRUE(result.succeeded);
        EXPECT_FALSE(result.newer);
        EXPECT_EQ(server.requests(), "GET http://127.0.0.1:" + std::to_string(server.port()) +
                                         "/versioncheck/latest.txt HTTP/1.0\n");
    }
    {
        LocalHttpServer server("reply", "3971,https://example.test/new more");
        VersionCheckResult result = ask(server);
        EXPECT_TRUE(result.succeeded);
        EXPECT_TRUE(result.newer);
        EXPECT_EQ(result.address, "https://example.test/new");
    }
    {
        LocalHttpServer server("reply", "3971,https://example.test/crlf\\r\\n");
        EXPECT_EQ(ask(server).address, "https://example.test/crlf");
    }
    {
        // A reply that arrives in two parts is read whole.
        LocalHttpServer server("split", "3971,https://example.test/in-two-parts-of-the-reply");
        EXPECT_EQ(ask(server).address, "https://example.test/in-two-parts-of-the-reply");
    }
    {
        // Past 1,023 bytes the rest is ignored: here the address itself is cut.
        LocalHttpServer server("reply", "3971,https://example.test/" + std::string(1100, 'a'));
        EXPECT_EQ(ask(server).address.size(), 1023u - 5u);
    }
}

TEST(VersionCheckClient, UnusableRepliesAndServersFail) {
    for (const char* reply : {"3971", "3971,file:///etc/passwd", ""}) {
        LocalHttpServer server("reply", reply);
        VersionCheckResult result = ask(server);
        EXPECT_FALSE(result.succeeded) << reply;
        EXPECT_EQ(result.address, "") << reply;
    }
    {
        LocalHttpServer server("missing", "3971,https://example.test/error-page");
        EXPECT_FALSE(ask(server).succeeded);
    }
    {
        // Nobody listens on the port of a server that has ended.
        uint16_t port = 0;
        {
            LocalHttpServer server("reply", "3971,https://example.test/");
            port = server.port();
        }
        EXPECT_FALSE(checkForNewVersion(VersionServer{"127.0.0.1", port, 2}).succeeded);
    }
    {
        LocalHttpServer server("silent", "");
        const auto started = std::chrono::steady_clock::now();
        EXPECT_FALSE(ask(server, 2).succeeded);
        const auto waited = std::chrono::steady_clock::now() - started;
        EXPECT_LT(waited, std::chrono::seconds(10));
        EXPECT_NE(server.requests(), "");
    }
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    wxInitializer toolkit;
    if (!toolkit.IsOk() || !wxSocketBase::Initialize()) {
        std::fprintf(stderr, "cannot initialise the toolkit's sockets\n");
        return 1;
    }
    const int status = RUN_ALL_TESTS();
    wxSocketBase::Shutdown();
    return status;
}

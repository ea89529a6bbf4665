// The version check's web request against a stand-in server on 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "support/local_http_server.h"
#include "versioncheck/version_check_client.h"

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

// Servers that answer without end: the check reads a bounded head and gives up at once,
// long before its deadline, and a drip ends at the deadline.
TEST(VersionCheckClient, EndlessAndDrippingRepliesAreCutOff) {
    for (const char* mode : {"endless-head", "long-line"}) {
        LocalHttpServer server(mode, "");
        const auto started = std::chrono::steady_clock::now();
        EXPECT_FALSE(ask(server, 30).succeeded) << mode;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10)) << mode;
    }
    LocalHttpServer drip("drip", "3971,https://example.test/drip");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(ask(drip, 2).succeeded);
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_GE(waited, std::chrono::milliseconds(1900));
    EXPECT_LT(waited, std::chrono::seconds(4));
}

// The check on its own thread: the answer comes through the delivery, and not at all once
// the check was given up.
TEST(VersionCheckClient, InTheBackgroundTheAnswerIsDeliveredOrDropped) {
    LocalHttpServer server("reply", "3971,https://example.test/bg");
    std::mutex mutex;
    std::condition_variable delivered;
    std::vector<std::function<void()>> calls;
    auto deliver = [&](std::function<void()> call) {
        std::lock_guard<std::mutex> guard(mutex);
        calls.push_back(std::move(call));
        delivered.notify_all();
    };
    auto waitForCall = [&] {
        std::unique_lock<std::mutex> guard(mutex);
        return delivered.wait_for(guard, std::chrono::seconds(10), [&] { return !calls.empty(); });
    };
    std::vector<std::string> shown;
    {
        BackgroundVersionCheck check(
            VersionServer{"127.0.0.1", server.port(), 5},
            [&](const VersionCheckResult& result) { shown.push_back(result.address); }, deliver);
        ASSERT_TRUE(waitForCall());
        EXPECT_TRUE(check.finished());
        calls.front()();
    }
    EXPECT_EQ(shown, std::vector<std::string>{"https://example.test/bg"});
    calls.clear();
    {
        BackgroundVersionCheck check(
            VersionServer{"127.0.0.1", server.port(), 5},
            [&](const VersionCheckResult& result) { shown.push_back(result.address); }, deliver);
        ASSERT_TRUE(waitForCall());
    }
    calls.front()();  // delivered after its owner went: nothing is shown
    EXPECT_EQ(shown.size(), 1u);
}

#include "version_check_client.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/product_info.h"

namespace varlowe {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kLargestBody = 1023;

int millisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

struct Address {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family = 0;
};

// The name lookup cannot be given a time-out, so it runs on a thread of its own that is
// left to finish alone when the deadline passes first.
std::vector<Address> resolve(const std::string& host, uint16_t port, Clock::time_point deadline) {
    struct Lookup {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        std::vector<Address> addresses;
    };
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, host, port] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        std::vector<Address> addresses;
        if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) == 0) {
            for (addrinfo* at = found; at != nullptr; at = at->ai_next) {
                if (at->ai_addrlen <= sizeof(sockaddr_storage)) {
                    Address address;
                    std::memcpy(&address.storage, at->ai_addr, at->ai_addrlen);
                    address.length = at->ai_addrlen;
                    address.family = at->ai_family;
                    addresses.push_back(address);
                }
            }
            ::freeaddrinfo(found);
        }
        std::lock_guard<std::mutex> guard(lookup->mutex);
        lookup->addresses = std::move(addresses);
        lookup->finished = true;
        lookup->done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> guard(lookup->mutex);
    lookup->done.wait_until(guard, deadline, [&] { return lookup->finished; });
    return lookup->finished ? lookup->addresses : std::vector<Address>{};
}

class Socket {
  public:
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

  private:
    int fd_;
};

bool waitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd one{fd, events, 0};
        const int ready = ::poll(&one, 1, millisecondsLeft(deadline));
        if (ready > 0) {
            return true;
        }
        if (ready == 0 || errno != EINTR) {
            return false;
        }
    }
}

int connectWithin(const std::vector<Address>& addresses, Clock::time_point deadline) {
    for (const Address& address : addresses) {
        const int fd = ::socket(address.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            continue;
        }
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) ==
            0) {
            return fd;
        }
        int error = errno;
        if (error == EINPROGRESS && waitFor(fd, POLLOUT, deadline)) {
            socklen_t length = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) {
                return fd;
            }
        }
        ::close(fd);
        if (millisecondsLeft(deadline) == 0) {
            break;
        }
    }
    return -1;
}

bool sendAll(int fd, const std::string& text, Clock::time_point deadline) {
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t wrote = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (wrote > 0) {
            sent += static_cast<size_t>(wrote);
        } else if (wrote < 0 && errno == EINTR) {
            continue;
        } else if (wrote < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(fd, POLLOUT, deadline)) {
                return false;
            }
        } else {
            return false;
        }
    }
    return true;
}

// Reads what is there, waiting for it until the deadline: the bytes read, 0 at the end of
// the reply, -1 on an error or when the deadline passed.
ssize_t receive(int fd, char* buffer, size_t size, Clock::time_point deadline) {
    for (;;) {
        const ssize_t got = ::recv(fd, buffer, size, 0);
        if (got >= 0) {
            return got;
        }
        if (errno == EINTR) {
            continue;
        }
        if ((errno != EAGAIN && errno != EWOULDBLOCK) || !waitFor(fd, POLLIN, deadline)) {
            return -1;
        }
    }
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The status and the Content-Length (or -1) of a reply's head.
bool readHead(const std::string& head, long long& contentLength) {
    // "HTTP/1.x 200 ..." on the first line.
    if (head.compare(0, 5, "HTTP/") != 0) {
        return false;
    }
    const size_t space = head.find(' ');
    if (space == std::string::npos || head.compare(space + 1, 3, "200") != 0 ||
        (head.size() > space + 4 && std::isdigit(static_cast<unsigned char>(head[space + 4])))) {
        return false;
    }
    contentLength = -1;
    size_t at = head.find('\n');
    while (at != std::string::npos && at + 1 < head.size()) {
        const size_t end = head.find('\n', at + 1);
        const std::string line =
            head.substr(at + 1, (end == std::string::npos ? head.size() : end) - at - 1);
        const size_t colon = line.find(':');
        if (colon != std::string::npos && lower(line.substr(0, colon)) == "content-length") {
            contentLength = std::strtoll(line.c_str() + colon + 1, nullptr, 10);
        }
        at = end;
    }
    return true;
}

}  // namespace

VersionServer defaultVersionServer() {
    return VersionServer{kVersionCheckHost, 80, 10};
}

VersionCheckResult checkForNewVersion(const VersionServer& server) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(server.timeoutSeconds);
    const std::vector<Address> addresses = resolve(server.host, server.port, deadline);
    Socket socket(connectWithin(addresses, deadline));
    if (socket.fd() < 0) {
        return {};
    }
    std::string host = server.host;
    if (server.port != 80) {
        host += ":" + std::to_string(server.port);
    }
    const std::string request = std::string("GET http://") + host + kVersionCheckPath +
                                " HTTP/1.0\r\nHost: " + host + "\r\nUser-Agent: Varlowe/" +
                                kProgramVersion + "\r\nConnection: close\r\n\r\n";
    if (!sendAll(socket.fd(), request, deadline)) {
        return {};
    }

    // The head, up to its empty line, never more than the largest head.
    std::string reply;
    size_t headEnd = std::string::npos;
    size_t bodyStart = 0;
    char buffer[4096];
    while (headEnd == std::string::npos) {
        const size_t room = server.largestHead + kLargestBody - reply.size();
        const ssize_t got = receive(socket.fd(), buffer, std::min(sizeof buffer, room), deadline);
        if (got <= 0) {
            return {};
        }
        reply.append(buffer, static_cast<size_t>(got));
        for (const char* end : {"\r\n\r\n", "\n\n"}) {
            const size_t found = reply.find(end);
            if (found != std::string::npos && found < headEnd) {
                headEnd = found;
                bodyStart = found + std::strlen(end);
            }
        }
        if (headEnd == std::string::npos && reply.size() >= server.largestHead) {
            return {};  // a head without end
        }
    }
    long long contentLength = -1;
    if (!readHead(reply.substr(0, headEnd), contentLength)) {
        return {};  // an error page is no reply
    }
    std::string body = reply.substr(bodyStart);
    const size_t wanted = contentLength >= 0
                              ? std::min<size_t>(kLargestBody, static_cast<size_t>(contentLength))
                              : kLargestBody;
    while (body.size() < wanted) {
        const ssize_t got =
            receive(socket.fd(), buffer, std::min(sizeof buffer, wanted - body.size()), deadline);
        if (got < 0) {
            return {};  // cut off by the deadline: the address may be cut too
        }
        if (got == 0) {
            break;
        }
        body.append(buffer, static_cast<size_t>(got));
    }
    body.resize(std::min(body.size(), kLargestBody));
    return readVersionReply(body.substr(0, body.find('\0')), buildNumberOf(kProgramVersion));
}

struct BackgroundVersionCheck::Shared {
    std::mutex mutex;
    bool abandoned = false;
    bool finished = false;
};

BackgroundVersionCheck::BackgroundVersionCheck(const VersionServer& server, Show show,
                                               Deliver deliver)
    : shared_(std::make_shared<Shared>()) {
    std::thread([shared = shared_, server, show = std::move(show), deliver = std::move(deliver)] {
        const VersionCheckResult result = checkForNewVersion(server);
        // Under the lock, so that the owner cannot go (and the program end) meanwhile.
        std::lock_guard<std::mutex> guard(shared->mutex);
        shared->finished = true;
        if (shared->abandoned) {
            return;
        }
        deliver([shared, show, result] {
            {
                std::lock_guard<std::mutex> again(shared->mutex);
                if (shared->abandoned) {
                    return;
                }
            }
            show(result);
        });
    }).detach();
}

BackgroundVersionCheck::~BackgroundVersionCheck() {
    std::lock_guard<std::mutex> guard(shared_->mutex);
    shared_->abandoned = true;
}

bool BackgroundVersionCheck::finished() const {
    std::lock_guard<std::mutex> guard(shared_->mutex);
    return shared_->finished;
}

}  // namespace varlowe

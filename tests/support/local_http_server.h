#pragma once

// The stand-in version-check server (version_server.py) as a child process of the test.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "capture_builder.h"

namespace varlowe::testsupport {

class LocalHttpServer {
  public:
    LocalHttpServer(const std::string& mode, const std::string& reply) : log_("requests.log") {
        int out[2];
        if (pipe(out) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            const std::string script =
                std::string(VARLOWE_SOURCE_DIR) + "/tests/support/version_server.py";
            execlp("python3", "python3", script.c_str(), mode.c_str(), reply.c_str(),
                   log_.path().c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        FILE* lines = fdopen(out[0], "r");
        unsigned port = 0;
        if (lines != nullptr && std::fscanf(lines, "%u", &port) == 1) {
            port_ = static_cast<uint16_t>(port);
        }
        if (lines != nullptr)
            std::fclose(lines);
    }
    ~LocalHttpServer() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    uint16_t port() const { return port_; }
    // The request lines received so far.
    std::string requests() const { return fileText(log_.path()); }

  private:
    TempFile log_;
    pid_t pid_ = -1;
    uint16_t port_ = 0;
};

}  // namespace varlowe::testsupport

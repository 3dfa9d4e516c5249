#pragma once

#include "shell_run.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <filesystem>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

// A PostgreSQL server of a test's own: a cluster made by initdb in a scratch
// folder and run by pg_ctl on a free port of 127.0.0.1, as the `postgres`
// account when the tests run as root (the server refuses root), stopped and
// removed at the end. Its one role, `varnel`, is trusted from 127.0.0.1.
namespace varnel::testing {

class PostgresServer {
  public:
    PostgresServer() {
        m_bin = binFolder();
        if (m_bin.empty()) {
            ADD_FAILURE() << "no initdb under /usr/lib/postgresql (is postgresql installed?)";
            return;
        }
        char folder[] = "/tmp/varnel-pg-XXXXXX";
        if (!mkdtemp(folder)) {
            ADD_FAILURE() << "no scratch folder for the server";
            return;
        }
        m_folder = folder;
        m_port = freePort();
        if (geteuid() == 0)
            run("chown postgres " + m_folder, false);
        const auto made = run(tool("initdb") + " -D " + data() +
                                  " -U varnel --auth=trust -E UTF8 --no-sync --no-instructions",
                              true);
        m_ready = made.status == 0 && start();
        if (!m_ready)
            ADD_FAILURE() << "the server did not start: " << made.out << log();
    }
    ~PostgresServer() {
        if (!m_folder.empty()) {
            stop();
            std::filesystem::remove_all(m_folder);
        }
    }
    PostgresServer(const PostgresServer &) = delete;
    PostgresServer &operator=(const PostgresServer &) = delete;

    bool ready() const { return m_ready; }
    std::string url() const {
        return "postgresql://varnel@127.0.0.1:" + std::to_string(m_port) + "/postgres";
    }
    bool start() {
        return run(tool("pg_ctl") + " -D " + data() + " -l " + m_folder + "/log -w -o \"-p " +
                       std::to_string(m_port) + " -k " + m_folder +
                       " -c listen_addresses=127.0.0.1 -c fsync=off\" start",
                   true)
                   .status == 0;
    }
    // Stopped at once, as a crash or a pulled cable would: no session is
    // waited for.
    bool stop() {
        return run(tool("pg_ctl") + " -D " + data() + " -m immediate -w stop", true).status == 0;
    }
    std::string log() const { return run("cat " + m_folder + "/log", false).out; }

  private:
    static std::string binFolder() {
        std::string found;
        std::error_code e;
        for (const auto &entry : std::filesystem::directory_iterator("/usr/lib/postgresql", e))
            if (std::filesystem::exists(entry.path() / "bin/initdb"))
                found = std::max(found, (entry.path() / "bin").string());
        return found;
    }
    static int freePort() {
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a);
        getsockname(s, reinterpret_cast<sockaddr *>(&a), &size);
        close(s);
        return ntohs(a.sin_port);
    }
    std::string tool(const char *name) const { return m_bin + "/" + name; }
    std::string data() const { return m_folder + "/data"; }
    // As the server's account where the tests run as root.
    ShellOutcome run(const std::string &command, bool asServer) const {
        const std::string line =
            asServer && geteuid() == 0 ? "runuser -u postgres -- " + command : command;
        return runShell(line + " 2>&1");
    }

    std::string m_bin, m_folder;
    int m_port = 0;
    bool m_ready = false;
};

} // namespace varnel::testing

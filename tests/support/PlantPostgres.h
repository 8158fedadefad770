#pragma once
// A PostgreSQL 15 server of a test's own, from Debian's package: a cluster
// made by initdb in a folder under /tmp, the server on 127.0.0.1 and a free
// port with its socket in that folder. The server refuses to run as root,
// so a test run as root (CI) runs it as "nobody", the folder its own.
// Every wait is bounded; the server is stopped (or killed) with the test.
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/PgDb.h"
#include "support/ChildProcess.h"

inline constexpr const char* PG_BIN = "/usr/lib/postgresql/15/bin";

inline int freeTcpPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof addr;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size) == 0)
        port = ntohs(addr.sin_port);
    if (fd >= 0) ::close(fd);
    return port;
}

class PlantPostgres {
public:
    PlantPostgres() = default;
    PlantPostgres(const PlantPostgres&) = delete;
    PlantPostgres& operator=(const PlantPostgres&) = delete;
    ~PlantPostgres() {
        stop();
        std::error_code ec;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
    }

    static bool installed() { return ::access((std::string(PG_BIN) + "/initdb").c_str(), X_OK) == 0; }

    // Makes the cluster the first time, then starts the server on the same
    // port each time; true once it takes logins.
    bool start() {
        if (dir_.empty() && !makeCluster()) return false;
        if (port_ == 0) port_ = freeTcpPort();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            // A server killed a moment ago may leave its backends a moment
            // longer: the new one refuses to start until they are gone.
            if (server_.pid <= 0) {
                ChildOptions options;
                options.stderrFile = dir_ + "/server.log";
                server_.start(asServerUser({std::string(PG_BIN) + "/postgres", "-D", dir_ + "/data", "-p",
                                            std::to_string(port_), "-k", dir_, "-c", "listen_addresses=127.0.0.1",
                                            "-c", "fsync=off"}),
                              options);
            }
            PgDb db;
            if (db.connect(uri("postgres"), 1000) == PgStatus::Ok) return true;
            if (server_.wait(100)) server_.pid = -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    void stop() { signalServer(SIGINT); }   // a fast shutdown: the clients are cut off
    void kill() { signalServer(SIGKILL); }  // without a word, as by a power cut

    int port() const { return port_; }
    std::string uri(const std::string& database, const std::string& user = "postgres",
                    const std::string& extra = "") const {
        return "postgresql://" + user + "@127.0.0.1:" + std::to_string(port_) + "/" + database + extra;
    }
    // The name messages give the server by.
    std::string name(const std::string& db) const { return "127.0.0.1:" + std::to_string(port_) + "/" + db; }
    // Runs statements as the superuser; the first column of the first row,
    // or "error: ..." when they fail.
    std::string sql(const std::string& database, const std::string& statements) const {
        PgDb db;
        std::vector<PgRow> rows;
        if (db.connect(uri(database), 3000) != PgStatus::Ok) return "error: " + db.lastError();
        if (db.exec(statements, {}, 30000, &rows) != PgStatus::Ok) return "error: " + db.lastError();
        return rows.empty() || rows[0].empty() ? std::string() : rows[0][0].value_or("NULL");
    }

private:
    static bool root() { return ::geteuid() == 0; }
    static std::vector<std::string> asServerUser(std::vector<std::string> argv) {
        if (root()) argv.insert(argv.begin(), {"/usr/sbin/runuser", "-u", "nobody", "--"});
        return argv;
    }
    bool makeCluster() {
        char folder[] = "/tmp/fs-plant-XXXXXX";
        if (!::mkdtemp(folder)) return false;
        dir_ = folder;
        if (root()) {
            const passwd* nobody = ::getpwnam("nobody");
            if (!nobody || ::chown(folder, nobody->pw_uid, nobody->pw_gid) != 0) return false;
        }
        Child initdb;
        ChildOptions options;
        options.stderrFile = dir_ + "/initdb.log";
        options.workingDirectory = dir_;
        options.captureStdout = true;   // its account of what it made is of no use here
        return initdb.start(asServerUser({std::string(PG_BIN) + "/initdb", "-D", dir_ + "/data", "-A", "trust",
                                          "-U", "postgres", "-E", "UTF8", "--no-sync", "--locale=C.UTF-8"}),
                            options) &&
               initdb.exitCode(60000) == 0;
    }
    // The postmaster itself (runuser in between forwards nothing we need).
    pid_t postmaster() const {
        std::ifstream pidFile(dir_ + "/data/postmaster.pid");
        long pid = 0;
        pidFile >> pid;
        return static_cast<pid_t>(pid);
    }
    void signalServer(int signal) {
        if (server_.pid <= 0) return;
        if (const pid_t pid = postmaster(); pid > 0) ::kill(pid, signal);
        if (!server_.wait(15000)) server_.stop();
        server_.pid = -1;
    }
    std::string dir_;
    int port_ = 0;
    Child server_;
};

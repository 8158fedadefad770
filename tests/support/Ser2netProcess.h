#pragma once
// ser2net as a child process in front of serial lines (fieldsim's
// pseudo-terminals): one connection per line, each on a free loopback port
// with the accepter it is given, written to a configuration file of the
// test's; started and waited for until every port listens (within 5 s).
//
// Accepters as ser2net 4.3 writes them (the port is added at the end):
//   rfc2217   telnet(rfc2217=true),tcp(nodelay=true),127.0.0.1,PORT
//   tcp       tcp(nodelay=true),127.0.0.1,PORT
//   rfc2217s  telnet(rfc2217=true),ssl(key=KEY,cert=CERT),tcp(nodelay=true),127.0.0.1,PORT
//   tcps      ssl(key=KEY,cert=CERT),tcp(nodelay=true),127.0.0.1,PORT
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/ChildProcess.h"
#include "support/ScriptedPortServer.h"

struct Ser2netLine {
    Ser2netLine(std::string scheme_, std::string device_, std::string cert_ = {}, std::string key_ = {})
        : scheme(std::move(scheme_)), device(std::move(device_)), cert(std::move(cert_)), key(std::move(key_)) {}
    std::string scheme;   // rfc2217, tcp, rfc2217s or tcps
    std::string device;   // the serial line it serves
    std::string cert;     // TLS: its certificate and key, when not start()'s
    std::string key;
    uint16_t port = 0;    // set by start
    std::string url() const { return scheme + "://127.0.0.1:" + std::to_string(port); }
};

struct Ser2netProcess {
    static constexpr const char* Program = "/usr/sbin/ser2net";
    Child child;
    std::vector<Ser2netLine> lines;
    std::string config;

    static bool installed() { return access(Program, X_OK) == 0; }

    static std::string accepter(const std::string& scheme, const std::string& cert, const std::string& key) {
        const std::string tls = "ssl(key=" + key + ",cert=" + cert + "),";
        if (scheme == "rfc2217") return "telnet(rfc2217=true),tcp(nodelay=true)";
        if (scheme == "rfc2217s") return "telnet(rfc2217=true)," + tls + "tcp(nodelay=true)";
        if (scheme == "tcps") return tls + "tcp(nodelay=true)";
        return "tcp(nodelay=true)";
    }

    // dir: where the configuration and ser2net's log go; cert and key: the
    // TLS lines' certificate.
    bool start(const std::string& dir, std::vector<Ser2netLine> serve, const std::string& cert = {},
               const std::string& key = {}) {
        lines = std::move(serve);
        config = dir + "/ser2net.yaml";
        std::ofstream yaml(config);
        int n = 0;
        for (Ser2netLine& line : lines) {
            line.port = ScriptedPortServer::closedPort();
            yaml << "connection: &bus" << n++ << "\n  accepter: "
                 << accepter(line.scheme, line.cert.empty() ? cert : line.cert, line.key.empty() ? key : line.key)
                 << ",127.0.0.1," << line.port << "\n  connector: serialdev," << line.device
                 << ",9600e81,local\n  options:\n    chardelay: false\n";
        }
        yaml.close();
        ChildOptions how;
        how.stderrFile = dir + "/ser2net.log";
        how.captureStdout = true;
        if (!child.start({Program, "-n", "-u", "-c", config}, how)) return false;
        for (int tries = 0; tries < 250; ++tries) {
            bool all = true;
            for (const Ser2netLine& line : lines) all = all && listening(line.port);
            if (all) return true;
            usleep(20000);
        }
        return false;
    }

    // Read from the kernel's socket table, not by connecting: ser2net takes a
    // probe's connection as a client's, opens the line for it and tears it
    // down after it, and a client coming in between is turned away.
    static bool listening(uint16_t port) {
        std::ifstream table("/proc/net/tcp");
        char wanted[16];
        std::snprintf(wanted, sizeof wanted, ":%04X", unsigned(port));
        std::string line;
        std::getline(table, line);   // the heading
        while (std::getline(table, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state;
            fields >> slot >> local >> remote >> state;
            if (state == "0A" && local.size() > 5 && local.compare(local.size() - 5, 5, wanted) == 0) return true;
        }
        return false;
    }
};

#pragma once
// Certificates for the TLS tests, made at test time in a folder of the test's
// with the openssl program (each step within 20 s): an authority (ca.pem)
// and, signed by it, a server certificate for 127.0.0.1 and localhost
// (good.pem), the same made out for two days in 2020 (expired.pem), one for
// another host (wronghost.pem); and one for 127.0.0.1 signed by itself
// (self.pem). The server certificates share one key (server.key), the
// self-signed one has its own (self.key).
#include <fstream>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

struct TestCertificates {
    std::string dir;
    std::string ca, key, good, expired, wrongHost, selfSigned, selfKey;
    std::string failure;   // what did not work, when make() is false

    bool make(const std::string& folder) {
        dir = folder;
        ca = dir + "/ca.pem";
        key = dir + "/server.key";
        good = dir + "/good.pem";
        expired = dir + "/expired.pem";
        wrongHost = dir + "/wronghost.pem";
        selfSigned = dir + "/self.pem";
        selfKey = dir + "/self.key";
        // A signing authority of the minimal kind "openssl ca" needs, which
        // alone can set a certificate's dates in the past.
        std::ofstream(dir + "/ca.cnf") << "[ca]\ndefault_ca = own\n[own]\ndir = " << dir
                                       << "\ndatabase = $dir/index.txt\nnew_certs_dir = $dir\nserial = $dir/serial\n"
                                          "default_md = sha256\npolicy = any\ncopy_extensions = copy\n"
                                          "unique_subject = no\n[any]\ncommonName = supplied\n";
        std::ofstream(dir + "/index.txt");
        std::ofstream(dir + "/serial") << "1000\n";
        const std::string ec = "ec:" + dir + "/curve.pem";
        const std::string here = "subjectAltName=IP:127.0.0.1,IP:::1,DNS:localhost";
        using Args = std::vector<std::string>;
        return run({"ecparam", "-name", "prime256v1", "-out", dir + "/curve.pem"}) &&
               run({"req", "-x509", "-newkey", ec, "-nodes", "-keyout", dir + "/ca.key", "-out", ca, "-days", "3",
                    "-subj", "/CN=Plant test authority"}) &&
               run({"req", "-newkey", ec, "-nodes", "-keyout", key, "-out", dir + "/here.csr", "-subj", "/CN=localhost",
                    "-addext", here}) &&
               run({"req", "-new", "-key", key, "-out", dir + "/there.csr", "-subj", "/CN=plc-7.plant.example",
                    "-addext", "subjectAltName=DNS:plc-7.plant.example"}) &&
               sign(dir + "/here.csr", good, {"-days", "3"}) &&
               sign(dir + "/here.csr", expired, {"-startdate", "20200101000000Z", "-enddate", "20200103000000Z"}) &&
               sign(dir + "/there.csr", wrongHost, Args{"-days", "3"}) &&
               run({"req", "-x509", "-newkey", ec, "-nodes", "-keyout", selfKey, "-out", selfSigned, "-days", "3",
                    "-subj", "/CN=localhost", "-addext", here});
    }

private:
    bool sign(const std::string& request, const std::string& out, const std::vector<std::string>& dates) {
        std::vector<std::string> args = {"ca", "-batch", "-notext", "-config", dir + "/ca.cnf", "-cert", ca,
                                         "-keyfile", dir + "/ca.key", "-in", request, "-out", out};
        args.insert(args.end(), dates.begin(), dates.end());
        return run(args);
    }
    bool run(std::vector<std::string> args) {
        args.insert(args.begin(), "/usr/bin/openssl");
        ChildOptions how;
        how.stderrFile = dir + "/openssl.log";
        how.captureStdout = true;
        Child child;
        if (child.start(args, how) && child.exitCode(20000) == 0) return true;
        failure = args[1] + " " + args.back() + ": see " + how.stderrFile;
        return false;
    }
};

// Network ports against the servers a plant has: every way a scripted server
// can fail to become a port, in one table; ser2net over TLS; the RFC 2217
// server of Python's serial library; a wide-area round trip through a
// delaying relay; several network ports at once, on threads of one process
// and as the program's job on eight buses.
#include <gtest/gtest.h>
#include <netdb.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <thread>
#include <type_traits>

#include "files/ParameterFiles.h"
#include "link/DeviceLink.h"
#include "platform/AnyPort.h"
#include "session/AppContext.h"
#include "session/ConnectCommands.h"
#include "support/ChildProcess.h"
#include "support/DelayRelay.h"
#include "support/FieldsimProcess.h"
#include "support/FixedClock.h"
#include "support/ScriptedPortServer.h"
#include "support/Ser2netProcess.h"
#include "support/SimFixture.h"
#include "support/Support.h"
#include "support/TestCertificates.h"

namespace fs = std::filesystem;

namespace {

using Script = ScriptedPortServer::Script;

// The program's own port choice, trusting the authorities of caFile for TLS
// (empty: the system's), as the program's options hand it over.
template <typename Port = AnyPort>
std::unique_ptr<ByteTransport> programsPort(const std::string& caFile) {
    if constexpr (std::is_constructible_v<Port, std::function<std::string()>>)
        return std::make_unique<Port>(std::function<std::string()>([caFile] { return caFile; }));
    else
        return std::make_unique<Port>();
}

// A link on that port, with the shipped English texts.
struct NetLink {
    DeviceLink link;
    RecordingOperator op;
    AppContext ctx{link, &op};
    explicit NetLink(const std::string& url, const std::string& caFile = {}) {
        link.setTransport(programsPort(caFile));
        link.setPortResolver([url](unsigned) { return url; });
        ctx.texts.messages.Load(FS_DIST_DIR "/messages.eng");
        ctx.seedClock = std::make_shared<FixedClock>(0x1234567);
    }
    std::string why() { return portProblemText(ctx, link.openFailure()); }
    // Open, scanned and connected to the first device, as Connect leaves it.
    bool connect() {
        if (!link.Open(1) || link.ScanBus() < 1) return false;
        if (!link.Select(link.BusEntryAddress(1)) || !link.ReadIdentity(true)) return false;
        ctx.window().deviceSelected = true;
        return true;
    }
    std::string save(const std::string& path) {
        op.files.push_back(path);
        saveParameterFile(ctx);
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // Saves the device, loads the file back and saves again: the two must
    // be the file saved over the terminal.
    void saveLoadSave(const TempDir& dir, const std::string& overTheTerminal) {
        EXPECT_EQ(save(dir.file("net.NFO")), overTheTerminal);
        op.files.push_back(dir.file("net.NFO"));
        for (int i = 0; i < 8; ++i) op.answers.push_back(true);
        loadParameterFileCommand(ctx);
        EXPECT_FALSE(link.portLost());
        EXPECT_EQ(save(dir.file("again.NFO")), overTheTerminal) << "the load changed the device";
    }
};

// Certificates made once for the whole run.
const TestCertificates& certificates() {
    static TempDir dir;
    static TestCertificates made;
    static const bool ok = made.make(dir.path());
    if (!ok) ADD_FAILURE() << "the test certificates could not be made: " << made.failure;
    return made;
}

// A bench's bus: one device of two dozen parameters, values that hold
// still, so that every save of it is the same file. Small enough that a save
// and a load over a slow link take seconds, not minutes.
// turnaroundUs: the device's own time before it answers.
std::string benchBus(unsigned turnaroundUs = 0) {
    std::string text = "device 9 VALVE01\n version 2\n pversion 3\n param 0102 onoff off\n";
    if (turnaroundUs) text += " turnaround " + std::to_string(turnaroundUs) + "\n";
    for (int n = 0; n < 24; ++n) {
        char line[40];
        std::snprintf(line, sizeof line, " param %04X 4 %d\n", 0x0110 + 2 * n, 7 * n + 3);
        text += line;
    }
    return text;
}

// fieldsim serving the bench's bus on a terminal, its wire logged.
struct StillBus {
    Child sim;
    std::string pty;
    std::string wireLog;
    bool start(const TempDir& dir, const std::string& name = "still", const std::string& busText = benchBus()) {
        dir.write(name + ".bus", busText);
        wireLog = dir.file(name + ".wire");
        return startFieldsim(sim, {FS_DIST_DIR "/fieldsim", "--restart-ms", "200", "--wire-log", wireLog,
                                   dir.file(name + ".bus")},
                             pty);
    }
    // The file a save over the terminal writes.
    std::string savedDirectly(const TempDir& dir) {
        NetLink local(pty);
        if (!local.connect()) return {};
        return local.save(dir.file("direct.NFO"));
    }
};

// The program, run as a job in the installation `dir`, its table's lines
// in out; its exit code.
int runProgram(const TempDir& dir, std::vector<std::string> args, std::vector<std::string>& out) {
    args.insert(args.begin(), FS_DIST_DIR "/fieldservice");
    ChildOptions how;
    how.workingDirectory = dir.path();
    how.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"};
    how.stderrFile = dir.file("job.err");
    how.captureStdout = true;
    Child job;
    if (!job.start(args, how)) return -1;
    out.clear();
    for (std::string line; !(line = job.readLine(120000)).empty();) out.push_back(line);
    return job.exitCode(120000);
}

// Whether the name resolves to ::1 as well (the hosts file says so on most
// machines, not in every container).
bool localhostHasIpv6() {
    addrinfo hints{};
    hints.ai_family = AF_INET6;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo("localhost", nullptr, &hints, &found) != 0) return false;
    freeaddrinfo(found);
    return true;
}

// The program is not built in every build (the sanitizers' build the tests alone).
bool programBuilt() { return access(FS_DIST_DIR "/fieldservice", X_OK) == 0; }

void installation(const TempDir& dir, const std::string& extra = {}) {
    for (const char* name : {"messages.eng", "errors.eng", "parameters.eng"})
        fs::copy_file(FS_DIST_DIR "/" + std::string(name), dir.file(name), fs::copy_options::overwrite_existing);
    dir.write("config.ini", "[BASIC Configurations]\nlanguage=eng\nserial_port=1\n" + extra);
}

std::vector<fs::path> savedFiles(const std::string& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".NFO") files.push_back(entry.path());
    return files;
}

// One server the network port meets, and what it must make of it.
struct Meeting {
    const char* name;
    std::optional<Script> script;   // none: the address is all there is
    enum Cert { Plain, Good, Expired, WrongHost, SelfSigned } cert;
    bool ipv6;                      // the server listens on ::1
    std::string url;                // with a server: "SCHEME://HOST" and its port is added
    PortProblem problem;            // None: it opens and carries a request and its answer
    bool lineHearsUs;               // our bytes may reach its line (a TLS hello on a raw port)
};

void PrintTo(const Meeting& m, std::ostream* os) { *os << m.name; }

class NetworkServers : public testing::TestWithParam<Meeting> {};

}  // namespace

// Every server a port address can lead to, under each scheme that makes
// sense for it: it becomes a port and carries a request and its answer, or
// the port says why not, names the address, stays closed and (but where the
// server cannot be told from a raw line before we speak) sent its line
// nothing.
TEST_P(NetworkServers, BecomeAPortOrSayWhy) {
    const Meeting& m = GetParam();
    if (m.ipv6 && m.url.find("localhost") != std::string::npos && !localhostHasIpv6())
        GTEST_SKIP() << "localhost is not ::1 here";
    const TestCertificates& certs = certificates();
    std::unique_ptr<ScriptedPortServer> server;
    std::string url = m.url;
    if (m.script) {
        ScriptedPortServer::Where where;
        where.ipv6 = m.ipv6;
        const std::string certFor[] = {"", certs.good, certs.expired, certs.wrongHost, certs.selfSigned};
        where.tlsCert = certFor[m.cert];
        where.tlsKey = m.cert == Meeting::SelfSigned ? certs.selfKey : m.cert ? certs.key : "";
        server = std::make_unique<ScriptedPortServer>(*m.script, where);
        ASSERT_TRUE(server->ready());
        url += ":" + std::to_string(server->port());
    }
    NetLink net(url, m.cert == Meeting::SelfSigned ? "" : certs.ca);
    const auto start = std::chrono::steady_clock::now();
    const bool opened = net.link.Open(1);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0) << url;
    if (m.problem == PortProblem::None) {
        ASSERT_TRUE(opened) << net.why();
        if (m.script == Script::Silent) return;   // a raw port before its bus answers
        ASSERT_TRUE(net.link.WriteByte(0x81));
        EXPECT_EQ(net.link.ReadByte(2000), 0x01u) << url;
        return;
    }
    EXPECT_FALSE(opened) << url;
    EXPECT_FALSE(net.link.isOpen());
    EXPECT_EQ(net.link.openFailure().problem, m.problem) << url << ": " << net.why();
    // An overlong host is named by its head and its port.
    EXPECT_NE(net.why().find(url.substr(0, 40)), std::string::npos) << net.why();
    if (server && !m.lineHearsUs) {
        EXPECT_EQ(server->lineBytes(), 0u) << url;
    }
}

INSTANTIATE_TEST_SUITE_P(
    SchemeByServer, NetworkServers,
    testing::Values(
        Meeting{"rfc2217_rfc2217", Script::Rfc2217, Meeting::Plain, false, "rfc2217://127.0.0.1", PortProblem::None, false},
        Meeting{"tcp_raw", Script::Raw, Meeting::Plain, false, "tcp://127.0.0.1", PortProblem::None, false},
        Meeting{"tcp_silent", Script::Silent, Meeting::Plain, false, "tcp://127.0.0.1", PortProblem::None, false},
        Meeting{"rfc2217_silent", Script::Silent, Meeting::Plain, false, "rfc2217://127.0.0.1", PortProblem::NotTelnet, false},
        Meeting{"rfc2217_raw", Script::Raw, Meeting::Plain, false, "rfc2217://127.0.0.1", PortProblem::NotTelnet, false},
        Meeting{"rfc2217_plainTelnet", Script::PlainTelnet, Meeting::Plain, false, "rfc2217://127.0.0.1",
                PortProblem::NoComPortOption, false},
        Meeting{"rfc2217_busy", Script::BusyTelnet, Meeting::Plain, false, "rfc2217://127.0.0.1", PortProblem::RemoteInUse, false},
        Meeting{"tcp_busy", Script::Busy, Meeting::Plain, false, "tcp://127.0.0.1", PortProblem::RemoteInUse, false},
        Meeting{"rfc2217_closesAtOnce", Script::ClosesAtOnce, Meeting::Plain, false, "rfc2217://127.0.0.1",
                PortProblem::ClosedAtOnce, false},
        Meeting{"tcp_closesAtOnce", Script::ClosesAtOnce, Meeting::Plain, false, "tcp://127.0.0.1",
                PortProblem::ClosedAtOnce, false},
        // Every address a name has is tried: localhost is ::1 and 127.0.0.1.
        Meeting{"rfc2217_ipv6", Script::Rfc2217, Meeting::Plain, true, "rfc2217://[::1]", PortProblem::None, false},
        Meeting{"rfc2217_localhostOnIpv4", Script::Rfc2217, Meeting::Plain, false, "rfc2217://localhost", PortProblem::None,
                false},
        Meeting{"tcp_localhostOnIpv6", Script::Raw, Meeting::Plain, true, "tcp://localhost", PortProblem::None, false},
        Meeting{"rfc2217s_good", Script::Rfc2217, Meeting::Good, false, "rfc2217s://127.0.0.1", PortProblem::None, false},
        Meeting{"tcps_good", Script::Raw, Meeting::Good, false, "tcps://localhost", PortProblem::None, false},
        Meeting{"tcps_goodOnIpv6", Script::Raw, Meeting::Good, true, "tcps://[::1]", PortProblem::None, false},
        Meeting{"rfc2217s_expired", Script::Rfc2217, Meeting::Expired, false, "rfc2217s://127.0.0.1",
                PortProblem::TlsExpired, false},
        Meeting{"tcps_expired", Script::Raw, Meeting::Expired, false, "tcps://127.0.0.1", PortProblem::TlsExpired, false},
        Meeting{"rfc2217s_wrongHost", Script::Rfc2217, Meeting::WrongHost, false, "rfc2217s://127.0.0.1",
                PortProblem::TlsHostMismatch, false},
        Meeting{"tcps_wrongHost", Script::Raw, Meeting::WrongHost, false, "tcps://localhost", PortProblem::TlsHostMismatch,
                false},
        Meeting{"rfc2217s_selfSigned", Script::Rfc2217, Meeting::SelfSigned, false, "rfc2217s://127.0.0.1",
                PortProblem::TlsUnknownAuthority, false},
        // A TLS server is as silent as a raw port: told apart only by sending, so not told apart.
        Meeting{"rfc2217_toTls", Script::Rfc2217, Meeting::Good, false, "rfc2217://127.0.0.1", PortProblem::NotTelnet,
                false},
        Meeting{"rfc2217s_toPlain", Script::Rfc2217, Meeting::Plain, false, "rfc2217s://127.0.0.1",
                PortProblem::TlsNotSpoken, false},
        Meeting{"tcps_toRaw", Script::Raw, Meeting::Plain, false, "tcps://127.0.0.1", PortProblem::TlsNotSpoken, true},
        Meeting{"rfc2217s_silent", Script::Silent, Meeting::Plain, false, "rfc2217s://127.0.0.1",
                PortProblem::TlsNotSpoken, true},
        Meeting{"linkLocalWithoutScope", std::nullopt, Meeting::Plain, false, "rfc2217://[fe80::1]:4001",
                PortProblem::LinkLocalNoScope, false},
        Meeting{"userInformation", std::nullopt, Meeting::Plain, false, "rfc2217://tech@127.0.0.1:4001",
                PortProblem::BadAddress, false},
        Meeting{"hostOver253", std::nullopt, Meeting::Plain, false, "tcp://" + std::string(254, 'a') + ":4001",
                PortProblem::BadAddress, false}),
    [](const testing::TestParamInfo<Meeting>& info) { return std::string(info.param.name); });

// ser2net over TLS in front of fieldsim's terminal, one connection per TLS
// scheme, with a certificate signed by the plant's authority for this host.
// (What a bad certificate makes of a port: the scheme-by-server table.)
class Ser2netTls : public testing::Test {
protected:
    enum Line { Rfc2217s, Tcps };
    void SetUp() override {
        if (!Ser2netProcess::installed()) GTEST_SKIP() << "ser2net is not installed";
        const TestCertificates& certs = certificates();
        ASSERT_TRUE(bus.start(dir));
        std::vector<Ser2netLine> lines = {{"rfc2217s", bus.pty}, {"tcps", bus.pty}};
        ASSERT_TRUE(ser2net.start(dir.path(), lines, certs.good, certs.key)) << dir.read("ser2net.log");
    }
    std::string url(Line line) const {
        const Ser2netLine& l = ser2net.lines[line];
        return l.scheme + "://127.0.0.1:" + std::to_string(l.port);
    }

    TempDir dir;
    StillBus bus;
    Ser2netProcess ser2net;
};

// The program's own jobs save and load over both TLS schemes, trusting the
// authority named in config.ini.
TEST_F(Ser2netTls, SaveAndLoadWithThePlantsAuthority) {
    if (!programBuilt()) GTEST_SKIP() << "the program is not built";
    installation(dir, "tls_ca_file=" + certificates().ca + "\n");
    for (Line line : {Rfc2217s, Tcps}) {
        SCOPED_TRACE(url(line));
        const std::string folder = dir.file(ser2net.lines[line].scheme);
        fs::create_directory(folder);
        std::vector<std::string> out;
        ASSERT_EQ(runProgram(dir, {"--save", folder + "/", "--port", url(line)}, out), 0) << dir.read("job.err");
        const auto saved = savedFiles(folder);
        ASSERT_EQ(saved.size(), 1u);
        // A load on one bus reads the device back after it, as set up.
        EXPECT_EQ(runProgram(dir, {"--load", saved[0].string(), "--port", url(line)}, out), 0) << dir.read("job.err");
    }
}

// The RFC 2217 server of Python's serial library, a second implementation
// with its own telnet dialect, in front of fieldsim's terminal.
TEST(PythonRfc2217, SaveAndLoadThroughItsServer) {
    const char* example = "/usr/share/doc/python3-serial/examples/rfc2217_server.py";
    if (access(example, R_OK) != 0) GTEST_SKIP() << "python3-serial is not installed";
    TempDir dir;
    StillBus bus;
    ASSERT_TRUE(bus.start(dir));
    const std::string direct = bus.savedDirectly(dir);
    ASSERT_FALSE(direct.empty());
    const uint16_t port = ScriptedPortServer::closedPort();
    Child server;
    ChildOptions how;
    how.captureStdout = true;
    how.stderrFile = dir.file("server.log");
    ASSERT_TRUE(server.start({"/usr/bin/python3", FS_SOURCE_DIR "/tests/support/rfc2217_pty_server.py", bus.pty,
                              std::to_string(port)},
                             how));
    ASSERT_EQ(server.readLine(10000), "listening") << dir.read("server.log");
    NetLink net("rfc2217://127.0.0.1:" + std::to_string(port));
    ASSERT_TRUE(net.connect()) << net.why() << "\n" << dir.read("server.log");
    net.saveLoadSave(dir, direct);
}

// A wide-area link: 40 ms there and back between the program and ser2net,
// to a device that takes 20 ms of its own before it answers. A scan finds
// it, a save and a load come out as over the terminal.
TEST(WideArea, ScanSaveAndLoadOverAFortyMillisecondRoundTrip) {
    if (!Ser2netProcess::installed()) GTEST_SKIP() << "ser2net is not installed";
    TempDir dir;
    StillBus bus;
    ASSERT_TRUE(bus.start(dir, "slow", benchBus(20000)));
    const std::string direct = bus.savedDirectly(dir);
    ASSERT_FALSE(direct.empty());
    Ser2netProcess ser2net;
    ASSERT_TRUE(ser2net.start(dir.path(), {{"rfc2217", bus.pty}})) << dir.read("ser2net.log");
    DelayRelay relay(ser2net.lines[0].port, 40);
    NetLink net(relay.url("rfc2217"));
    ASSERT_TRUE(net.connect()) << net.why();
    net.saveLoadSave(dir, direct);
}

// Four network ports used at once by threads of one process (the
// ThreadSanitizer run watches them share nothing): each scans its bus,
// connects and saves what the terminal saves.
TEST(NetworkPorts, SeveralAtOnceOnThreads) {
    if (!Ser2netProcess::installed()) GTEST_SKIP() << "ser2net is not installed";
    constexpr int Ports = 4;
    TempDir dir;
    StillBus buses[Ports];
    std::vector<Ser2netLine> lines;
    for (int n = 0; n < Ports; ++n) {
        ASSERT_TRUE(buses[n].start(dir, "bus" + std::to_string(n)));
        lines.push_back({n % 2 ? "tcp" : "rfc2217", buses[n].pty});
    }
    const std::string direct = buses[0].savedDirectly(dir);
    ASSERT_FALSE(direct.empty());
    Ser2netProcess ser2net;
    ASSERT_TRUE(ser2net.start(dir.path(), lines)) << dir.read("ser2net.log");
    std::string saved[Ports], why[Ports];
    std::vector<std::thread> threads;
    for (int n = 0; n < Ports; ++n)
        threads.emplace_back([&, n] {
            NetLink net(ser2net.lines[size_t(n)].url());
            if (net.connect()) saved[n] = net.save(dir.file("bus" + std::to_string(n) + ".NFO"));
            else why[n] = net.why();
        });
    for (std::thread& t : threads) t.join();
    for (int n = 0; n < Ports; ++n) EXPECT_EQ(saved[n], direct) << ser2net.lines[size_t(n)].url() << ": " << why[n];
}

// The program's job on eight buses behind eight ser2net connections, RFC
// 2217 and raw in turn, three times over: every bus loaded and verified.
TEST(Ser2netBuses, EightLoadedAndVerifiedRepeatedly) {
    if (!Ser2netProcess::installed()) GTEST_SKIP() << "ser2net is not installed";
    if (!programBuilt()) GTEST_SKIP() << "the program is not built";
    constexpr int Buses = 8;
    TempDir dir;
    installation(dir);
    dir.write("bench.bus", benchBus());
    Child sims[Buses];
    std::vector<Ser2netLine> lines;
    for (int n = 0; n < Buses; ++n) {
        std::string pty;
        ASSERT_TRUE(startFieldsim(sims[n], {FS_DIST_DIR "/fieldsim", "--restart-ms", "200", dir.file("bench.bus")}, pty));
        lines.push_back({n % 2 ? "tcp" : "rfc2217", pty});
    }
    Ser2netProcess ser2net;
    ASSERT_TRUE(ser2net.start(dir.path(), lines)) << dir.read("ser2net.log");
    fs::create_directory(dir.file("saved"));
    std::vector<std::string> out;
    ASSERT_EQ(runProgram(dir, {"--save", dir.file("saved") + "/", "--port", ser2net.lines[0].url()}, out), 0)
        << dir.read("job.err");
    const auto saved = savedFiles(dir.file("saved"));
    ASSERT_EQ(saved.size(), 1u);
    std::vector<std::string> all = {"--load", saved[0].string(), "--address", "9"};
    for (const Ser2netLine& line : ser2net.lines) all.insert(all.end(), {"--port", line.url()});
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_EQ(runProgram(dir, all, out), 0) << dir.read("job.err");
        ASSERT_EQ(out.size(), size_t(Buses) + 2);
        for (int n = 0; n < Buses; ++n) {
            const std::string& row = out[size_t(n) + 2];
            EXPECT_EQ(row.rfind(ser2net.lines[size_t(n)].scheme + "://", 0), 0u) << row;
            EXPECT_NE(row.find("VALVE01 (09)  loaded"), std::string::npos) << row;
            EXPECT_NE(row.find("verified"), std::string::npos) << row;
        }
    }
}

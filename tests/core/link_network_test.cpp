// Ports on the network: addresses, the refusals and stalls of servers, line
// errors the server tells, a lost connection, and saving and loading through
// ser2net in front of fieldsim's terminal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <thread>

#include "files/ParameterFiles.h"
#include "link/DeviceLink.h"
#include "platform/AnyPort.h"
#include "platform/NetworkPort.h"
#include "session/AppContext.h"
#include "session/ConnectCommands.h"
#include "session/PortLoss.h"
#include "support/ChildProcess.h"
#include "support/FieldsimProcess.h"
#include "support/FixedClock.h"
#include "support/ScriptedPortServer.h"
#include "support/SimFixture.h"
#include "support/Support.h"
#include "texts/TextFill.h"

namespace {

// A link on the program's own port choice, with the shipped English texts.
struct NetLink {
    DeviceLink link;
    RecordingOperator op;
    AppContext ctx{link, &op};
    explicit NetLink(const std::string& url) {
        link.setTransport(std::make_unique<AnyPort>());
        link.setPortResolver([url](unsigned) { return url; });
        ctx.texts.messages.Load(FS_DIST_DIR "/messages.eng");
        ctx.seedClock = std::make_shared<FixedClock>(0x1234567);
    }
};

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

TEST(NetworkPort, AddressesAreReadStrictly) {
    const std::pair<std::string, bool> cases[] = {
        {"rfc2217://10.0.0.7:4001", true},   {"tcp://plc-7.plant.example:1", true},
        {"tcp://[::1]:65535", true},         {"tcp://127.0.0.1:0", false},
        {"tcp://127.0.0.1:65536", false},    {"tcp://127.0.0.1:40x1", false},
        {"tcp://127.0.0.1:4001/", false},    {"tcp://127.0.0.1:4001 ", false},
        {"tcp://127.0.0.1", false},          {"tcp://:4001", false},
        {"tcp://256.1.1.1:4001", false},     {"tcp://-host:4001", false},
        {"tcp://[::1:4001", false},          {"TCP://h:1", true},
        {"telnet://h:23", false},            {"tcp://h_1:4001", false},
        {"RFC2217S://h:1", true},            {"tcps://[fe80::1%eth0]:1", true},
    };
    for (const auto& [url, valid] : cases) {
        NetworkAddress a;
        EXPECT_EQ(parseNetworkAddress(url, a), valid) << url;
    }
    NetworkAddress a;
    ASSERT_TRUE(parseNetworkAddress("rfc2217s://[fe80::1%25eth0]:4001", a));
    EXPECT_TRUE(a.scheme == NetworkAddress::Scheme::Rfc2217 && a.tls && a.ipv6 && a.host == "fe80::1" &&
                a.scope == "eth0" && a.port == 4001);
}

// Every way a server can fail to become a port: the message names the
// address, comes within the bounds, and the port stays closed.
TEST(NetworkPort, ServersThatDoNotBecomeAPortSayWhy) {
    using Script = ScriptedPortServer::Script;
    struct Case {
        std::optional<Script> script;   // none: the address is all there is
        std::string url;                // with a server: its scheme
        PortProblem problem;
        uint32_t text;
        std::string detail = {};        // what the message says of the server beyond its address
    };
    const Case cases[] = {
        {std::nullopt, "tcp://127.0.0.1:99999", PortProblem::BadAddress, 0x81F0, "\":99999\""},
        {std::nullopt, "rfc2217://[fe80::1]:4001", PortProblem::LinkLocalNoScope, 0x82A3},
        {std::nullopt, "rfc2217://no-such-host.invalid:4001", PortProblem::HostUnknown, 0x81F1,
         "Name or service not known"},
        {std::nullopt, "tcp://127.0.0.1:" + std::to_string(ScriptedPortServer::closedPort()), PortProblem::Refused,
         0x81F2, "127.0.0.1"},
        {Script::Silent, "rfc2217", PortProblem::NotTelnet, 0x82A1},
        {Script::Torn, "rfc2217", PortProblem::ClosedAtOnce, 0x82A4},
        {Script::OddParity, "rfc2217", PortProblem::SettingsRefused, 0x81F5, "odd parity"},
    };
    for (const Case& c : cases) {
        std::unique_ptr<ScriptedPortServer> server;
        std::string url = c.url;
        if (c.script) {
            server = std::make_unique<ScriptedPortServer>(*c.script);
            url = server->url(c.url.c_str());
        }
        NetLink net(url);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(net.link.Open(1)) << url;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, 8.0) << url;
        EXPECT_EQ(net.link.openFailure().problem, c.problem) << url;
        const std::string text = portProblemText(net.ctx, net.link.openFailure());
        EXPECT_NE(text.find(url), std::string::npos) << text;
        const std::string& detail = net.link.openFailure().detail;
        EXPECT_EQ(detail, c.detail) << url;
        const std::string said = detail.empty() ? "" : " (\"" + detail + "\")";
        const bool bracketed = c.text == 0x82A1 || c.text == 0x82A4;
        EXPECT_EQ(text, fillText(net.ctx.message(c.text), {url, bracketed ? said : detail}));
        EXPECT_FALSE(net.link.isOpen());
    }
}

// A parity error the server notifies fails the byte it came with, not the
// next; a server that hangs up, or stops answering with the connection left
// open, is a lost port named by its address.
class ServerGone : public testing::TestWithParam<bool> {};

TEST_P(ServerGone, LineStateThenALostPort) {
    const bool hangsUp = GetParam();
    ScriptedPortServer server(ScriptedPortServer::Script::Rfc2217, 1);
    NetLink net(server.url("rfc2217"));
    ASSERT_TRUE(net.link.Open(1)) << portProblemText(net.ctx, net.link.openFailure());
    EXPECT_FALSE(net.link.echo());
    ASSERT_TRUE(net.link.WriteByte(0x81));
    EXPECT_EQ(net.link.ReadByte(500), uint32_t(ParityError | 0x01));
    ASSERT_TRUE(net.link.WriteByte(0x81));
    EXPECT_EQ(net.link.ReadByte(500), 0x01u);

    if (hangsUp) {
        server.hangUp();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(net.link.ReadByte(2000) & PortFailure);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.0);
    } else {
        // Short reads, as a scan's: the silence is the bus's until the
        // server leaves its probe unanswered.
        server.freeze();
        uint32_t status = 0;
        int timeouts = 0;
        for (; timeouts < 400 && !((status = net.link.ReadByte(50)) & PortFailure); ++timeouts) {}
        EXPECT_TRUE(status & PortFailure);
        EXPECT_GE(timeouts, 5);
    }
    EXPECT_TRUE(net.link.portLost());
    EXPECT_TRUE(reportPortLoss(net.ctx));
    ASSERT_EQ(net.op.messages.size(), 1u);
    EXPECT_NE(net.op.messages[0].text.find(server.url("rfc2217")), std::string::npos);
    EXPECT_FALSE(lostPortIsBack(net.ctx));

    // Connect again after the loss, and again, to a server that is back
    // (the sanitizer run watches the port's own clean-up here); the link
    // closes the last with the program.
    for (int round = 0; round < 3; ++round) {
        ScriptedPortServer back(ScriptedPortServer::Script::Rfc2217);
        net.link.setPortResolver([url = back.url("rfc2217")](unsigned) { return url; });
        ASSERT_TRUE(net.link.Open(1)) << round;
        ASSERT_TRUE(net.link.WriteByte(0x81));
        EXPECT_EQ(net.link.ReadByte(500), 0x01u);
        back.hangUp();
        EXPECT_TRUE(net.link.ReadByte(2000) & PortFailure);
        EXPECT_TRUE(net.link.portLost());
    }
}

INSTANTIATE_TEST_SUITE_P(HangsUpOrFreezes, ServerGone, testing::Bool());

// ser2net in front of fieldsim's terminal, as a plant puts a device server
// in front of its bus.
class Ser2net : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (access("/usr/sbin/ser2net", X_OK) != 0) GTEST_SKIP() << "ser2net is not installed";
        // Held still: the file saved over the network must be the one saved over the terminal.
        std::ifstream demo(FS_DIST_DIR "/demo.bus");
        dir.write("still.bus", stillBusText(std::string(std::istreambuf_iterator<char>(demo), {})));
        ASSERT_TRUE(startFieldsim(sim, {FS_DIST_DIR "/fieldsim", dir.file("still.bus")}, pty));
        port = ScriptedPortServer::closedPort();
        const std::string accepter = std::string(GetParam()) == "rfc2217" ? "telnet(rfc2217=true),tcp(nodelay=true)" : "tcp(nodelay=true)";
        dir.write("ser2net.yaml", "connection: &bus\n  accepter: " + accepter + ",127.0.0.1," +
                                      std::to_string(port) + "\n  connector: serialdev," + pty +
                                      ",9600e81,local\n  options:\n    chardelay: false\n");
        ChildOptions how;
        how.stderrFile = dir.file("ser2net.log");
        how.captureStdout = true;
        ASSERT_TRUE(server.start({"/usr/sbin/ser2net", "-n", "-u", "-c", dir.file("ser2net.yaml")}, how));
        // Listening within 5 s.
        for (int tries = 0; tries < 250 && !listening(); ++tries) usleep(20000);
        ASSERT_TRUE(listening());
    }
    bool listening() const {
        int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(s);
        return ok;
    }
    // Connected to the first device, as Connect leaves it.
    static bool connect(NetLink& net) {
        if (!net.link.Open(1) || net.link.ScanBus() < 1) return false;
        return net.link.Select(net.link.BusEntryAddress(1)) && net.link.ReadIdentity(true);
    }
    std::string saveTo(NetLink& net, const std::string& name) {
        net.op.files.push_back(dir.file(name));
        saveParameterFile(net.ctx);
        return fileBytes(dir.file(name));
    }

    Child sim, server;
    std::string pty;
    uint16_t port = 0;
    TempDir dir;
};

TEST_P(Ser2net, SaveAndLoadAsOverTheTerminal) {
    std::string direct;
    {
        NetLink local(pty);
        ASSERT_TRUE(connect(local));
        local.ctx.window().deviceSelected = true;
        direct = saveTo(local, "direct.NFO");
        ASSERT_FALSE(direct.empty());
    }
    NetLink net("" + std::string(GetParam()) + "://127.0.0.1:" + std::to_string(port));
    ASSERT_TRUE(connect(net)) << portProblemText(net.ctx, net.link.openFailure());
    net.ctx.window().deviceSelected = true;
    EXPECT_EQ(saveTo(net, "net.NFO"), direct);
    net.op.files.push_back(dir.file("net.NFO"));
    for (int i = 0; i < 8; ++i) net.op.answers.push_back(true);
    loadParameterFileCommand(net.ctx);
    EXPECT_FALSE(net.link.portLost());
    EXPECT_EQ(saveTo(net, "again.NFO"), direct) << "the load changed the device";
}

TEST_P(Ser2net, ServerKilledMidLoadIsALostPort) {
    const std::string url = std::string(GetParam()) + "://127.0.0.1:" + std::to_string(port);
    NetLink net(url);
    ASSERT_TRUE(connect(net));
    net.ctx.window().deviceSelected = true;
    ASSERT_FALSE(saveTo(net, "unit.NFO").empty());
    net.op.messages.clear();
    net.op.files.push_back(dir.file("unit.NFO"));
    for (int i = 0; i < 8; ++i) net.op.answers.push_back(true);
    std::thread killer([this] {
        usleep(1500000);
        kill(server.pid, SIGKILL);
    });
    loadParameterFileCommand(net.ctx);
    killer.join();
    EXPECT_TRUE(net.link.portLost());
    ASSERT_FALSE(net.op.messages.empty());
    EXPECT_NE(net.op.texts().front().find(url), std::string::npos) << net.op.texts().front();
    for (const std::string& text : net.op.texts()) EXPECT_NE(text, net.ctx.message(19));
}

// The program's own bus jobs open a network port as the window does.
TEST_P(Ser2net, TheProgramsBusJobsReachIt) {
    for (const char* name : {"messages.eng", "errors.eng", "parameters.eng"})
        std::filesystem::copy_file(FS_DIST_DIR "/" + std::string(name), dir.file(name));
    dir.write("config.ini", "[BASIC Configurations]\nlanguage=eng\nserial_port=1\n");
    const std::string url = std::string(GetParam()) + "://127.0.0.1:" + std::to_string(port);
    ChildOptions how;
    how.workingDirectory = dir.path();
    how.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"};
    how.stderrFile = dir.file("job.err");
    how.captureStdout = true;
    Child job;
    ASSERT_TRUE(job.start({FS_DIST_DIR "/fieldservice", "--save", dir.path() + "/", "--port", url}, how));
    EXPECT_EQ(job.exitCode(120000), 0) << dir.read("job.err");
    unsigned saved = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        saved += entry.path().extension() == ".NFO";
    EXPECT_EQ(saved, 1u);
}

INSTANTIATE_TEST_SUITE_P(Schemes, Ser2net, testing::Values("rfc2217", "tcp"));

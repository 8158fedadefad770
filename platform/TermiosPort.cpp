#include "platform/TermiosPort.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <grp.h>
#include <pwd.h>

#include <atomic>
#include <climits>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/PortRestore.h"
#include "platform/SerialPorts.h"

namespace {

// How long the rest of an error mark (0xFF 0x00 b) or of a doubled 0xFF may
// take to follow its first byte: the driver queues them together.
constexpr int MarkFollowMs = 50;
// A single byte leaves a working transmitter in about a millisecond; one
// that cannot go out in this time is stuck.
constexpr int WriteBoundMs = 1000;

int64_t monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int64_t monotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int ioctlRetry(int fd, unsigned long request, void* arg) {
    int r;
    do {
        r = ::ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r;
}

// A pseudo-terminal has no wire: it takes any line settings but reports
// eight data bits without parity whatever was set. Its slave side has major
// number 136 to 143 (Unix98) or 3 (the old BSD kind).
bool pseudoTerminal(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned m = major(st.st_rdev);
    return (m >= 136 && m <= 143) || m == 3;
}

// The same test before the device is opened, on its device number.
bool pseudoTerminalDevice(dev_t rdev) {
    const unsigned m = major(rdev);
    return (m >= 136 && m <= 143) || m == 3;
}

// Whether the character device rdev belongs to the tty subsystem, told by
// sysfs without opening it; true when sysfs cannot tell.
bool ttyDevice(dev_t rdev) {
    const std::string link = "/sys/dev/char/" + std::to_string(major(rdev)) + ":" +
                             std::to_string(minor(rdev)) + "/subsystem";
    char target[PATH_MAX];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) return true;
    const std::string subsystem(target, size_t(n));
    return subsystem.size() >= 4 && subsystem.compare(subsystem.size() - 4, 4, "/tty") == 0;
}

// A ttyS (major 4) whose driver found no UART (PORT_UNKNOWN), for when sysfs
// says nothing: it opens and takes line settings, but every write fails.
bool driverSaysNoUart(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || major(st.st_rdev) != 4) return false;
    serial_struct info{};
    return ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == PORT_UNKNOWN;
}

// Whether the user is listed in group gid (as its member or by the primary
// group of the account) without this session having it: the membership
// was given after the login.
bool memberFromNextLogin(gid_t gid) {
    if (getegid() == gid) return false;
    std::vector<gid_t> groups(size_t(NGROUPS_MAX) + 1);
    const int count = getgroups(int(groups.size()), groups.data());
    for (int i = 0; i < count; ++i)
        if (groups[size_t(i)] == gid) return false;
    std::vector<char> buffer(16384);
    passwd account {};
    passwd* me = nullptr;
    if (getpwuid_r(getuid(), &account, buffer.data(), buffer.size(), &me) != 0 || !me) return false;
    if (me->pw_gid == gid) return true;
    const std::string user = me->pw_name ? me->pw_name : "";
    std::vector<char> groupBuffer(65536);
    group entry {};
    group* found = nullptr;
    if (getgrgid_r(gid, &entry, groupBuffer.data(), groupBuffer.size(), &found) != 0 || !found) return false;
    for (char** member = found->gr_mem; member && *member; ++member)
        if (user == *member) return true;
    return false;
}

// Said once per run: the driver kept its receive latency.
void sayLowLatencyRefused(const char* why) {
    static std::atomic<bool> said{false};
    if (said.exchange(true)) return;
    std::fprintf(stderr,
                 "fieldservice: the serial driver refused low-latency receiving (%s); answers may come "
                 "late by a few milliseconds\n",
                 why);
}

// Errors that mean the port is gone rather than that the call was refused.
bool portGone(int err) { return err == EIO || err == EBADF || err == ENXIO || err == ENODEV; }

// The name of a group, or its number when it has none.
std::string groupName(gid_t gid) {
    std::vector<char> buffer(4096);
    group entry {};
    group* found = nullptr;
    if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->gr_name)
        return found->gr_name;
    return std::to_string(gid);
}

}  // namespace

TermiosPort::~TermiosPort() { close(); }

bool TermiosPort::refuse(PortProblem problem) {
    failure_.problem = problem;
    lockFile_.release();
    return false;
}

void TermiosPort::nameHolder(pid_t pid) {
    if (pid <= 0) return;
    failure_.holderPid = long(pid);
    failure_.holder = processName(pid);
    failure_.console = failure_.holder.find("getty") != std::string::npos;
}

bool TermiosPort::refuseOpenError(int err, const std::string& devicePath) {
    switch (err) {
    case ENOENT: case ENOTDIR: case ELOOP: case ENXIO: case ENODEV:
        return refuse(PortProblem::Missing);
    case EACCES: case EPERM: {
        struct stat st {};
        if (::stat(devicePath.c_str(), &st) == 0) {
            failure_.group = groupName(st.st_gid);
            failure_.groupMayUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
            failure_.memberNextLogin = memberFromNextLogin(st.st_gid);
        }
        return refuse(PortProblem::NoPermission);
    }
    case EBUSY:
        // Kept out by TIOCEXCL: whoever has the device open.
        nameHolder(deviceHolder(devicePath));
        return refuse(PortProblem::InUse);
    case EISDIR:
        return refuse(PortProblem::NotSerial);
    default:
        return refuse(PortProblem::Other);
    }
}

bool TermiosPort::open(const std::string& devicePath) {
    // A signal that ends the program while the port is half open (the lock
    // file made, the settings found not yet remembered for the handler)
    // would leave both behind: the ending signals wait until the port is
    // remembered or let go again.
    sigset_t ending, previous;
    sigemptyset(&ending);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&ending, sig);
    pthread_sigmask(SIG_BLOCK, &ending, &previous);
    const bool opened = openPort(devicePath);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return opened;
}

bool TermiosPort::openPort(const std::string& devicePath) {
    if (fd_ >= 0) return false;
    failure_ = PortOpenFailure{};
    failure_.path = devicePath;
    struct stat st {};
    if (::stat(devicePath.c_str(), &st) != 0) return refuseOpenError(errno, devicePath);
    if (!S_ISCHR(st.st_mode)) return refuse(PortProblem::NotSerial);

    // The lock file first: a port another program marked is not even
    // opened, since opening raises its modem lines.
    pid_t holder = 0;
    const std::string lockDirectory = lockDirectory_.empty() ? defaultLockDirectory() : lockDirectory_;
    if (lockFile_.take(lockDirectory, lockNameOf(devicePath), holder) == PortLockFile::Outcome::HeldByOther) {
        nameHolder(holder);
        return refuse(PortProblem::InUse);
    }
    // Nor is a port that another program holds without a lock file: its
    // advisory lock, a login console on it, or (for a real line) any
    // program we can see with it open. Lowering DTR and RTS right after
    // the open would be too late: the open itself raises them, and on an
    // RS-485 adapter RTS keys the transmitter of the bus another program
    // drives. A pseudo-terminal has no modem lines, and its other side
    // (a simulator) holds it open by design.
    if (pid_t other = advisoryLockHolder(st.st_dev, st.st_ino); other > 0 && other != getpid()) {
        nameHolder(other);
        return refuse(PortProblem::InUse);
    }
    if (!pseudoTerminalDevice(st.st_rdev) && ttyDevice(st.st_rdev)) {
        const pid_t console = consoleHolder(devicePath);
        pid_t other = console > 0 ? console : deviceHolder(devicePath);
        if (other == getpid()) other = 0;
        if (other > 0) {
            nameHolder(other);
            failure_.console = other == console;
            return refuse(PortProblem::InUse);
        }
        if (!ttyHasUart(lockNameOf(devicePath))) return refuse(PortProblem::NoHardware);
    }

    int fd;
    do {
        fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return refuseOpenError(errno, devicePath);
    if (!isatty(fd)) {
        const int err = errno;
        ::close(fd);
        return refuse(portGone(err) ? PortProblem::Missing : PortProblem::NotSerial);
    }
    // The open raised DTR and RTS; down again at once (a pty has neither).
    int modemLines = TIOCM_DTR | TIOCM_RTS;
    ioctlRetry(fd, TIOCMBIC, &modemLines);
    // TIOCEXCL keeps other users out (not a privileged one); the lock also
    // stops a second instance running with privileges.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        struct stat opened {};
        const bool known = fstat(fd, &opened) == 0;
        ::close(fd);
        if (err != EWOULDBLOCK) return refuse(PortProblem::Other);
        if (known) nameHolder(advisoryLockHolder(opened.st_dev, opened.st_ino));
        return refuse(PortProblem::InUse);
    }
    if (ioctlRetry(fd, TIOCEXCL, nullptr) != 0) {
        const int err = errno;
        ::close(fd);
        return refuse(portGone(err) ? PortProblem::Missing : PortProblem::NotSerial);
    }
    if (driverSaysNoUart(fd)) {
        ioctlRetry(fd, TIOCNXCL, nullptr);
        ::close(fd);
        return refuse(PortProblem::NoHardware);
    }
    if (tcgetattr(fd, &saved_) != 0) {
        const int err = errno;
        ioctlRetry(fd, TIOCNXCL, nullptr);
        ::close(fd);
        return refuse(portGone(err) ? PortProblem::Missing : PortProblem::NotSerial);
    }
    fd_ = fd;
    path_ = devicePath;
    failed_ = false;
    written_ = false;
    marks_.reset();
    markedError_ = markedBreak_ = false;
    bufferStart_ = bufferEnd_ = 0;
    if (!configure()) {
        restoreAndRelease();
        return refuse(PortProblem::SettingsRefused);
    }
    restoreSlot_ = portrestore::remember(fd_, saved_, lockFile_.path());
    return true;
}

bool TermiosPort::configure() {
    // Every setting that shapes a frame or the flow is set here, none kept
    // from whoever used the port before: a stick parity (CMSPAR), odd
    // parity, two stop bits, hardware or software flow control or any input
    // and output processing left behind would change every byte.
    // So the settings are built from nothing, not from what was found.
    termios t{};
    t.c_iflag = INPCK | PARMRK;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cflag = CS8 | PARENB | CLOCAL | CREAD;
    t.c_line = 0;   // the plain terminal discipline
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (cfsetispeed(&t, B9600) != 0 || cfsetospeed(&t, B9600) != 0) return false;
    int r;
    do {
        r = tcsetattr(fd_, TCSANOW, &t);
    } while (r < 0 && errno == EINTR);
    // Some drivers answer EINVAL when part of a request could not be
    // carried out, or when it changes nothing: settings an earlier run left
    // behind are the ones we want. The read-back decides.
    if (r != 0 && errno != EINVAL) return false;
    // tcsetattr succeeds when any one setting took; read them back.
    if (!settingsTook()) return false;

    // Modem lines, error counters and serial info are extras a pty lacks.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctlRetry(fd_, TIOCMBIC, &lines);
    serial_struct info{};
    haveSerialInfo_ = ioctlRetry(fd_, TIOCGSERIAL, &info) == 0;
    if (haveSerialInfo_) {
        savedSerialFlags_ = info.flags;
        info.flags |= ASYNC_LOW_LATENCY;
        // Some drivers refuse it, others take the call and ignore the flag.
        if (ioctlRetry(fd_, TIOCSSERIAL, &info) != 0) {
            sayLowLatencyRefused(errno == EPERM ? "not permitted" : std::strerror(errno));
        } else {
            serial_struct now{};
            if (ioctlRetry(fd_, TIOCGSERIAL, &now) == 0 && !(now.flags & ASYNC_LOW_LATENCY))
                sayLowLatencyRefused("not supported by the driver");
        }
    }
    haveCounters_ = readCounters(counters_);
    tcflush(fd_, TCIOFLUSH);
    return true;
}

bool TermiosPort::settingsTook() const {
    termios now{};
    if (tcgetattr(fd_, &now) != 0) return false;
    if (cfgetispeed(&now) != B9600 || cfgetospeed(&now) != B9600) return false;
    if ((now.c_cflag & (CSTOPB | CMSPAR | PARODD | CRTSCTS)) != 0) return false;
    // Input and output processing would change bytes; the marks must be on.
    const tcflag_t changesInput = IXON | IXOFF | ISTRIP | INLCR | IGNCR | ICRNL | IGNPAR | IGNBRK | BRKINT;
    if ((now.c_iflag & changesInput) != 0 || (now.c_iflag & PARMRK) == 0) return false;
    if ((now.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) != 0 || (now.c_oflag & OPOST) != 0) return false;
    const bool frame = (now.c_cflag & CSIZE) == CS8 && (now.c_cflag & PARENB) != 0;
    return frame || pseudoTerminal(fd_);
}

void TermiosPort::restoreAndRelease() {
    if (fd_ < 0) return;
    ioctlRetry(fd_, TIOCNXCL, nullptr);
    ::close(fd_);
    fd_ = -1;
    lockFile_.release();
}

bool TermiosPort::close() {
    if (fd_ < 0) return false;
    portrestore::forget(restoreSlot_);
    restoreSlot_ = -1;
    // What was not sent is dropped, so the close never waits on a wedged
    // transmitter (the driver would, up to its closing wait of 30 s).
    tcflush(fd_, TCOFLUSH);
    bool ok = true;
    if (haveSerialInfo_) {
        serial_struct info{};
        if (ioctlRetry(fd_, TIOCGSERIAL, &info) == 0) {
            info.flags = savedSerialFlags_;
            ioctlRetry(fd_, TIOCSSERIAL, &info);
        }
    }
    int r;
    do {
        r = tcsetattr(fd_, TCSANOW, &saved_);
    } while (r < 0 && errno == EINTR);
    if (r != 0) ok = false;
    // Without TIOCNXCL the tty stays exclusive for as long as anyone else
    // (the simulator, say) holds it open.
    ioctlRetry(fd_, TIOCNXCL, nullptr);
    if (::close(fd_) != 0 && errno != EINTR) ok = false;
    fd_ = -1;
    lockFile_.release();
    bufferStart_ = bufferEnd_ = 0;
    return ok;
}

bool TermiosPort::fill(int timeoutMs) {
    if (fd_ < 0 || failed_) return false;
    int64_t deadline = monotonicNs() + int64_t(timeoutMs) * 1000000;
    for (;;) {
        ssize_t n = ::read(fd_, buffer_, sizeof buffer_);
        if (n > 0) {
            bufferStart_ = 0;
            bufferEnd_ = size_t(n);
            return true;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            // End of file on a tty means the other side hung up.
            failed_ = true;
            return false;
        }
        if (!waitReadable(deadline)) return false;
        // POLLIN or POLLHUP: the read tells which.
    }
}

// The quiet-line wait before a release is part of every bus's time, so its
// end must come when it is due, not when the kernel gets round to it. The
// wait sleeps in ppoll (nanoseconds, unlike poll's milliseconds) to the watch
// before the deadline, then asks again without sleeping until the deadline.
bool TermiosPort::waitReadable(int64_t deadlineNs) {
    for (;;) {
        int64_t left = deadlineNs - monotonicNs();
        if (left < 0) return false;
        int64_t sleep = left - watchNs_;
        if (sleep < 0) sleep = 0;
        timespec timeout{time_t(sleep / 1000000000), long(sleep % 1000000000)};
        pollfd p{fd_, POLLIN, 0};
        int r = ::ppoll(&p, 1, &timeout, nullptr);
        if (r < 0 && errno != EINTR) {
            failed_ = true;
            return false;
        }
        if (r > 0 && (p.revents & (POLLERR | POLLNVAL))) {
            failed_ = true;
            return false;
        }
        if (r > 0) return true;
    }
}

bool TermiosPort::nextRaw(int timeoutMs, uint8_t& byte) {
    if (bufferStart_ == bufferEnd_ && !fill(timeoutMs)) return false;
    byte = buffer_[bufferStart_++];
    return true;
}

void InputMarks::feed(uint8_t raw) {
    switch (state_) {
    case State::Plain:
        if (raw == 0xFF) state_ = State::AfterFF;
        else out_.push_back({raw, false, false});
        return;
    case State::AfterFF:
        if (raw == 0xFF) {
            out_.push_back({0xFF, false, false});
            state_ = State::Plain;
        } else if (raw == 0x00) {
            state_ = State::AfterFF00;
        } else {
            // Not a sequence the driver makes: keep both bytes as they came.
            out_.push_back({0xFF, false, false});
            out_.push_back({raw, false, false});
            state_ = State::Plain;
        }
        return;
    case State::AfterFF00:
        out_.push_back({raw, true, raw == 0});
        state_ = State::Plain;
        return;
    }
}

bool InputMarks::take(Decoded& out) {
    if (out_.empty()) return false;
    out = out_.front();
    out_.pop_front();
    return true;
}

void InputMarks::flush() {
    if (state_ == State::AfterFF || state_ == State::AfterFF00) out_.push_back({0xFF, false, false});
    if (state_ == State::AfterFF00) out_.push_back({0x00, false, false});
    state_ = State::Plain;
}

void InputMarks::reset() {
    state_ = State::Plain;
    out_.clear();
}

ByteTransport::ReadStatus TermiosPort::readByte(uint32_t timeoutMs, uint8_t& byte) {
    if (fd_ < 0) return ReadStatus::Failed;
    int timeout = timeoutMs > 0x7FFFFFFF ? 0x7FFFFFFF : int(timeoutMs);
    for (;;) {
        InputMarks::Decoded d;
        if (marks_.take(d)) {
            if (d.marked) markedError_ = true;
            if (d.brk) markedBreak_ = true;
            byte = d.byte;
            return ReadStatus::Byte;
        }
        // The rest of a mark is queued together with its start; the first
        // byte gets the caller's timeout.
        uint8_t raw = 0;
        if (!nextRaw(marks_.pending() ? MarkFollowMs : timeout, raw)) {
            if (failed_) return ReadStatus::Failed;
            if (!marks_.pending()) return ReadStatus::Timeout;
            marks_.flush();
            continue;
        }
        marks_.feed(raw);
    }
}

bool TermiosPort::drain() {
    // Wait for the queue to empty with a bound, then for the last byte to
    // leave the shift register (the driver bounds that itself).
    int64_t deadline = monotonicMs() + WriteBoundMs;
    for (;;) {
        int queued = 0;
        if (ioctlRetry(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) break;
        if (monotonicMs() > deadline) return false;
        timespec pause{0, 200000};
        nanosleep(&pause, nullptr);
    }
    int r;
    do {
        r = tcdrain(fd_);
    } while (r < 0 && errno == EINTR);
    if (r != 0 && portGone(errno)) failed_ = true;
    return r == 0;
}

bool TermiosPort::writeByte(uint8_t byte) {
    if (fd_ < 0 || failed_) return false;
    int64_t deadline = monotonicMs() + WriteBoundMs;
    for (;;) {
        ssize_t n = ::write(fd_, &byte, 1);
        if (n == 1) break;
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            if (portGone(errno)) {
                failed_ = true;
                // The very first byte refused: no UART behind a port that
                // opened, unless the device itself went (an adapter pulled).
                if (!written_) {
                    struct stat st {};
                    failure_.problem = ::stat(path_.c_str(), &st) == 0 ? PortProblem::NoHardware
                                                                       : PortProblem::Missing;
                }
            }
            return false;
        }
        int left = int(deadline - monotonicMs());
        if (left < 0) return false;
        pollfd p{fd_, POLLOUT, 0};
        int r = ::poll(&p, 1, left);
        if (r < 0 && errno != EINTR) return false;
        if (r > 0 && (p.revents & (POLLERR | POLLNVAL | POLLHUP))) {
            failed_ = true;
            return false;
        }
    }
    written_ = true;
    return drain();
}

bool TermiosPort::purge() {
    if (fd_ < 0) return false;
    bufferStart_ = bufferEnd_ = 0;
    marks_.reset();
    markedError_ = markedBreak_ = false;
    int r;
    do {
        r = tcflush(fd_, TCIOFLUSH);
    } while (r < 0 && errno == EINTR);
    if (r != 0 && portGone(errno)) failed_ = true;
    return r == 0;
}

bool TermiosPort::readCounters(Counters& c) {
    serial_icounter_struct ic{};
    if (ioctlRetry(fd_, TIOCGICOUNT, &ic) != 0) return false;
    c.parity = ic.parity;
    c.frame = ic.frame;
    c.overrun = ic.overrun + ic.buf_overrun;
    return true;
}

bool TermiosPort::takeErrors(LineErrors& errors) {
    errors = LineErrors{};
    if (fd_ < 0 || failed_) return false;
    bool counted = false;
    if (haveCounters_) {
        Counters now;
        if (readCounters(now)) {
            errors.parity = now.parity != counters_.parity;
            errors.framing = now.frame != counters_.frame;
            errors.overrun = now.overrun != counters_.overrun;
            counted = errors.parity || errors.framing;
            counters_ = now;
        }
    }
    // Without counters a marked byte is a parity error, a marked zero a break.
    if (markedError_ && !counted) {
        if (markedBreak_) errors.framing = true;
        else errors.parity = true;
    }
    markedError_ = markedBreak_ = false;
    // Ask the driver whether the port is still there.
    int waiting = 0;
    if (ioctlRetry(fd_, FIONREAD, &waiting) != 0 && portGone(errno)) failed_ = true;
    return !failed_;
}

#pragma once
// Who holds a serial port. Terminal and modem programs mark a port they use
// with a lock file "LCK..<name>" in a common folder, holding the owner's
// process id as ten right-aligned characters and a newline; many also take
// an advisory lock (flock) on the device itself. We honour and keep both.
#include <sys/types.h>

#include <string>

// The folder for lock files: /run/lock, or /var/lock where that is missing.
std::string defaultLockDirectory();

// The name a device's lock file goes by: the base name of the device the
// path leads to (a link in /dev/serial/by-id names its target).
std::string lockNameOf(const std::string& devicePath);

// The process id a lock file holds; 0 for anything else (garbage, empty).
pid_t parseLockPid(const std::string& text);

// True while the process exists and has not ended (a zombie has).
bool processAlive(pid_t pid);

// The program name of a process, empty when it cannot be read.
std::string processName(pid_t pid);

// The process holding an advisory lock on the file (device dev, inode ino);
// 0 when none is listed.
pid_t advisoryLockHolder(dev_t dev, ino_t ino);

// A process with the device at devicePath open, found by a bounded scan
// (in count and time) of the open files of every process we may look into;
// another process is preferred to this one. 0 when none is found.
pid_t deviceHolder(const std::string& devicePath);

// A login console (a getty) serving the device at devicePath, found by the
// command lines of the running programs; 0 when none is.
pid_t consoleHolder(const std::string& devicePath);

// One held lock file. Released by release(), the destructor, or at the
// normal end of the process (exit), whichever comes first.
class PortLockFile {
public:
    enum class Outcome {
        Taken,         // the lock file is ours
        HeldByOther,   // a live process holds it
        NotTaken,      // the folder cannot be used: go on without one
    };

    PortLockFile() = default;
    ~PortLockFile() { release(); }
    PortLockFile(const PortLockFile&) = delete;
    PortLockFile& operator=(const PortLockFile&) = delete;

    // Takes the lock file of name in directory. One whose process is gone or
    // that holds no process id is stale: it is removed and taken over.
    // HeldByOther leaves the holder's process id in holder.
    Outcome take(const std::string& directory, const std::string& name, pid_t& holder);
    void release();
    bool held() const { return !path_.empty(); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

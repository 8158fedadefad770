#pragma once
// Where a benchmark writes its files: the work folder named by its first
// argument, by default bench-work beside the installation directory, on the
// disk the build is on.
#include <filesystem>
#include <string>

namespace bench {

inline std::filesystem::path workFolder(int argc, char** argv) {
    return argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::path(FS_DIST_DIR "/../bench-work");
}

// <work folder>/name, emptied and made anew.
inline std::filesystem::path freshFolder(int argc, char** argv, const std::string& name) {
    std::filesystem::path folder = workFolder(argc, argv) / name;
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    std::filesystem::create_directories(folder, ec);
    return folder;
}

}  // namespace bench

#pragma once
// Getting written data onto the disk: one file at a time, or everything
// waiting on a file system at once.
#include <cstdio>
#include <string>

// Hands the stream's buffer to the system and waits until the file's data
// has reached the disk. False when either fails.
bool flushFileToDisk(std::FILE* f);

// Waits until everything written to the file system that holds path (a file
// or a directory) has reached the disk: one wait for many files written
// without flushing each. False when path cannot be opened or the flush
// reports a failed write.
bool flushFileSystemOf(const std::string& path);

// Whole-file reading and writing for every file the program keeps.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace skimbrook {

// True when a file (not a folder) exists at Path.
bool FileExists(const std::string& Path);

// The whole file, byte for byte. Throws std::runtime_error naming the file when it
// cannot be opened or read.
std::string ReadFileBytes(const std::string& Path);
// What is left to read of the open file Fd, to its end; Expected is the size to make room
// for. Errors name Path.
std::string ReadRestOfFile(int Fd, const std::string& Path, size_t Expected);

// Replaces the file at Path with Bytes so that no reader ever sees a partial file:
// the bytes go to a temporary file in the same folder, are flushed to the disk, and the
// temporary file is renamed over Path. On any failure the temporary file is removed, the
// previous file stays as it was, and std::runtime_error names the file and the cause.
// A replaced file keeps its permission bits; a new one gets NewFileMode less the umask.
void WriteFileAtomic(const std::string& Path, std::string_view Bytes, mode_t NewFileMode = 0666);

// Copies the file at Path, which could not be read as what it should hold, to
// Path + ".damaged-YYYYMMDD-HHMMSS" (local time) before anything can overwrite it, and returns
// the copy's path. A second damaged copy within the same second gets "-2", "-3", ...
// unless it holds the same bytes as the first.
std::string KeepDamagedCopy(const std::string& Path);

// Each line followed by CR LF, the last one included: the line format of every file the
// program writes.
std::string JoinLinesCRLF(const std::vector<std::string>& Lines);

// Test hook: called before each chunk that WriteFileAtomic writes, with the number of
// bytes already written; a non-zero result is taken as the errno of a failed write.
// Pass an empty function to remove it.
using TWriteFaultHook = std::function<int(size_t BytesWritten)>;
void SetWriteFaultHookForTests(TWriteFaultHook Hook);

}  // namespace skimbrook

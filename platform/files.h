// Files: an opener that retries, whole-file reads, and whole-file replacement
// through a temporary file and a rename so a failed write never loses the old
// content.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace plat {

// A plain file handle (POSIX descriptor). Moves, closes on destruction.
class File {
 public:
  enum Mode { kRead, kReadWrite, kCreate /* read-write, created or emptied */,
              kOpenOrCreate /* read-write, created if missing, kept if present */ };
  File() = default;
  ~File();
  File(File&& o) noexcept;
  File& operator=(File&& o) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Tries up to `attempts` times, 1 ms apart.
  bool Open(const std::string& path, Mode mode, int attempts = 1);
  bool IsOpen() const { return fd_ >= 0; }
  void Close();

  int64_t Size() const;
  bool Seek(int64_t pos);
  int64_t Position() const;
  // Reads up to n bytes; returns the count read (0 at end, -1 on error).
  int64_t Read(void* buf, int64_t n);
  // Reads exactly n bytes or fails.
  bool ReadExact(void* buf, int64_t n);
  bool Write(const void* buf, int64_t n);
  bool Truncate(int64_t size);
  bool Sync();

 private:
  int fd_ = -1;
};

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Creates the folder and its parents; true if it exists afterwards.
bool ForceDirectories(const std::string& path);
bool DeleteFile(const std::string& path);
int64_t FileSize(const std::string& path);  // -1 when missing
// Reads a whole file; false when missing or unreadable. max_bytes guards memory.
bool ReadWholeFile(const std::string& path, std::string& out, int64_t max_bytes = INT64_C(1) << 32);
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out,
                   int64_t max_bytes = INT64_C(1) << 32);
// Writes data to path.tmp, syncs, renames over path. False (old file kept) on failure.
bool WriteFileAtomic(const std::string& path, const void* data, size_t size);
inline bool WriteFileAtomic(const std::string& path, const std::string& data) {
  return WriteFileAtomic(path, data.data(), data.size());
}
inline bool WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& data) {
  return WriteFileAtomic(path, data.data(), data.size());
}
// The current directory (the program's working folder).
std::string CurrentDir();
// Joins with '/': JoinPath("a", "b") == "a/b".
std::string JoinPath(const std::string& a, const std::string& b);
// A plain file name: not empty, no '/', no '\\', not "." or "..", no "..".
bool IsPlainFileName(const std::string& name);

}  // namespace plat

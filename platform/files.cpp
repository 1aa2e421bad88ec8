#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;

namespace plat {

File::~File() {
  Close();
}

File::File(File&& o) noexcept : fd_(o.fd_) {
  o.fd_ = -1;
}

File& File::operator=(File&& o) noexcept {
  if (this != &o) {
    Close();
    fd_ = o.fd_;
    o.fd_ = -1;
  }
  return *this;
}

bool File::Open(const std::string& path, Mode mode, int attempts) {
  Close();
  int flags = O_CLOEXEC;
  switch (mode) {
    case kRead:
      flags |= O_RDONLY;
      break;
    case kReadWrite:
      flags |= O_RDWR;
      break;
    case kCreate:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
    case kOpenOrCreate:
      flags |= O_RDWR | O_CREAT;
      break;
  }
  if (attempts < 1) attempts = 1;
  for (int i = 0; i < attempts; ++i) {
    if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    int fd;
    do {
      fd = ::open(path.c_str(), flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
      struct stat st;
      if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        // A folder is never a file to us, however often we retry.
        ::close(fd);
        return false;
      }
      fd_ = fd;
      return true;
    }
  }
  return false;
}

void File::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

int64_t File::Size() const {
  struct stat st;
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
  return st.st_size;
}

bool File::Seek(int64_t pos) {
  return fd_ >= 0 && pos >= 0 && ::lseek(fd_, static_cast<off_t>(pos), SEEK_SET) == pos;
}

int64_t File::Position() const {
  if (fd_ < 0) return -1;
  return ::lseek(fd_, 0, SEEK_CUR);
}

int64_t File::Read(void* buf, int64_t n) {
  if (fd_ < 0 || n < 0) return -1;
  ssize_t r;
  do {
    r = ::read(fd_, buf, static_cast<size_t>(n));
  } while (r < 0 && errno == EINTR);
  return r;
}

bool File::ReadExact(void* buf, int64_t n) {
  if (n < 0) return false;
  auto* p = static_cast<uint8_t*>(buf);
  while (n > 0) {
    const int64_t r = Read(p, n);
    if (r <= 0) return false;
    p += r;
    n -= r;
  }
  return true;
}

bool File::Write(const void* buf, int64_t n) {
  if (fd_ < 0 || n < 0) return false;
  auto* p = static_cast<const uint8_t*>(buf);
  while (n > 0) {
    const ssize_t w = ::write(fd_, p, static_cast<size_t>(n));
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= w;
  }
  return true;
}

bool File::Truncate(int64_t size) {
  return fd_ >= 0 && size >= 0 && ::ftruncate(fd_, static_cast<off_t>(size)) == 0;
}

bool File::Sync() {
  return fd_ >= 0 && ::fsync(fd_) == 0;
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_regular_file(path, ec);
}

bool DirectoryExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_directory(path, ec);
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  fs::create_directories(path, ec);
  return fs::is_directory(path, ec);
}

bool DeleteFile(const std::string& path) {
  std::error_code ec;
  if (!FileExists(path)) return false;
  return fs::remove(path, ec);
}

int64_t FileSize(const std::string& path) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return st.st_size;
}

namespace {

template <typename Buf>
bool ReadWhole(const std::string& path, Buf& out, int64_t max_bytes) {
  out.clear();
  File f;
  if (!f.Open(path, File::kRead)) return false;
  const int64_t size = f.Size();
  if (size < 0 || size > max_bytes) return false;
  out.resize(static_cast<size_t>(size));
  if (size > 0 && !f.ReadExact(out.data(), size)) {
    out.clear();
    return false;
  }
  return true;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& out, int64_t max_bytes) {
  return ReadWhole(path, out, max_bytes);
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, int64_t max_bytes) {
  return ReadWhole(path, out, max_bytes);
}

bool WriteFileAtomic(const std::string& path, const void* data, size_t size) {
  if (path.empty()) return false;
  const std::string tmp = path + ".tmp";
  {
    File f;
    if (!f.Open(tmp, File::kCreate)) return false;
    if (!f.Write(data, static_cast<int64_t>(size)) || !f.Sync()) {
      f.Close();
      ::unlink(tmp.c_str());
      return false;
    }
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

std::string CurrentDir() {
  std::error_code ec;
  const fs::path p = fs::current_path(ec);
  return ec ? std::string(".") : p.string();
}

std::string JoinPath(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  if (a.back() == '/') return a + b;
  return a + "/" + b;
}

bool IsPlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) return false;
  if (name.find("..") != std::string::npos) return false;
  return name.find('\0') == std::string::npos;
}

}  // namespace plat

#include "codecs/ByteSink.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "codecs/Picture.h"

namespace codecs {
namespace {
constexpr std::size_t kBufferSize = std::size_t{64} * 1024;
}

FileSink::FileSink(const std::string& path) : buffer_(kBufferSize) {
  // Opened last: nothing that can throw follows, so the destructor always closes it.
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    throw CodecError("Cannot create file \"" + path + "\". " + std::strerror(errno));
  }
}

FileSink::~FileSink() {
  if (fd_ >= 0) ::close(fd_);
}

void FileSink::Write(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  if (used_ + size <= buffer_.size()) {
    std::memcpy(buffer_.data() + used_, bytes, size);
    used_ += size;
    return;
  }
  Flush();
  if (size >= buffer_.size()) {
    WriteThrough(bytes, size);
  } else {
    std::memcpy(buffer_.data(), bytes, size);
    used_ = size;
  }
}

void FileSink::Close() {
  Flush();
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) throw CodecError(kStreamWriteError);
}

void FileSink::Flush() {
  if (used_ == 0) return;
  const std::size_t size = used_;
  used_ = 0;
  WriteThrough(buffer_.data(), size);
}

void FileSink::WriteThrough(const std::uint8_t* data, std::size_t size) {
  if (fd_ < 0) throw CodecError(kStreamWriteError);
  while (size > 0) {
    const ssize_t written = ::write(fd_, data, size);
    if (written < 0 && errno == EINTR) continue;
    // A full disk shows as a short write first and ENOSPC on the next call; both end here.
    if (written <= 0) throw CodecError(kStreamWriteError);
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

void MemorySink::Write(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  bytes_.insert(bytes_.end(), bytes, bytes + size);
}

}  // namespace codecs

// Where the writers put their bytes: a file that checks every write, or memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace codecs {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes all `size` bytes or throws CodecError.
  virtual void Write(const void* data, std::size_t size) = 0;
};

// Creates (or truncates) a file; throws "Cannot create file "path". reason" when it cannot.
// Every failed or short write, and a failed close, throws "Stream write error". A sink that is
// destroyed without Close() (an error path) closes its descriptor and reports nothing.
class FileSink final : public ByteSink {
 public:
  explicit FileSink(const std::string& path);
  ~FileSink() override;
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  void Write(const void* data, std::size_t size) override;
  // Writes what is buffered and closes the file.
  void Close();

 private:
  void Flush();
  void WriteThrough(const std::uint8_t* data, std::size_t size);

  int fd_ = -1;
  std::vector<std::uint8_t> buffer_;
  std::size_t used_ = 0;
};

class MemorySink final : public ByteSink {
 public:
  void Write(const void* data, std::size_t size) override;
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

inline constexpr const char* kStreamWriteError = "Stream write error";

}  // namespace codecs

#include "output/PictureFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "base/Error.h"
#include "codecs/Picture.h"

namespace lumivex::output {
namespace {

bool unnamedFiles = true;

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // A late write error of the file system shows in the close.
  bool closeChecked() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

// The writers' bytes into an open file, in blocks: every failed or short write and a failed
// sync throws "Stream write error".
class DescriptorSink final : public codecs::ByteSink {
 public:
  explicit DescriptorSink(int fd) : fd_(fd) { buffer_.reserve(kBlock); }

  void Write(const void* data, std::size_t size) override {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (buffer_.size() + size > kBlock) flush();
    if (size >= kBlock) return writeThrough(bytes, size);
    buffer_.insert(buffer_.end(), bytes, bytes + size);
  }

  // Everything on the disk before the file gets its name: a power loss must not leave a named
  // file whose blocks never arrived.
  void finish() {
    flush();
    if (::fdatasync(fd_) != 0 && errno != EINVAL)
      throw codecs::CodecError(codecs::kStreamWriteError);
  }

 private:
  static constexpr std::size_t kBlock = std::size_t{64} * 1024;

  void flush() {
    writeThrough(buffer_.data(), buffer_.size());
    buffer_.clear();
  }
  void writeThrough(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
      const ssize_t written = ::write(fd_, data, size);
      if (written < 0 && errno == EINTR) continue;
      // A full disk shows as a short write first and ENOSPC on the next call.
      if (written <= 0) throw codecs::CodecError(codecs::kStreamWriteError);
      data += written;
      size -= std::size_t(written);
    }
  }

  int fd_;
  std::vector<std::uint8_t> buffer_;
};

struct Place {
  std::string folder;  // "." for a bare name
  std::string name;    // the entry inside it
};

Place placeOf(const QString& fileName) {
  const std::string path = QFile::encodeName(fileName).toStdString();
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

[[noreturn]] void cannotCreate(const QString& fileName, int error) {
  throw Error("Cannot create file \"" + fileName.toStdString() + "\". " + std::strerror(error));
}

void fill(int fd, const WriteFileBytes& write) {
  DescriptorSink sink(fd);
  write(sink);
  sink.finish();
}

// Gives a complete file the first free name of the series; `nameAs(entry)` makes one try without
// replacing anything and returns 0 or the errno value, so a taken name (EEXIST) moves on to the
// next. Nothing when the very first try says ENOENT: the file to name is not to be reached.
template <typename NameAs>
std::optional<QString> nameFree(const QString& fileName, NameAs&& nameAs) {
  for (int number = 0;; ++number) {
    QString name = number == 0 ? fileName : NumberedName(fileName, number);
    const int error = nameAs(placeOf(name).name);
    if (error == 0) return name;
    if (error == EEXIST) continue;
    if (error == ENOENT && number == 0) return std::nullopt;
    cannotCreate(name, error);
  }
}

// One try at naming the hidden file `temporary` as `entry` without replacing anything: a hard
// link where the file system has them, else a rename that refuses to replace (FAT sticks), else a
// rename after a look, on file systems that offer neither. 0 or the errno value.
int renameWithoutReplacing(int folder, const std::string& temporary, const std::string& entry) {
  if (::linkat(folder, temporary.c_str(), folder, entry.c_str(), 0) == 0) return 0;
  if (errno != EPERM && errno != EOPNOTSUPP) return errno;
  if (::renameat2(folder, temporary.c_str(), folder, entry.c_str(), RENAME_NOREPLACE) == 0)
    return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
  struct stat taken = {};
  if (::fstatat(folder, entry.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
  return ::renameat(folder, temporary.c_str(), folder, entry.c_str()) == 0 ? 0 : errno;
}

// The folder's entry is recorded on the disk too; file systems that cannot sync a folder say
// EINVAL, and a failure here changes nothing about the file that is already complete.
void syncFolder(int folder) { (void)::fsync(folder); }

std::optional<QString> writeUnnamed(int folder, const QString& fileName,
                                    const WriteFileBytes& write) {
  Descriptor fd(::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
  if (!fd) {
    // Only a file system without unnamed files goes on to the named road.
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return std::nullopt;
    cannotCreate(fileName, errno);
  }
  fill(fd.get(), write);
  // linkat with AT_EMPTY_PATH needs a privilege; the /proc link of the descriptor does not.
  const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
  auto name = nameFree(fileName, [&](const std::string& entry) {
    return ::linkat(AT_FDCWD, self.c_str(), folder, entry.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0
                                                                                           : errno;
  });
  if (!name) return std::nullopt;  // no /proc: the named road writes the file again
  if (!fd.closeChecked()) {
    ::unlinkat(folder, placeOf(*name).name.c_str(), 0);
    throw codecs::CodecError(codecs::kStreamWriteError);
  }
  return name;
}

std::string temporaryName(const std::string& name) {
  static std::mt19937 random{std::random_device{}()};
  return "." + name + ".part-" + std::to_string(::getpid()) + "-" +
         std::to_string(random() % 1000000);
}

// Where unnamed files are not to be had: a hidden file created new (never through a planted
// link), filled, then named; the hidden name is removed whatever happens (after a rename it is
// gone already). A crash can leave that hidden file.
QString writeNamed(int folder, const QString& fileName, const WriteFileBytes& write) {
  const std::string temporary = temporaryName(placeOf(fileName).name);
  Descriptor fd(::openat(folder, temporary.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!fd) cannotCreate(fileName, errno);
  struct Remove {
    int folder;
    const std::string& name;
    ~Remove() { ::unlinkat(folder, name.c_str(), 0); }
  } remove{folder, temporary};
  fill(fd.get(), write);
  if (!fd.closeChecked()) throw codecs::CodecError(codecs::kStreamWriteError);
  auto name = nameFree(fileName, [&](const std::string& entry) {
    return renameWithoutReplacing(folder, temporary, entry);
  });
  if (!name) cannotCreate(fileName, ENOENT);
  return *name;
}

}  // namespace

QString NumberedName(const QString& fileName, int number) {
  const qsizetype slash = fileName.lastIndexOf('/');
  const qsizetype dot = fileName.lastIndexOf('.');
  const QString suffix = '_' + QString::number(number);
  if (dot <= slash) return fileName + suffix;
  return fileName.left(dot) + suffix + fileName.mid(dot);
}

QString WritePictureFile(const QString& fileName, const WriteFileBytes& write) {
  Descriptor folder(::open(placeOf(fileName).folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder) cannotCreate(fileName, errno);
  std::optional<QString> name;
  if (unnamedFiles) name = writeUnnamed(folder.get(), fileName, write);
  if (!name) name = writeNamed(folder.get(), fileName, write);
  syncFolder(folder.get());
  return *name;
}

void UseUnnamedPictureFiles(bool use) { unnamedFiles = use; }

}  // namespace lumivex::output

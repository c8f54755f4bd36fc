#include "settings/SettingsFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <random>
#include <system_error>
#include <thread>

#include "base/Error.h"
#include "base/Text.h"

namespace lumivex {

namespace {

constexpr const char* kHeader = "# Lumivex settings: one name=value per line, \\-escaped.\n";

// Temporary files are named "<file>.tmp.<writer pid>.<6 letters or digits>", so that a later
// write can tell its own leftovers from anything else in the folder.
constexpr std::string_view kTemporaryInfix = ".tmp.";
constexpr std::size_t kTemporarySuffixLength = 6;
// A leftover whose writer still runs is removed only after this age: the writer may be at work.
constexpr std::time_t kStaleAfterSeconds = 60;
// How long a write waits for another process's write before going ahead without the lock.
constexpr auto kLockWait = std::chrono::seconds(2);

bool useUnnamedTemporaries = true;

void appendEscaped(std::string& out, std::string_view text, bool isName) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F || (isName && (c == '=' || (i == 0 && c == '#')))) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
}

std::string unescaped(std::string_view text) {
  if (text.find('\\') == std::string_view::npos) return std::string(text);  // the usual case
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '\\' || i + 1 == text.size()) {
      out += c;
      continue;
    }
    char e = text[++i];
    if (e == 'n') {
      out += '\n';
    } else if (e == 'r') {
      out += '\r';
    } else if (e == 't') {
      out += '\t';
    } else if (e == 'x' && i + 2 < text.size() && hexDigitValue(text[i + 1]) >= 0 &&
               hexDigitValue(text[i + 2]) >= 0) {
      out += static_cast<char>(hexDigitValue(text[i + 1]) * 16 + hexDigitValue(text[i + 2]));
      i += 2;
    } else {
      out += e;  // "\\" and any unknown escape stand for the character itself
    }
  }
  return out;
}

// The line a value is stored as, without its "\n".
std::string entryLine(std::string_view name, std::string_view value) {
  std::string line;
  line.reserve(name.size() + value.size() + 1);
  appendEscaped(line, name, true);
  line += '=';
  appendEscaped(line, value, false);
  return line;
}

// Calls onEntry(escaped name, escaped value) for each line that holds a value, in file order,
// until it returns false. Comments, lines without a name and over-long lines are skipped.
template <typename OnEntry>
void forEachEntry(std::string_view bytes, OnEntry&& onEntry) {
  while (!bytes.empty()) {
    auto end = bytes.find('\n');
    auto line = bytes.substr(0, end);
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    auto eq = line.find('=');
    if (line.size() > SettingsFile::kMaxLine || line.starts_with('#') ||
        eq == std::string_view::npos || eq == 0)
      continue;
    if (!onEntry(line.substr(0, eq), line.substr(eq + 1))) return;
  }
}

bool nameMatches(std::string_view escapedName, std::string_view name) {
  if (escapedName.find('\\') == std::string_view::npos)
    return equalsIgnoreCase(escapedName, name);  // the usual case, without a copy
  return equalsIgnoreCase(unescaped(escapedName), name);
}

// The names of the entries parsed so far, compared without regard to letter case. Open
// addressing over entry positions: one probe per line keeps a read linear in the file size,
// without an allocation per name.
class NameSet {
 public:
  explicit NameSet(const std::vector<SettingsFile::Entry>& entries) : entries_(entries) {}

  // True when no earlier entry has this name; the caller then appends the entry at once.
  bool insertNew(std::string_view name) {
    if ((entries_.size() + 1) * 2 > slots_.size()) grow();
    auto hash = foldedHash(name);
    for (auto i = hash & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
      Slot& slot = slots_[i];
      if (slot.position == kEmpty) {
        slot = {static_cast<std::uint32_t>(entries_.size()), hash};
        return true;
      }
      if (slot.hash == hash && equalsIgnoreCase(entries_[slot.position].first, name)) return false;
    }
  }

 private:
  static constexpr std::uint32_t kEmpty = UINT32_MAX;
  struct Slot {
    std::uint32_t position = kEmpty;
    std::uint32_t hash = 0;
  };

  static std::uint32_t foldedHash(std::string_view name) {
    std::uint64_t hash = 14695981039346656037u;  // FNV-1a over the lower-cased bytes
    for (char c : name) {
      hash ^= static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
      hash *= 1099511628211u;
    }
    return static_cast<std::uint32_t>(hash ^ (hash >> 32));
  }

  void grow() {
    std::vector<Slot> old(std::max<std::size_t>(16, slots_.size() * 2));
    old.swap(slots_);
    for (const Slot& slot : old) {
      if (slot.position == kEmpty) continue;
      auto i = slot.hash & (slots_.size() - 1);
      while (slots_[i].position != kEmpty) i = (i + 1) & (slots_.size() - 1);
      slots_[i] = slot;
    }
  }

  const std::vector<SettingsFile::Entry>& entries_;
  std::vector<Slot> slots_;
};

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // Closes now and tells whether the close succeeded (a late write error shows here).
  bool closeChecked() {
    int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};

// What a settings file held when it was read.
struct FileContent {
  enum class State { Absent, Whole, Partial, Unreadable } state = State::Absent;
  std::string bytes;  // for Partial, the lines that fitted the budget whole
};

// Reads an opened file up to the budget. A longer file is damage or an attack: its head is
// still read, but it must never be replaced by what was read.
FileContent readOpened(int fd) {
  using State = FileContent::State;
  struct stat st = {};
  // Anything else (a folder, a FIFO, a device) is not a settings file and is left alone.
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return {State::Unreadable, {}};
  FileContent content{State::Whole, {}};
  std::string& bytes = content.bytes;
  // One byte past the budget shows a file that does not fit; the size may change while we read.
  constexpr std::size_t kLimit = SettingsFile::kMaxFileSize + 1;
  bytes.resize(std::min<std::size_t>(static_cast<std::size_t>(st.st_size) + 1, kLimit));
  std::size_t have = 0;
  while (have < kLimit) {
    if (have == bytes.size()) bytes.resize(std::min(bytes.size() * 2, kLimit));
    ssize_t n = ::read(fd, bytes.data() + have, bytes.size() - have);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return {State::Unreadable, {}};
    if (n == 0) break;
    have += static_cast<std::size_t>(n);
  }
  bytes.resize(have);
  if (have == kLimit) {
    // The budget cuts the last line somewhere: reading its head would give a wrong value.
    content.state = State::Partial;
    auto lastBreak = bytes.rfind('\n', SettingsFile::kMaxFileSize - 1);
    bytes.resize(lastBreak == std::string::npos ? 0 : lastBreak + 1);
  }
  return content;
}

FileContent readSettings(int folder, const char* name) {
  // O_NONBLOCK: opening a FIFO planted in the file's place must not hang the program.
  FileDescriptor fd(openat(folder, name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd)
    return {errno == ENOENT ? FileContent::State::Absent : FileContent::State::Unreadable, {}};
  return readOpened(fd.get());
}

// Follows symbolic links to the file they name, which may not exist yet. Nothing for a loop.
std::optional<std::filesystem::path> resolveLinks(std::filesystem::path file) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st = {};
    if (lstat(file.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return file;
    std::error_code ec;
    auto target = std::filesystem::read_symlink(file, ec);
    if (ec) return std::nullopt;
    file = target.is_absolute() ? target : file.parent_path() / target;
  }
  return std::nullopt;
}

// Serialises the read-modify-write cycles of cooperating processes (a second instance, a
// start racing the first), which otherwise drop each other's new names. The lock is on the
// folder because every write replaces the file itself. It is advisory and bounded: when the
// holder hangs, a write goes ahead unlocked after kLockWait rather than freezing the program.
class FolderLock {
 public:
  explicit FolderLock(int folder) : folder_(folder) {
    auto deadline = std::chrono::steady_clock::now() + kLockWait;
    while (flock(folder_, LOCK_EX | LOCK_NB) != 0) {
      bool busy = errno == EWOULDBLOCK || errno == EINTR;
      if (!busy || std::chrono::steady_clock::now() >= deadline) {
        folder_ = -1;  // file systems without flock, or a holder that hangs
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  ~FolderLock() {
    if (folder_ >= 0) flock(folder_, LOCK_UN);
  }

 private:
  int folder_;
};

std::string temporaryName(const std::string& fileName) {
  static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static std::mt19937 random{std::random_device{}()};
  std::string name = fileName;
  name += kTemporaryInfix;
  name += std::to_string(getpid());
  name += '.';
  for (std::size_t i = 0; i < kTemporarySuffixLength; ++i)
    name += kChars[random() % (sizeof kChars - 1)];
  return name;
}

// The writer's pid when entryName is one of our temporary names for fileName.
std::optional<pid_t> temporaryWriter(std::string_view entryName, const std::string& fileName) {
  if (!entryName.starts_with(fileName) ||
      !entryName.substr(fileName.size()).starts_with(kTemporaryInfix))
    return std::nullopt;
  entryName.remove_prefix(fileName.size() + kTemporaryInfix.size());
  auto dot = entryName.find('.');
  if (dot == std::string_view::npos || entryName.size() - dot - 1 != kTemporarySuffixLength)
    return std::nullopt;
  for (char c : entryName.substr(dot + 1))
    if (!std::isalnum(static_cast<unsigned char>(c))) return std::nullopt;
  auto pid = parseInt(entryName.substr(0, dot));
  if (!pid || *pid <= 0 || !std::isdigit(static_cast<unsigned char>(entryName.front())))
    return std::nullopt;
  return static_cast<pid_t>(*pid);
}

// Removes temporary files of fileName that a killed or crashed writer left behind: each is a
// copy of the settings, FTP password included. Only our own names and files are touched.
void removeStaleTemporaries(int folder, const std::string& fileName) {
  // Cleaning up is a courtesy: the write itself does not depend on it.
  int copy = dup(folder);
  DIR* dir = copy >= 0 ? fdopendir(copy) : nullptr;
  if (!dir) {
    if (copy >= 0) close(copy);
    return;
  }
  const std::time_t now = std::time(nullptr);
  while (const dirent* entry = readdir(dir)) {
    auto writer = temporaryWriter(entry->d_name, fileName);
    struct stat st = {};
    if (!writer || fstatat(folder, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode) || st.st_uid != geteuid())
      continue;
    bool writerGone = kill(*writer, 0) != 0 && errno == ESRCH;
    if (writerGone || now - st.st_mtime > kStaleAfterSeconds) unlinkat(folder, entry->d_name, 0);
  }
  closedir(dir);
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool fillAndSync(int fd, std::string_view bytes) {
  return fchmod(fd, 0600) == 0 && writeAll(fd, bytes) && fsync(fd) == 0;
}

// Gives a complete unnamed file a temporary name; nothing when that is not possible.
std::optional<std::string> linkUnnamed(int fd, int folder, const std::string& fileName) {
  // linkat with AT_EMPTY_PATH needs a privilege; the /proc link does not.
  std::string self = "/proc/self/fd/" + std::to_string(fd);
  for (int attempt = 0; attempt < 10; ++attempt) {
    std::string name = temporaryName(fileName);
    if (linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return name;
    if (errno != EEXIST) return std::nullopt;
  }
  return std::nullopt;
}

// Writes bytes into a new, synced file in folder and returns its temporary name. The file
// has no name while it is written where the file system allows (O_TMPFILE), so a crash then
// leaves nothing behind; elsewhere a named file that a later write removes.
std::optional<std::string> writeTemporary(int folder, const std::string& fileName,
                                          std::string_view bytes) {
  if (useUnnamedTemporaries) {
    FileDescriptor fd(openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (fd) {
      if (!fillAndSync(fd.get(), bytes)) return std::nullopt;  // a full disk stays full
      if (auto name = linkUnnamed(fd.get(), folder, fileName)) {
        if (fd.closeChecked()) return name;
        unlinkat(folder, name->c_str(), 0);
        return std::nullopt;
      }
      // No /proc to link through: write it again under a name.
    }
  }
  for (int attempt = 0; attempt < 10; ++attempt) {
    std::string name = temporaryName(fileName);
    FileDescriptor fd(
        openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd && errno == EEXIST) continue;
    if (fd && fillAndSync(fd.get(), bytes) && fd.closeChecked()) return name;
    if (fd) unlinkat(folder, name.c_str(), 0);
    return std::nullopt;
  }
  return std::nullopt;
}

// Replaces fileName in folder by a file holding bytes, so that a reader or a crash sees either
// the old file or the new one, whole.
bool replaceAtomically(int folder, const std::string& fileName, std::string_view bytes) {
  auto temporary = writeTemporary(folder, fileName, bytes);
  if (!temporary) return false;
  if (renameat(folder, temporary->c_str(), folder, fileName.c_str()) != 0) {
    unlinkat(folder, temporary->c_str(), 0);
    return false;
  }
  // The rename is recorded in the folder; until the folder reaches the disk a power loss can
  // bring back the old file. File systems that cannot sync a folder answer EINVAL.
  return fsync(folder) == 0 || errno == EINVAL;
}

}  // namespace

void SettingsFile::useUnnamedTemporaryFiles(bool use) { useUnnamedTemporaries = use; }

SettingsFile::SettingsFile(std::filesystem::path file, std::string keyName)
    : file_(std::move(file)), keyName_(std::move(keyName)) {}

std::vector<SettingsFile::Entry> SettingsFile::parse(std::string_view bytes) {
  std::vector<Entry> entries;
  NameSet seen(entries);
  forEachEntry(bytes, [&](std::string_view name, std::string_view value) {
    std::string plainName = unescaped(name);
    if (seen.insertNew(plainName)) entries.emplace_back(std::move(plainName), unescaped(value));
    return true;
  });
  return entries;
}

std::string SettingsFile::serialize(const std::vector<Entry>& entries) {
  std::string out = kHeader;
  for (const auto& [name, value] : entries) {
    std::string line = entryLine(name, value);
    // Only a hand-made line of raw control characters can grow past the reader's limit when
    // escaped; the reader would skip it, so it is dropped like any other damaged line.
    if (line.size() > kMaxLine) continue;
    out += line;
    out += '\n';
  }
  return out;
}

std::vector<SettingsFile::Entry> SettingsFile::entries() const {
  FileDescriptor fd(open(file_.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  return fd ? parse(readOpened(fd.get()).bytes) : std::vector<Entry>{};
}

std::optional<std::string> SettingsFile::read(std::string_view name) const {
  FileDescriptor fd(open(file_.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd) return std::nullopt;
  std::optional<std::string> found;
  forEachEntry(readOpened(fd.get()).bytes, [&](std::string_view entryName, std::string_view value) {
    if (nameMatches(entryName, name)) found = unescaped(value);
    return !found;  // the first spelling of a name holds its value
  });
  return found;
}

void SettingsFile::write(std::string_view name, std::string_view value) const {
  const std::string failed = formatText("Failed to set data for '%s'", name);
  // A value the reader would skip as damage is refused rather than written and lost.
  if (entryLine(name, value).size() > kMaxLine) throw Error(failed);

  std::error_code ec;
  std::filesystem::create_directories(file_.parent_path(), ec);
  if (ec) throw Error(formatText("Failed to create key %s", keyName_));

  // A symlinked file (dotfile managers) is replaced in its target's folder; the link stays.
  auto target = resolveLinks(file_);
  if (!target) throw Error(failed);
  std::filesystem::path folderPath =
      target->parent_path().empty() ? std::filesystem::path(".") : target->parent_path();
  const std::string fileName = target->filename();
  FileDescriptor folder(open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder) throw Error(failed);

  FolderLock lock(folder.get());
  removeStaleTemporaries(folder.get(), fileName);
  auto content = readSettings(folder.get(), fileName.c_str());
  // A file that could not be read whole must not be replaced by what was read of it.
  if (content.state != FileContent::State::Whole && content.state != FileContent::State::Absent)
    throw Error(failed);
  auto all = parse(content.bytes);
  auto it = std::find_if(all.begin(), all.end(),
                         [&](const Entry& entry) { return equalsIgnoreCase(entry.first, name); });
  if (it != all.end())
    it->second = value;
  else
    all.emplace_back(name, value);
  if (!replaceAtomically(folder.get(), fileName, serialize(all))) throw Error(failed);
}

}  // namespace lumivex

// A disk that takes no more than a given number of bytes per file, for as long as this object
// lives: writes past the limit fail (EFBIG) as they would on a full disk, without a disk to fill.
#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <cstddef>

class FileSizeLimit {
 public:
  explicit FileSizeLimit(std::size_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    oldSignal_ = signal(SIGXFSZ, SIG_IGN);  // ignored, the signal leaves a failed write
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    signal(SIGXFSZ, oldSignal_);
  }

 private:
  rlimit old_{};
  sighandler_t oldSignal_ = nullptr;
};

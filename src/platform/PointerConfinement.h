// Keeping the pointer inside one window while the user drags out an area on it.
#pragma once

class QWindow;

namespace lumivex::platform {

class PointerConfinement {
 public:
  virtual ~PointerConfinement() = default;

  // Keeps the pointer inside `window` until release(); a second call moves the confinement.
  // False when the window system refuses (another program holds the pointer): the caller goes
  // on unconfined.
  virtual bool confineTo(QWindow& window) = 0;
  // Lets the pointer move freely again; harmless when nothing is confined.
  virtual void release() = 0;
};

// Where the window system offers no confinement: the pointer simply stays free.
class NullPointerConfinement final : public PointerConfinement {
 public:
  bool confineTo(QWindow&) override { return false; }
  void release() override {}
};

}  // namespace lumivex::platform

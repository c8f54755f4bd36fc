// In-memory start-up list for tests: records every change and can be made to fail.
#pragma once

#include <QList>

#include "platform/AutostartEntry.h"

namespace lumivex::platform {

class FakeAutostartEntry final : public AutostartEntry {
 public:
  void setEnabled(bool on) override;

  QList<bool> changes;  // every successful call, in order
  bool failWrites = false;
};

}  // namespace lumivex::platform

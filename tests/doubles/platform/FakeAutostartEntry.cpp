#include "platform/FakeAutostartEntry.h"

#include "base/Error.h"

namespace lumivex::platform {

void FakeAutostartEntry::setEnabled(bool on) {
  if (failWrites) throw Error(kAutostartError);
  changes.append(on);
}

}  // namespace lumivex::platform

#include "zentrel/frame/FamilyContext.h"

namespace zentrel {

void ContextRegistry::releaseAll() noexcept {
  for (auto& slot : slots_) {
    if (!slot) continue;
    slot->release();
    slot.reset();
  }
}

ContextRegistry& contexts() noexcept {
  static ContextRegistry instance;
  return instance;
}

}  // namespace zentrel

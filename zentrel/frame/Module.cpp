#include "zentrel/frame/Module.h"

namespace zentrel {
namespace {
HMODULE g_module = nullptr;
}

HMODULE moduleHandle() noexcept { return g_module; }
void setModuleHandle(HMODULE module) noexcept { g_module = module; }

}  // namespace zentrel

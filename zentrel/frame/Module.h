// The library's own module handle (dialog templates and resources come from it).
#pragma once

#include <windows.h>

namespace zentrel {

HMODULE moduleHandle() noexcept;
void setModuleHandle(HMODULE module) noexcept;

}  // namespace zentrel

// The DLL under test, loaded and called the way the editor does: LoadLibrary and GetProcAddress.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

#include "support/TestPaths.h"

namespace orivel::test {

class Dll {
 public:
  explicit Dll(const std::string& path) : module_(LoadLibraryA(path.c_str())) {
    if (!module_) throw std::runtime_error("LoadLibrary failed: " + path);
  }
  ~Dll() { unload(); }
  Dll(const Dll&) = delete;
  Dll& operator=(const Dll&) = delete;

  void unload() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
  }
  HMODULE module() const { return module_; }

  // The export as a cdecl function of the given type; throws when it is missing.
  template <class Signature>
  Signature* fn(const char* name) const {
    FARPROC proc = GetProcAddress(module_, name);
    if (!proc) throw std::runtime_error(std::string("missing export ") + name);
    return reinterpret_cast<Signature*>(reinterpret_cast<void*>(proc));
  }

 private:
  HMODULE module_;
};

// zentrel.dll of this build (ZENTREL_DLL is its Linux path).
inline std::string zentrelPath() { return windowsPath(ZENTREL_DLL); }

}  // namespace orivel::test

// Load stores the module handle; unload releases the family contexts in their fixed order.
// The last error and the result texts go afterwards with the run-time's static objects.
#include <windows.h>

#include "zentrel/frame/FamilyContext.h"
#include "zentrel/frame/Module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      zentrel::setModuleHandle(instance);
      break;
    case DLL_PROCESS_DETACH:
      zentrel::contexts().releaseAll();
      break;
    default:
      break;
  }
  return TRUE;
}

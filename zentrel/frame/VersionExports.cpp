// GETVERSIONSTR, GETVERSIONINT, GETCOMPILEDATE, GETLASTERROR.
#include "zentrel/frame/Frame.h"
#include "zentrel/frame/Version.h"

using namespace zentrel;

ZENTREL_EXPORT const char* GETVERSIONSTR() {
  trace("zentrel:GETVERSIONSTR:");
  return runExport<NoContext>(kEmptyText, {}, [] { return kVersionText; });
}

ZENTREL_EXPORT int GETVERSIONINT() {
  trace("zentrel:GETVERSIONINT:");
  return runExport<NoContext>(0, {}, [] { return kVersionNumber; });
}

ZENTREL_EXPORT const char* GETCOMPILEDATE() {
  trace("zentrel:GETCOMPILEDATE:");
  return runExport<NoContext>(kEmptyText, {}, [] { return kCompileDate; });
}

ZENTREL_EXPORT const char* GETLASTERROR() {
  trace("zentrel:GETLASTERROR:");
  return runExport<NoContext>(kEmptyText, {}, [] { return lastError().text(); }, kKeepLastError);
}

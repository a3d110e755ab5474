// The frame every export runs through after writing its trace line:
// clear the last error, make sure the family context exists, check the required text arguments,
// run the operation. No exception leaves it.
#pragma once

#include <initializer_list>
#include <new>
#include <type_traits>

#include "zentrel/frame/FamilyContext.h"
#include "zentrel/frame/LastError.h"
#include "zentrel/frame/ResultText.h"
#include "zentrel/frame/Trace.h"

// Exports are undecorated cdecl functions; the names are listed in zentrel.def.
#define ZENTREL_EXPORT extern "C" __cdecl

namespace zentrel {

// For exports that use no family context.
struct NoContext {};

struct FrameRules {
  enum class Clear { BeforeCheck, AfterCheck, Never };
  enum class Create { BeforeCheck, AfterCheck };
  Clear clear = Clear::BeforeCheck;
  Create create = Create::BeforeCheck;
};

// Rules of the exports that check their texts first and clear only when the check passes.
inline constexpr FrameRules kCheckFirst{FrameRules::Clear::AfterCheck, FrameRules::Create::AfterCheck};
// Rules of the exports that leave the last error as it is.
inline constexpr FrameRules kKeepLastError{FrameRules::Clear::Never, FrameRules::Create::AfterCheck};

extern const char kOutOfMemory[];
extern const char kInternalError[];

namespace detail {

template <class Context, class Op>
decltype(auto) invoke(Context* context, Op& op) {
  if constexpr (std::is_same_v<Context, NoContext>) {
    (void)context;
    return op();
  } else {
    return op(*context);
  }
}

inline void reportNoThrow(const char* message) noexcept {
  try {
    lastError().set(message);
  } catch (...) {
    lastError().clear();
  }
}

}  // namespace detail

// Runs an export's operation. `failure` is returned for a null required text (with the
// last error "文字列ポインタが妥当ではありません．") and when the operation throws.
// `op` takes the family context (Context&) or nothing for NoContext, and returns the result.
template <class Context, class Result, class Op>
Result runExport(Result failure, std::initializer_list<const void*> required, Op&& op,
                 FrameRules rules = {}) noexcept {
  try {
    Context* context = nullptr;
    auto create = [&context] {
      if constexpr (!std::is_same_v<Context, NoContext>) context = &contexts().template get<Context>();
    };
    if (rules.clear == FrameRules::Clear::BeforeCheck) lastError().clear();
    if (rules.create == FrameRules::Create::BeforeCheck) create();
    for (const void* text : required) {
      if (!text) {
        lastError().set(kBadTextPointer);
        return failure;
      }
    }
    if (rules.clear == FrameRules::Clear::AfterCheck) lastError().clear();
    if (rules.create == FrameRules::Create::AfterCheck) create();
    return static_cast<Result>(detail::invoke(context, op));
  } catch (const std::bad_alloc&) {
    detail::reportNoThrow(kOutOfMemory);
  } catch (...) {
    detail::reportNoThrow(kInternalError);
  }
  return failure;
}

}  // namespace zentrel

// One state object per export family, created on first use and released at unload in a fixed order.
#pragma once

#include <array>
#include <cstddef>
#include <memory>

namespace zentrel {

// The order of the enumerators is the order of release at unload.
enum class Family : int {
  File,
  ListBox,
  FileOpen,
  Edit,
  Compile,
  Analyze,
  TeXProject,  // shared by the TEXPROJECT_ and BIBTEX_ exports
  String,
  Input,
  CollectStr,
  Ispell,
  Window,
  Menu,
  Ole,
  HashStrStr,
  HashStrInt,
  TextWindow,
  Process,
  Monitor,
  Env,
  Calc,
  Peg,
  Count
};

// Base of every family context. A family defines
//   struct FooContext : FamilyContext { static constexpr Family family = Family::Foo; ... };
// release() runs at unload before the object is destroyed: it closes files, destroys windows,
// stops processes. Destructors only free memory.
class FamilyContext {
 public:
  virtual ~FamilyContext() = default;
  virtual void release() noexcept {}
};

class ContextRegistry {
 public:
  ContextRegistry() = default;
  ContextRegistry(const ContextRegistry&) = delete;
  ContextRegistry& operator=(const ContextRegistry&) = delete;
  ~ContextRegistry() { releaseAll(); }

  // The family's context, created on first use. May throw std::bad_alloc (the frame catches it).
  template <class Context>
  Context& get() {
    auto& slot = slots_[slotOf(Context::family)];
    if (!slot) slot = std::make_unique<Context>();
    return static_cast<Context&>(*slot);
  }

  // The family's context if it was created, else null.
  template <class Context>
  Context* find() const noexcept {
    return static_cast<Context*>(slots_[slotOf(Context::family)].get());
  }

  bool exists(Family family) const noexcept { return slots_[slotOf(family)] != nullptr; }

  // Releases and destroys the existing contexts in the order of Family.
  void releaseAll() noexcept;

 private:
  static constexpr std::size_t slotOf(Family family) noexcept { return static_cast<std::size_t>(family); }
  std::array<std::unique_ptr<FamilyContext>, static_cast<std::size_t>(Family::Count)> slots_{};
};

// The library's contexts.
ContextRegistry& contexts() noexcept;

}  // namespace zentrel

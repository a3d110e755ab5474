// Process-wide result texts. A text result points into one of these (or at a constant text);
// the macro copies it before the next export that writes the same text.
#pragma once

#include <string>

namespace zentrel {

// The empty text that every failing text export returns; valid for the life of the library.
extern const char kEmptyText[];
extern const wchar_t kEmptyWideText[];

template <class Char>
class BasicResultText {
 public:
  using String = std::basic_string<Char>;
  const Char* set(const String& text) {
    text_ = text;
    return text_.c_str();
  }
  const Char* set(String&& text) {
    text_ = std::move(text);
    return text_.c_str();
  }
  const Char* set(const Char* text) {
    if (text) {
      text_.assign(text);
    } else {
      text_.clear();
    }
    return text_.c_str();
  }
  const Char* c_str() const noexcept { return text_.c_str(); }

 private:
  String text_;
};

using ResultText = BasicResultText<char>;
using WideResultText = BasicResultText<wchar_t>;

// Shared by the families that return through it (file, project, window, text functions, ...).
ResultText& sharedResult() noexcept;
// Results of the regular-expression functions.
ResultText& regexResult() noexcept;
// Results of the PEG family.
WideResultText& pegResult() noexcept;

}  // namespace zentrel

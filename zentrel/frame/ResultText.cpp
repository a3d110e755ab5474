#include "zentrel/frame/ResultText.h"

namespace zentrel {

const char kEmptyText[] = "";
const wchar_t kEmptyWideText[] = L"";

ResultText& sharedResult() noexcept {
  static ResultText instance;
  return instance;
}

ResultText& regexResult() noexcept {
  static ResultText instance;
  return instance;
}

WideResultText& pegResult() noexcept {
  static WideResultText instance;
  return instance;
}

}  // namespace zentrel

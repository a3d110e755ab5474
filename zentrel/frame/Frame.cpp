#include "zentrel/frame/Frame.h"

namespace zentrel {

const char kOutOfMemory[] = "メモリが不足しています．";
const char kInternalError[] = "内部エラーが発生しました．";

}  // namespace zentrel

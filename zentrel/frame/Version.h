#pragma once

namespace zentrel {

// The interface version the macros test, independent of the file version of the resource.
inline constexpr char kVersionText[] = "1.01.00";
inline constexpr int kVersionNumber = 10100;
// Build date, as "Mmm dd yyyy" with the day padded by a blank.
inline constexpr char kCompileDate[] = __DATE__;

}  // namespace zentrel

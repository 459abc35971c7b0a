#pragma once
// A percent deadband a client may set: 0 to 100, so NaN is none.

namespace quillon {

inline bool IsPercentDeadband(float d) { return d >= 0.0f && d <= 100.0f; }

}  // namespace quillon

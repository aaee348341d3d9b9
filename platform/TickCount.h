#pragma once

#include <cstdint>

namespace vq::platform {

// Milliseconds on a monotonic clock, truncated to 32 bits like the system tick count it stands
// in for: differences taken with unsigned arithmetic stay right across the wrap.
std::uint32_t TickCount();

} // namespace vq::platform

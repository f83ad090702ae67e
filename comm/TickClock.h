#pragma once
// The millisecond tick counter of the serial library (31 bits, like the
// platform tick count masked with 0x7FFFFFFF). Tests replace the source so
// that nothing waits for real time.
#include <cstdint>

namespace zop {

using TickSource = std::uint32_t (*)();

// Milliseconds from a monotonic clock, masked to 31 bits.
std::uint32_t TickCount();

// Replaces the clock (nullptr restores the monotonic clock).
void SetTickSource(TickSource source);

} // namespace zop

#pragma once
// Allocation of the port layer's buffers without exceptions: memory
// exhaustion becomes the result code -8. Tests can make the n-th following
// allocation fail to exercise the clean-up paths.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace zop {

// nullptr when the memory is exhausted (or a failure was arranged).
std::unique_ptr<std::uint8_t[]> TryAllocateBytes(std::size_t count);

// Counts an allocation of an object the caller makes with new (std::nothrow);
// false when this allocation is to fail.
bool AllocationAllowed();

// The next `allowed` allocations succeed and the one after fails; a negative
// value switches the arrangement off.
void FailAllocationAfter(int allowed);

} // namespace zop

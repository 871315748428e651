#pragma once
// Body of the carving fuzz target: arbitrary bytes as a carving candidate,
// walked by every format walker. A walk must never crash, hang, read past the
// input or claim more bytes than the input holds.

#include <cstddef>
#include <cstdint>

namespace dorvak::fuzz {

// Returns how many walkers recognised the bytes (Complete or Interrupted).
int carveBytes(const std::uint8_t* data, std::size_t size);

} // namespace dorvak::fuzz

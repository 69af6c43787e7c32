// Reading a fuzz input front to back in fixed-size pieces: whatever runs past the end reads as
// zero bytes, so every input, however short, makes a complete case.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace brindle::fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : rest_(data, size) {}

  // out.size() bytes, zeros past the end of the input.
  void fill(std::span<std::uint8_t> out) {
    const std::size_t n = std::min(out.size(), rest_.size());
    std::copy_n(rest_.begin(), n, out.begin());
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(n), out.end(), std::uint8_t{0});
    rest_ = rest_.subspan(n);
  }
  template <typename T>
  T take() {
    std::uint8_t bytes[sizeof(T)];
    fill(bytes);
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
  }
  // Everything not taken yet.
  std::span<const std::uint8_t> rest() const { return rest_; }

 private:
  std::span<const std::uint8_t> rest_;
};

}  // namespace brindle::fuzz

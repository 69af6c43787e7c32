#include "pictures/Scale.h"

#include <algorithm>
#include <cmath>

namespace brindle::pictures {
namespace {

// For each new pixel along one axis: the old pixels it covers and how much of each.
struct Span {
  std::uint32_t first = 0;
  std::vector<float> weights;  // sum to 1
};

std::vector<Span> Spans(std::uint32_t from, std::uint32_t to) {
  std::vector<Span> spans(to);
  const double scale = static_cast<double>(from) / to;
  for (std::uint32_t i = 0; i < to; ++i) {
    const double start = i * scale;
    const double end = std::min<double>(from, (i + 1) * scale);
    Span& span = spans[i];
    span.first = static_cast<std::uint32_t>(start);
    for (std::uint32_t old = span.first; old < end; ++old) {
      const double covered = std::min<double>(end, old + 1) - std::max<double>(start, old);
      span.weights.push_back(static_cast<float>(covered / scale));
    }
  }
  return spans;
}

}  // namespace

Picture FitWithin(const Picture& picture, std::uint32_t side) {
  side = std::max<std::uint32_t>(side, 1);
  if (picture.width <= side && picture.height <= side) return picture;
  const double scale = std::min(static_cast<double>(side) / picture.width,
                                static_cast<double>(side) / picture.height);
  const auto newWidth = std::clamp<std::uint32_t>(
      static_cast<std::uint32_t>(std::lround(picture.width * scale)), 1, side);
  const auto newHeight = std::clamp<std::uint32_t>(
      static_cast<std::uint32_t>(std::lround(picture.height * scale)), 1, side);

  // Colours premultiplied by alpha, so transparent pixels lend no colour to their neighbours.
  const std::size_t oldCount = std::size_t{picture.width} * picture.height;
  std::vector<float> source(oldCount * 4);
  for (std::size_t i = 0; i < oldCount; ++i) {
    const float alpha = picture.rgba[i * 4 + 3] / 255.0f;
    for (int c = 0; c < 3; ++c) source[i * 4 + c] = picture.rgba[i * 4 + c] * alpha;
    source[i * 4 + 3] = picture.rgba[i * 4 + 3];
  }
  // Across first (every old row), then down.
  const std::vector<Span> across = Spans(picture.width, newWidth);
  const std::vector<Span> down = Spans(picture.height, newHeight);
  std::vector<float> rows(std::size_t{newWidth} * picture.height * 4, 0.0f);
  for (std::uint32_t y = 0; y < picture.height; ++y) {
    const float* in = &source[std::size_t{y} * picture.width * 4];
    float* out = &rows[std::size_t{y} * newWidth * 4];
    for (std::uint32_t x = 0; x < newWidth; ++x) {
      const Span& span = across[x];
      for (std::size_t k = 0; k < span.weights.size(); ++k)
        for (int c = 0; c < 4; ++c)
          out[x * 4 + c] += in[(span.first + k) * 4 + c] * span.weights[k];
    }
  }
  Picture result{newWidth, newHeight,
                 std::vector<std::uint8_t>(std::size_t{newWidth} * newHeight * 4)};
  std::vector<float> sum(std::size_t{newWidth} * 4);
  for (std::uint32_t y = 0; y < newHeight; ++y) {
    std::fill(sum.begin(), sum.end(), 0.0f);
    const Span& span = down[y];
    for (std::size_t k = 0; k < span.weights.size(); ++k) {
      const float* in = &rows[(span.first + k) * std::size_t{newWidth} * 4];
      for (std::size_t i = 0; i < sum.size(); ++i) sum[i] += in[i] * span.weights[k];
    }
    std::uint8_t* out = &result.rgba[std::size_t{y} * newWidth * 4];
    for (std::uint32_t x = 0; x < newWidth; ++x) {
      const float alpha = sum[x * 4 + 3];
      for (int c = 0; c < 3; ++c) {
        const float value = alpha > 0.0f ? sum[x * 4 + c] * 255.0f / alpha : 0.0f;
        out[x * 4 + c] = static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
      }
      out[x * 4 + 3] = static_cast<std::uint8_t>(std::clamp(std::lround(alpha), 0L, 255L));
    }
  }
  return result;
}

}  // namespace brindle::pictures

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
  // One new row at a time: each old row it covers is shrunk across, then added in by its share,
  // so the work space is two rows of the new width whatever the size of the picture.
  const std::vector<Span> across = Spans(picture.width, newWidth);
  const std::vector<Span> down = Spans(picture.height, newHeight);
  Picture result{newWidth, newHeight,
                 std::vector<std::uint8_t>(std::size_t{newWidth} * newHeight * 4)};
  std::vector<float> sum(std::size_t{newWidth} * 4);
  for (std::uint32_t y = 0; y < newHeight; ++y) {
    std::fill(sum.begin(), sum.end(), 0.0f);
    const Span& rows = down[y];
    for (std::size_t r = 0; r < rows.weights.size(); ++r) {
      const std::uint8_t* in = &picture.rgba[(rows.first + r) * std::size_t{picture.width} * 4];
      for (std::uint32_t x = 0; x < newWidth; ++x) {
        const Span& columns = across[x];
        float red = 0, green = 0, blue = 0, alpha = 0;
        for (std::size_t k = 0; k < columns.weights.size(); ++k) {
          const std::uint8_t* p = in + (columns.first + k) * 4;
          const float covered = p[3] * columns.weights[k];
          red += p[0] * covered;
          green += p[1] * covered;
          blue += p[2] * covered;
          alpha += covered;
        }
        const float share = rows.weights[r];
        sum[x * 4] += red * share;
        sum[x * 4 + 1] += green * share;
        sum[x * 4 + 2] += blue * share;
        sum[x * 4 + 3] += alpha * share;
      }
    }
    std::uint8_t* out = &result.rgba[std::size_t{y} * newWidth * 4];
    for (std::uint32_t x = 0; x < newWidth; ++x) {
      const float alpha = sum[x * 4 + 3];  // 0 to 255
      for (int c = 0; c < 3; ++c) {
        const float value = alpha > 0.0f ? sum[x * 4 + c] / alpha : 0.0f;
        out[x * 4 + c] = static_cast<std::uint8_t>(std::min(value, 255.0f) + 0.5f);
      }
      out[x * 4 + 3] = static_cast<std::uint8_t>(std::min(alpha, 255.0f) + 0.5f);
    }
  }
  return result;
}

}  // namespace brindle::pictures

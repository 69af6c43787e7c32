// Making a picture fit a square of N pixels, as thumbnails are asked for.
#pragma once

#include "pictures/Picture.h"

namespace brindle::pictures {

// The picture shrunk, keeping its proportions, so that neither side exceeds side (at least 1);
// one that already fits is returned as it is (never enlarged). Each new pixel is the average of
// the area it covers, weighted by how much of each old pixel falls in it, with transparent
// pixels given no colour weight.
Picture FitWithin(const Picture& picture, std::uint32_t side);

}  // namespace brindle::pictures

// Hosts without an in-kernel file copy: the caller always copies by hand.
#include "media/ImageFile.h"
#include "output/OutputFile.h"

namespace brindle::output {

KernelCopy CopyInKernel(const media::ImageFile&, std::uint64_t, OutputFile&, std::uint64_t,
                        std::uint64_t, std::uint64_t& copied) {
  copied = 0;
  return KernelCopy::Unsupported;
}

}  // namespace brindle::output

namespace brindle::output {

KernelCopy CopyInKernel(std::intptr_t, std::uint64_t, OutputFile&, std::uint64_t, std::uint64_t,
                        std::uint64_t& copied) {
  copied = 0;
  return KernelCopy::Unsupported;
}

}  // namespace brindle::output

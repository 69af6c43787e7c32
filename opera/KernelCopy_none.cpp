// Hosts without an in-kernel file copy: the caller always copies by hand.
#include "opera/HostFile.h"

namespace brindle::opera {

KernelCopy CopyInKernel(const ImageFile&, std::uint64_t, OutputFile&, std::uint64_t, std::uint64_t,
                        std::uint64_t& copied) {
  copied = 0;
  return KernelCopy::Unsupported;
}

}  // namespace brindle::opera

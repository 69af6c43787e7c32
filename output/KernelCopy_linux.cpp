// Copies a file range inside the Linux kernel (copy_file_range), at the speed of cp.
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "media/ImageFile.h"
#include "output/OutputFile.h"

namespace brindle::output {

KernelCopy CopyInKernel(const media::ImageFile& image, std::uint64_t offset, OutputFile& out,
                        std::uint64_t outOffset, std::uint64_t length, std::uint64_t& copied) {
  return CopyInKernel(image.nativeHandle(), offset, out, outOffset, length, copied);
}

KernelCopy CopyInKernel(std::intptr_t in, std::uint64_t offset, OutputFile& out,
                        std::uint64_t outOffset, std::uint64_t length, std::uint64_t& copied) {
  copied = 0;
  constexpr std::uint64_t kChunk = 1u << 30;
  while (copied < length) {
    loff_t from = static_cast<loff_t>(offset + copied);
    loff_t to = static_cast<loff_t>(outOffset + copied);
    const std::uint64_t want = std::min(length - copied, kChunk);
    const ssize_t n =
        ::copy_file_range(static_cast<int>(in), &from, static_cast<int>(out.nativeHandle()), &to,
                          static_cast<std::size_t>(want), 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      // Kernels, file systems and file kinds that cannot do this: the caller copies by hand.
      if (errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP ||
          errno == EBADF || errno == ETXTBSY || errno == EPERM)
        return KernelCopy::Unsupported;
      return KernelCopy::Failed;
    }
    if (n == 0) break;  // the image ends here
    copied += static_cast<std::uint64_t>(n);
    out.wroteUpTo(outOffset + copied);
  }
  return KernelCopy::Done;
}

}  // namespace brindle::output

#include "pack/Writer.h"

#include <algorithm>
#include <array>
#include <optional>

#include "media/BlockDevice.h"
#include "media/ImageFile.h"
#include "opera/Encode.h"
#include "opera/EntryReader.h"
#include "output/Names.h"
#include "output/OutputFile.h"

namespace brindle::pack {
namespace {

constexpr std::size_t kChunk = 1u << 20;  // bytes read and written at a time by hand

std::uint64_t At(std::uint32_t block) {
  return std::uint64_t{block} * media::kBlockSize;
}

class VolumeWriter {
 public:
  VolumeWriter(output::OutputFile& out, media::BlockDevice* source, const WriteHooks& hooks,
               WriteResult& result)
      : out_(out), source_(source), hooks_(hooks), result_(result) {}

  bool write(const Plan& plan) {
    std::array<std::uint8_t, media::kBlockSize> label{};
    opera::EncodeVolumeLabel(plan.label, label);
    for (std::uint32_t block : plan.labelCopies)
      if (!put(At(block), label)) return false;
    for (const PlannedDirectory& dir : plan.directories)
      for (std::uint32_t first : dir.copies)
        for (std::size_t i = 0; i < dir.blocks.size(); ++i)
          if (!put(At(first) + i * media::kBlockSize, dir.blocks[i])) return false;
    for (const PlannedFile& file : plan.files) {
      if (stop()) return false;
      const bool ok = file.node->discEntry ? copyFromDisc(file) : copyFromHost(file);
      if (!ok) return false;
      if (hooks_.addFile) hooks_.addFile();
    }
    // The last file's last block, and blocks no one wrote, read as zeros.
    if (!out_.resize(At(plan.label.blockCount))) return fail("the image could not be written");
    return true;
  }

 private:
  bool stop() {
    if (hooks_.interrupted && hooks_.interrupted()) result_.interrupted = true;
    return result_.interrupted;
  }

  bool fail(std::string why) {
    result_.problems.push_back(std::move(why));
    return false;
  }

  bool put(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    return out_.writeAt(offset, bytes) || fail("the image could not be written");
  }

  bool copyFromHost(const PlannedFile& file) {
    const Node& node = *file.node;
    const auto in = media::ImageFile::Open(node.hostPath);
    if (!in) return fail(node.hostPath + ": cannot be read");
    for (std::uint32_t first : file.copies) {
      std::uint64_t done = 0;
      const auto kernel =
          output::CopyInKernel(in->nativeHandle(), 0, out_, At(first), node.size, done);
      if (kernel == output::KernelCopy::Failed) return fail("the image could not be written");
      // By hand where the kernel would not; a file that ended early is found short below.
      while (kernel == output::KernelCopy::Unsupported && done < node.size) {
        if (stop()) return false;
        buffer_.resize(kChunk);
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, node.size - done));
        const auto got = in->readSome(done, std::span(buffer_).first(want));
        if (!got) return fail(node.hostPath + ": cannot be read");
        if (*got == 0) break;
        if (!put(At(first) + done, std::span(buffer_).first(*got))) return false;
        done += *got;
        if (hooks_.addBytes) hooks_.addBytes(*got);
      }
      if (kernel == output::KernelCopy::Done && hooks_.addBytes) hooks_.addBytes(done);
      if (done != node.size)
        return fail(node.hostPath + ": changed while being packed (" + std::to_string(done) +
                    " bytes instead of " + std::to_string(node.size) + ")");
    }
    return true;
  }

  bool copyFromDisc(const PlannedFile& file) {
    const Node& node = *file.node;
    if (!source_) return fail(output::Latin1ToUtf8(file.path) + ": no disc to read it from");
    opera::EntryReader reader(*source_);
    opera::ReadReport report;
    buffer_.resize(kChunk);
    for (std::uint64_t done = 0; done < node.size;) {
      if (stop()) return false;
      const std::size_t want =
          static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, node.size - done));
      const std::size_t got =
          reader.read(*node.discEntry, done, std::span(buffer_).first(want), report);
      // An entry cut short by its own fields reads as zeros past its end.
      std::fill(buffer_.begin() + static_cast<std::ptrdiff_t>(got),
                buffer_.begin() + static_cast<std::ptrdiff_t>(want), std::uint8_t{0});
      for (std::uint32_t first : file.copies)
        if (!put(At(first) + done, std::span(buffer_).first(want))) return false;
      done += want;
      if (hooks_.addBytes) hooks_.addBytes(want * file.copies.size());
    }
    if (!report.complete()) {
      const auto& first = report.damaged.front();
      result_.damaged.push_back(output::Latin1ToUtf8(file.path) + ": " +
                                std::to_string(report.damaged.size()) +
                                " of its blocks unreadable in every copy (the first at disc "
                                "block " +
                                std::to_string(first.block) + "), written as zeros");
    } else if (!report.recovered.empty()) {
      result_.recovered.push_back(output::Latin1ToUtf8(file.path));
    }
    return true;
  }

  output::OutputFile& out_;
  media::BlockDevice* source_;
  const WriteHooks& hooks_;
  WriteResult& result_;
  std::vector<std::uint8_t> buffer_;
};

}  // namespace

WriteResult WriteVolume(const Plan& plan, const std::string& out, media::BlockDevice* source,
                        const WriteHooks& hooks) {
  WriteResult result;
  auto file = output::OutputFile::Replace(out);
  if (!file) {
    result.problems.push_back(out + ": cannot be created");
    return result;
  }
  if (!VolumeWriter(*file, source, hooks, result).write(plan)) return result;  // removes the part
  if (!file->close()) {
    result.problems.push_back(out + ": could not be written completely");
    return result;
  }
  result.written = true;
  return result;
}

}  // namespace brindle::pack

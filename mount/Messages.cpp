#include "mount/Messages.h"

#include "output/Names.h"

namespace brindle::mount {
namespace {

std::string Quoted(const std::string& path) {
  return "\"" + (path.empty() ? std::string("/") : path) + "\"";
}

std::string Below(bool directory) {
  return directory ? " (a directory: nothing below it is shown either)" : "";
}

}  // namespace

std::string LeftOutUnsafeName(const std::string& path, bool directory) {
  return "Left out " + Quoted(path) + ": its name cannot be a file name" + Below(directory) + ".";
}

std::string LeftOutDuplicate(const std::string& path, bool directory) {
  return "Left out " + Quoted(path) + ": an earlier entry of its directory has the same name" +
         Below(directory) + ".";
}

std::string LeftOutMoreText(const std::string& path, std::size_t count) {
  return Quoted(path) + ": and " + std::to_string(count) + " more entries left out.";
}

std::string DamagedFileText(const std::string& path, std::uint32_t index, std::uint32_t block,
                            media::BlockStatus status) {
  return Quoted(path) + ": block " + std::to_string(index) + " (disc block " +
         std::to_string(block) + ") is " + media::ToText(status) +
         " in every copy; reads of that part fail with an I/O error.";
}

std::string RecoveredFileText(const std::string& path, std::uint32_t index, std::uint32_t block,
                              std::uint32_t copy) {
  return Quoted(path) + ": block " + std::to_string(index) + " (disc block " +
         std::to_string(block) + ") failed and was read from copy " + std::to_string(copy + 1) +
         " (later such blocks of this file are not listed).";
}

std::string NoDataText(const std::string& path) {
  return Quoted(path) + ": the entry names no block of its data; reads of it fail.";
}

std::string NotOperaText(media::BlockStatus status) {
  if (status != media::BlockStatus::Good) {
    return std::string("Cannot read block 0 of the disc: ") + media::ToText(status) + ".";
  }
  return "Not an Opera volume: block 0 holds no volume label.";
}

std::string MountFailedText(const std::string& mountPoint) {
  return "Could not mount on \"" + mountPoint + "\".";
}

std::string NotEmptyText(const std::string& mountPoint) {
  return "Will not mount on \"" + mountPoint +
         "\": the folder is not empty (its files would be hidden). Choose an empty folder.";
}

std::string AlreadyMountedText(const std::string& mountPoint) {
  return "Will not mount on \"" + mountPoint +
         "\": a file system is mounted there already. Unmount it first (fusermount3 -u).";
}

}  // namespace brindle::mount

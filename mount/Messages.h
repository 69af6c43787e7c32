// What the mounted file system says on standard error, in one place.
#pragma once

#include <cstdint>
#include <string>

#include "media/BlockDevice.h"
#include "opera/Walker.h"

namespace brindle::mount {

// paths are UTF-8, as the mount shows them.
std::string LeftOutUnsafeName(const std::string& path, bool directory);
std::string LeftOutDuplicate(const std::string& path, bool directory);
// count more entries of the directory at path were left out, past those told one by one.
std::string LeftOutMoreText(const std::string& path, std::size_t count);

std::string DamagedFileText(const std::string& path, std::uint32_t index, std::uint32_t block,
                            media::BlockStatus status);
std::string RecoveredFileText(const std::string& path, std::uint32_t index, std::uint32_t block,
                              std::uint32_t copy);
std::string NoDataText(const std::string& path);

std::string NotOperaText(media::BlockStatus status);
std::string MountFailedText(const std::string& mountPoint);
// The mount point refused before mounting.
std::string NotEmptyText(const std::string& mountPoint);
std::string AlreadyMountedText(const std::string& mountPoint);

}  // namespace brindle::mount

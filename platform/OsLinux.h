// The Linux backend's naming rules, visible for tests: drive letters D:, E:, ... stand for the
// optical drives /dev/sr0, /dev/sr1, ... in order.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brindle::platform::linux_os {

// The device behind a drive root ("D:" or "D:\", either case); nothing for A: to C: and for
// anything that is not a root.
std::optional<std::string> DeviceForRoot(std::string_view root);

// The device behind a device path ("\\.\D:", either case); nothing for any other path.
std::optional<std::string> DeviceForPath(std::string_view path);

// The folder of the running executable ("" when it cannot be told).
std::string ExecutableFolder();

}  // namespace brindle::platform::linux_os

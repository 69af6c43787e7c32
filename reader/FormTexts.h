// The window's own texts: title, captions and start-up values. Both windows (the Qt one and the
// Win32 one) are the same form and show exactly these.
#pragma once

namespace brindle::reader::texts {

inline constexpr const char* kTitle = "Brindle v0.03";

inline constexpr const char* kLabelImage = "Disc Image:";
inline constexpr const char* kLabelDrive = "CD/DVD-ROM Drive:";
inline constexpr const char* kOpenImage = "...";
inline constexpr const char* kOpenDrive = "OK";
inline constexpr const char* kNoFile = "[no file selected]";
inline constexpr const char* kHeadingName = "Filename";
inline constexpr const char* kHeadingType = "Type";
inline constexpr const char* kHeadingSize = "Filesize";
inline constexpr const char* kExtractAll = "extract all files from current directory";
inline constexpr const char* kSource = "Source:";
inline constexpr const char* kSourceImage = "Disc Image";
inline constexpr const char* kSourceDrive = "CD-ROM";
inline constexpr const char* kDiscSizeLabel = "Disc Size:";
inline constexpr const char* kNoDiscSize = "--- MB";

// The built marker of the drive list: set once the transport has been chosen and the list
// filled, so later switches to the drive source keep the list as the user left it.
inline constexpr const char* kDrivesBuilt = "1111";

}  // namespace brindle::reader::texts

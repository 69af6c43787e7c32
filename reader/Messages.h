// Every text the reader shows the user, in one place.
#pragma once

#include <string>

namespace brindle::reader::messages {

inline constexpr const char* kOpenDialogTitle = "Please select a disc image...";
inline constexpr const char* kImageFilterDescription = "ISO disc images (*.iso)";
inline constexpr const char* kImageFilterPattern = "*.iso";
inline constexpr const char* kSaveDialogTitle = "Save file as...";
inline constexpr const char* kExtractDialogTitle = "Extract files to...";
inline constexpr const char* kAllFilesDescription = "All files (*.*)";
inline constexpr const char* kAllFilesPattern = "*.*";
// The initial name of the extract-all dialog; the folder is what precedes it in the answer.
inline constexpr const char* kFolderPlaceholder = "Filename will be ignored";

inline constexpr const char* kCannotOpenImage = "The given file could not be opened for reading.";
inline constexpr const char* kNot2048Image =
    "This program only supports 3DO disc images with 2048 bytes/sector.";
inline constexpr const char* kNoDriveSelected =
    "No drive is selected. Choose a drive from the list first.";
inline constexpr const char* kKeepPlaceholder =
    "Please keep the name \"Filename will be ignored\" and choose only the folder to extract "
    "to. Nothing was copied.";
inline constexpr const char* kRootUnreadable =
    "The root directory of the disc could not be read completely. Only the entries read before "
    "the fault are listed.";
inline constexpr const char* kDirectoryUnreadable =
    "The directory could not be read from the disc. The listing was left as it was.";

inline std::string NotOperaDisc(const std::string& driveLetterAndColon) {
  return "The disc in drive (" + driveLetterAndColon +
         ") is not formatted with the Opera file system.";
}

inline std::string CannotWriteFile(const std::string& path) {
  return "The file \"" + path + "\" could not be written completely.";
}

// One line per entry: the names given are listed after the heading.
inline constexpr const char* kEntriesNotWritten = "These entries could not be written:";
inline constexpr const char* kEntriesSkipped =
    "These entries were skipped because their names are not safe file names:";

}  // namespace brindle::reader::messages

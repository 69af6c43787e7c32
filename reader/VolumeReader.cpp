#include "reader/VolumeReader.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "media/ImageFile.h"
#include "opera/BigEndian.h"
#include "opera/Format.h"
#include "opera/Volume.h"
#include "output/Names.h"
#include "output/OutputFile.h"
#include "reader/BlockSource.h"
#include "reader/Directory.h"
#include "reader/EntryLine.h"
#include "reader/Messages.h"

namespace brindle::reader {
namespace {

bool HasSync(std::span<const std::uint8_t> block0) {
  if (block0.size() < opera::kSyncOffset + opera::kSyncLength) return false;
  return std::equal(block0.begin() + opera::kSyncOffset,
                    block0.begin() + opera::kSyncOffset + opera::kSyncLength, opera::kSyncBytes);
}

// What lstFiles and lstHistory held before a navigation step, to go back to when it fails.
struct ListingState {
  std::vector<std::string> files;
  std::vector<std::string> history;

  static ListingState Of(const ReaderWindow& window) {
    ListingState state;
    for (int i = 0; i < window.fileCount(); ++i) state.files.push_back(window.fileLine(i));
    for (int i = 0; i < window.historyCount(); ++i) state.history.push_back(window.historyEntry(i));
    return state;
  }

  void restore(ReaderWindow& window) const {
    window.clearFiles();
    if (!files.empty()) window.appendFiles(files);
    window.clearHistory();
    for (const std::string& entry : history) window.pushHistory(entry);
  }
};

// The folder of the extract dialog's answer: all before the placeholder name, which must be the
// answer's last path component. A folder on the way whose name holds the placeholder text is
// part of the folder, never where it is cut.
std::optional<std::string> FolderOfPlaceholder(const std::string& answer) {
  const std::string_view placeholder = messages::kFolderPlaceholder;
  if (!answer.ends_with(placeholder)) return std::nullopt;
  const std::size_t at = answer.size() - placeholder.size();
  if (at > 0 && !output::IsPathSeparator(answer[at - 1])) return std::nullopt;
  return answer.substr(0, at);
}

std::string NameList(const char* heading, const std::vector<std::string>& names) {
  std::string text = heading;
  for (const std::string& name : names) text += "\n\"" + output::Latin1ToUtf8(name) + "\"";
  return text;
}

}  // namespace

VolumeReader::VolumeReader(ReaderWindow& window, DriveReader readDrive)
    : window_(window), readDrive_(std::move(readDrive)) {}

bool VolumeReader::cmdOpen_Click() {
  return window_.sectorSource() == SectorSource::Drive ? openDrive() : openImage();
}

bool VolumeReader::openDrive() {
  if (window_.driveIndex() < 0) {
    window_.showError(messages::kNoDriveSelected);
    return false;
  }
  const sector::SectorData block0 = readDrive_(0, 1);
  if (block0.empty()) return false;  // the drive reader has told the user
  if (!HasSync(block0.bytes())) {
    window_.showError(messages::NotOperaDisc(window_.driveText().substr(0, 2)));
    return false;
  }
  if (LoadRootDirectory(window_, BlockSource::Drive(readDrive_), &longDirectories_)) return true;
  // The root holds a malformed block, or a block the drive could not give. What was listed
  // stays; the size is this disc's, never the previous one's.
  window_.setDiscSize(opera::DiscSizeText(static_cast<std::uint32_t>(
      opera::ReadBigEndian32At(block0.bytes(), opera::kVolumeBlocksOffset))));
  window_.showError(messages::kRootUnreadable);
  return false;
}

bool VolumeReader::openImage() {
  const auto path =
      window_.showOpenDialog({messages::kOpenDialogTitle, messages::kImageFilterDescription,
                              messages::kImageFilterPattern, ""});
  if (!path) return false;
  if (!media::IsOrdinaryFile(*path)) {
    window_.showError(messages::kCannotOpenImage);
    return false;
  }
  return openImageFile(*path);
}

bool VolumeReader::OpenImageAt(const std::string& path) {
  if (window_.sectorSource() != SectorSource::Image || !media::IsRegularFile(path)) {
    window_.showError(messages::kCannotOpenImage);
    return false;
  }
  return openImageFile(path);
}

bool VolumeReader::openImageFile(const std::string& path) {
  window_.setImagePath(path);
  window_.clearFiles();

  // From here on a failure ends the open silently, leaving what was done so far.
  const auto image = media::ImageFile::Open(path);
  if (!image) return false;
  std::vector<std::uint8_t> head(opera::kSyncOffset + opera::kSyncLength);
  if (!image->readExact(0, head)) return false;
  if (!HasSync(head)) {
    window_.showError(messages::kNot2048Image);
    window_.setImagePath("");
    return false;
  }
  return LoadRootDirectory(window_, BlockSource::Image(*image), &longDirectories_);
}

bool VolumeReader::lstFiles_DblClick() {
  const int index = window_.currentFile();
  if (index < 0 || index >= window_.fileCount()) return false;
  const std::string line = window_.fileLine(index);
  return IsDirectoryLine(line) ? navigate(line) : SaveEntry(line);
}

bool VolumeReader::navigate(const std::string& line) {
  const ListingState before = ListingState::Of(window_);
  const LongDirectories longBefore = longDirectories_;
  std::optional<media::ImageFile> image;
  if (!openSourceImage(image)) return false;
  const BlockSource source = image ? BlockSource::Image(*image) : BlockSource::Drive(readDrive_);
  const std::vector<std::string> navigationLines = {kRootLine, kParentLine};

  bool ok = true;
  if (line == kRootLine || (line == kParentLine && window_.historyCount() < 3)) {
    ok = LoadRootDirectory(window_, source, &longDirectories_);
  } else if (line == kParentLine) {
    window_.clearFiles();
    const int parent = window_.historyCount() - 2;
    window_.setCurrentHistory(parent);
    const auto [blockCount, startBlock] = ParseHistoryEntry(window_.historyEntry(parent));
    ok = ListDirectory(window_, source, blockCount, startBlock, navigationLines, &longDirectories_);
    window_.popHistory();  // the entry just pushed for the parent
    window_.popHistory();  // the directory left
  } else {
    window_.clearFiles();
    ok = ListDirectory(window_, source, DirectoryBlocks(line, longDirectories_),
                       EntryFirstBlock(line), navigationLines, &longDirectories_);
  }
  if (!ok) {
    before.restore(window_);
    longDirectories_ = longBefore;
    window_.showError(messages::kDirectoryUnreadable);
  }
  return ok;
}

bool VolumeReader::SaveEntry(const std::string& line) {
  const auto path =
      window_.showSaveDialog({messages::kSaveDialogTitle, messages::kAllFilesDescription,
                              messages::kAllFilesPattern, output::Latin1ToUtf8(EntryName(line))});
  if (!path) return false;

  window_.setOpenEnabled(false);
  window_.setFilesEnabled(false);
  bool imageOpened = true;
  bool ok = false;
  if (window_.sectorSource() == SectorSource::Drive) {
    ok = ExtractEntry(readDrive_, EntryFirstBlock(line), entryBytes(line), *path);
  } else if (const auto image = media::ImageFile::Open(window_.imagePath())) {
    ok = ExtractEntry(*image, EntryFirstBlock(line), entryBytes(line), *path, true, copyMethod_);
  } else {
    imageOpened = false;
  }
  window_.setOpenEnabled(true);
  window_.setFilesEnabled(true);

  if (ok) {
    window_.beep();
  } else {
    window_.showError(imageOpened ? messages::CannotWriteFile(*path) : messages::kCannotOpenImage);
  }
  return ok;
}

bool VolumeReader::Command2_Click() {
  const auto answer =
      window_.showSaveDialog({messages::kExtractDialogTitle, messages::kAllFilesDescription,
                              messages::kAllFilesPattern, messages::kFolderPlaceholder});
  if (!answer) return false;
  const auto folder = FolderOfPlaceholder(*answer);
  if (!folder) {
    // The folder cannot be told from another name: copy nothing rather than guess.
    window_.showError(messages::kKeepPlaceholder);
    return false;
  }
  return ExtractAllTo(*folder);
}

bool VolumeReader::openSourceImage(std::optional<media::ImageFile>& image) {
  if (window_.sectorSource() != SectorSource::Image) return true;
  image = media::ImageFile::Open(window_.imagePath());
  if (!image) window_.showError(messages::kCannotOpenImage);
  return image.has_value();
}

std::int32_t VolumeReader::entryBytes(const std::string& line) const {
  if (!IsDirectoryLine(line)) return EntrySize(line);
  const std::int32_t blocks = DirectoryBlocks(line, longDirectories_);
  return blocks > EntrySize(line) / kSignedBlockSize ? blocks * kSignedBlockSize : EntrySize(line);
}

bool VolumeReader::ExtractAllTo(const std::string& folder) {
  std::optional<media::ImageFile> image;
  if (!openSourceImage(image)) return false;

  std::vector<std::string> failed;
  std::vector<std::string> skipped;
  for (int i = 0; i < window_.fileCount(); ++i) {
    if (stop_ && stop_()) return false;
    const std::string line = window_.fileLine(i);
    const std::string name = EntryName(line);
    if (name == kRootLine || name == kParentLine) continue;
    if (!output::IsSafeFileName(name)) {
      skipped.push_back(name);
      continue;
    }
    // Links are not followed: a file can only be created or replaced inside the folder.
    const std::string target = folder + output::Latin1ToUtf8(name);
    // Replacing the image being read would spoil every entry after this one.
    if (image && image->isSameFile(target)) {
      failed.push_back(name);
      continue;
    }
    // Only whole entries take their names: a copy with an unreadable block is removed.
    const bool ok = image ? ExtractEntry(*image, EntryFirstBlock(line), entryBytes(line), target,
                                         false, copyMethod_, stop_)
                          : ExtractEntry(readDrive_, EntryFirstBlock(line), entryBytes(line),
                                         target, false, false, stop_);
    if (stop_ && stop_()) return false;
    if (!ok) failed.push_back(name);
  }
  image.reset();

  if (failed.empty() && skipped.empty()) {
    window_.beep();
    return true;
  }
  std::string message;
  if (!failed.empty()) message = NameList(messages::kEntriesNotWritten, failed);
  if (!skipped.empty())
    message += (message.empty() ? "" : "\n\n") + NameList(messages::kEntriesSkipped, skipped);
  window_.showError(message);
  return false;
}

}  // namespace brindle::reader

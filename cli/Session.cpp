#include "cli/Session.h"

#include <filesystem>
#include <ostream>

#include "output/Names.h"
#include "reader/EntryLine.h"

namespace brindle::cli {
namespace {

bool IsNavigationLine(const std::string& line) {
  return line == reader::kRootLine || line == reader::kParentLine;
}

// The index of the first entry line named name (Latin-1), of a directory when wanted; -1 when
// there is none.
int FindLine(const reader::PlainWindow& window, const std::string& name, bool directoryOnly) {
  for (std::size_t i = 0; i < window.files.size(); ++i) {
    const std::string& line = window.files[i];
    if (IsNavigationLine(line)) continue;
    if (directoryOnly && reader::EntryType(line) != reader::kDirectoryType) continue;
    if (reader::EntryName(line) == name) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

Session::Session(Source source, std::ostream& err)
    : source_(std::move(source)), err_(err), reader_(window_, source_.readDrive) {
  window_.source = source_.kind;
  if (source_.kind == reader::SectorSource::Drive) {
    window_.drives = {source_.driveLabel};
    window_.drive = 0;
  }
}

void Session::tell(const std::string& message) {
  err_ << message << '\n';
  anyMessage_ = true;
}

bool Session::flushMessages() {
  const bool none = messagesShown_ == window_.errors.size();
  for (; messagesShown_ < window_.errors.size(); ++messagesShown_)
    tell(window_.errors[messagesShown_]);
  return none;
}

int Session::status(bool completed) {
  flushMessages();
  return completed && !anyMessage_ ? kExitOk : kExitFailed;
}

bool Session::open() {
  // The path is taken as given: the window's rule that hides files named with a leading dot
  // belongs to its dialog, not to a path typed out in full.
  const bool image = source_.kind == reader::SectorSource::Image;
  const bool opened = image ? reader_.OpenImageAt(source_.imagePath) : reader_.cmdOpen_Click();
  if (flushMessages() && !opened) {
    // The window ends such an open silently; a script deserves to know.
    tell(image ? "The disc could not be read completely: the image cannot be opened, is too "
                 "short, or holds a damaged directory."
               : "The disc in the drive could not be read completely.");
  }
  return opened && !anyMessage_;
}

bool Session::enter(const std::vector<std::string>& directories) {
  for (const std::string& directory : directories) {
    const auto name = output::Utf8ToLatin1(directory);
    const int index = name ? FindLine(window_, *name, true) : -1;
    if (index < 0) {
      tell("No directory named \"" + directory + "\" in the listing.");
      return false;
    }
    window_.current = index;
    if (!reader_.lstFiles_DblClick()) {
      flushMessages();
      return false;
    }
  }
  return flushMessages();
}

int Session::info(std::ostream& out) {
  if (!open()) return status(false);
  out << window_.size << '\n';
  return status(true);
}

int Session::list(const std::vector<std::string>& directories, std::ostream& out) {
  if (!open() || !enter(directories)) return status(false);
  for (const std::string& line : window_.files)
    if (!IsNavigationLine(line)) out << output::Latin1ToUtf8(line) << '\n';
  return status(true);
}

int Session::extract(const std::string& outDir, const std::vector<std::string>& directories) {
  if (!open() || !enter(directories)) return status(false);
  std::error_code ec;
  std::filesystem::create_directories(outDir, ec);
  if (!std::filesystem::is_directory(outDir, ec)) {
    tell("The folder \"" + outDir + "\" could not be created.");
    return status(false);
  }
  std::string folder = outDir;
  if (folder.back() != '/') folder += '/';
  return status(reader_.ExtractAllTo(folder));
}

}  // namespace brindle::cli

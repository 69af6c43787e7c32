// The window's reader over an untrusted image held in memory: open it, enter the directories it
// lists (a bounded number of steps), go up and back to the root, save one entry and extract all
// entries of the directory shown. Every file goes into a scratch folder; the target aborts when
// anything else appears beside it, when a file in it is not named after a listed entry, or when
// a listing holds a line that is not an entry line.
//
// Byte 0 of the image is the volume's record type, which the reader never looks at; its low bit
// chooses how image bytes are copied (in the kernel, or through the process).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "output/Names.h"
#include "reader/EntryLine.h"
#include "reader/PlainWindow.h"
#include "reader/VolumeReader.h"

namespace {

using namespace brindle;
namespace fs = std::filesystem;

// Entering a directory and extracting: at most this many steps per input.
constexpr int kNavigationSteps = 12;
constexpr const char* kSavedName = "saved-entry";

struct Sandbox {
  fs::path root;     // holds the scratch folder and nothing else
  fs::path scratch;  // where the reader may write
  int image = -1;    // the image, a file in memory
  std::string imagePath;
};

Sandbox& TheSandbox() {
  static Sandbox* const sandbox = [] {
    auto* s = new Sandbox;
    std::string pattern =
        (fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path().string()) +
        "/brindle-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    s->root = pattern;
    s->scratch = s->root / "scratch";
    fs::create_directory(s->scratch);
    s->image = ::memfd_create("image", MFD_CLOEXEC);
    if (s->image < 0) std::abort();
    s->imagePath = "/proc/self/fd/" + std::to_string(s->image);
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(TheSandbox().root, ec);
    });
    return s;
  }();
  return *sandbox;
}

void CheckLines(const reader::PlainWindow& window, std::set<std::string>& names) {
  for (const std::string& line : window.files) {
    if (line == reader::kRootLine || line == reader::kParentLine) continue;
    if (line.size() != 65) std::abort();
    names.insert(output::Latin1ToUtf8(reader::EntryName(line)));
  }
}

// The scratch folder holds only regular files named after listed entries; nothing else is
// beside it. Empties it for the next input.
void CheckAndClearSandbox(const Sandbox& sandbox, const std::set<std::string>& names) {
  for (const auto& item : fs::directory_iterator(sandbox.root))
    if (item.path() != sandbox.scratch) std::abort();
  if (!fs::is_directory(fs::symlink_status(sandbox.scratch))) std::abort();
  for (const auto& item : fs::directory_iterator(sandbox.scratch)) {
    if (!fs::is_regular_file(item.symlink_status())) std::abort();
    const std::string name = item.path().filename().string();
    if (name != kSavedName && names.count(name) == 0) std::abort();
    fs::remove(item.path());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Sandbox& sandbox = TheSandbox();
  if (::ftruncate(sandbox.image, 0) != 0) std::abort();
  if (size > 0 && ::pwrite(sandbox.image, data, size, 0) != static_cast<ssize_t>(size))
    std::abort();

  reader::PlainWindow window;
  // The source is the image throughout: a drive read would be a fault of its own.
  reader::VolumeReader reader(
      window, [](std::int32_t, std::int16_t) -> sector::SectorData { std::abort(); });
  if (size > 0 && (data[0] & 1) != 0) reader.setCopyMethod(reader::CopyMethod::ReadWrite);

  std::set<std::string> names;
  window.openAnswers = {sandbox.imagePath};
  reader.cmdOpen_Click();
  CheckLines(window, names);

  // Enter directories: at each step the directory line chosen by the next input byte.
  for (int step = 0; step < kNavigationSteps; ++step) {
    std::vector<int> directories;
    for (int i = 0; i < static_cast<int>(window.files.size()); ++i)
      if (reader::EntryType(window.files[static_cast<std::size_t>(i)]) == reader::kDirectoryType)
        directories.push_back(i);
    if (directories.empty()) break;
    const std::uint8_t pick = size > 0 ? data[static_cast<std::size_t>(step + 1) % size] : 0;
    window.current = directories[pick % directories.size()];
    reader.lstFiles_DblClick();
    CheckLines(window, names);
  }

  // The first file line saved under a name chosen in the dialog, then everything extracted.
  for (const std::string& line : window.files) {
    if (reader::IsDirectoryLine(line)) continue;
    window.saveAnswers = {(sandbox.scratch / kSavedName).string()};
    reader.SaveEntry(line);
    break;
  }
  window.saveAnswers = {(sandbox.scratch / "Filename will be ignored").string()};
  reader.Command2_Click();

  // Up one level and back to the root.
  for (const char* line : {reader::kParentLine, reader::kRootLine}) {
    if (window.select(line)) reader.lstFiles_DblClick();
    CheckLines(window, names);
  }
  CheckAndClearSandbox(sandbox, names);
  return 0;
}

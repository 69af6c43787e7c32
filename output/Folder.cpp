#include "output/Folder.h"

#include <atomic>
#include <filesystem>
#include <utility>

namespace brindle::output {
namespace {

std::atomic<std::uint64_t> partSerial{0};

std::filesystem::path Native(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace

PartFile::PartFile(PartFile&& other) noexcept
    : file_(std::move(other.file_)),
      folder_(std::move(other.folder_)),
      temp_(std::move(other.temp_)),
      done_(std::exchange(other.done_, true)) {}

PartFile::~PartFile() {
  if (!done_) discard();
}

bool PartFile::commit(const std::string& finalName) {
  if (done_) return false;
  done_ = true;
  std::error_code ec;
  if (!file_.close()) {
    std::filesystem::remove(Native(Join(folder_, temp_)), ec);
    return false;
  }
  // A rename replaces the name itself, also a link planted under it; it never writes through it.
  std::filesystem::rename(Native(Join(folder_, temp_)), Native(Join(folder_, finalName)), ec);
  if (ec) std::filesystem::remove(Native(Join(folder_, temp_)), ec);
  return !ec;
}

void PartFile::discard() {
  if (done_) return;
  done_ = true;
  file_.close();
  std::error_code ec;
  std::filesystem::remove(Native(Join(folder_, temp_)), ec);
}

std::optional<Folder> Folder::Make(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(Native(path), ec);
  if (!std::filesystem::is_directory(Native(path), ec)) return std::nullopt;
  return Folder(path);
}

std::optional<Folder> Folder::Existing(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_directory(Native(path), ec)) return std::nullopt;
  return Folder(path);
}

std::optional<Folder> Folder::subfolder(const std::string& name) const {
  const std::string path = Join(path_, name);
  std::error_code ec;
  std::filesystem::create_directory(Native(path), ec);
  // Only a real folder counts: a link of that name could lead anywhere.
  const auto status = std::filesystem::symlink_status(Native(path), ec);
  if (ec || !std::filesystem::is_directory(status)) return std::nullopt;
  return Folder(path);
}

std::optional<PartFile> Folder::createPart(const std::string& finalName) const {
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string temp = "." + finalName + ".part" + std::to_string(++partSerial);
    if (auto file = OutputFile::CreateNew(Join(path_, temp)))
      return PartFile(std::move(*file), path_, temp);
  }
  return std::nullopt;
}

bool Folder::has(const std::string& name) const {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(Native(Join(path_, name)), ec));
}

}  // namespace brindle::output

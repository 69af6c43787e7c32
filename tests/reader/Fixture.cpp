#include "Fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "reader/EntryLine.h"

namespace brindle::testing {

ScratchDir::ScratchDir() {
  std::random_device random;
  path_ = std::filesystem::temp_directory_path() /
          ("brindle-opera-" + std::to_string(random()) + "-" + std::to_string(random()));
  std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::filesystem::path Utf8Path(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

sector::SectorData FakeDrive::read(std::int32_t lba, std::int16_t count) {
  lbas.push_back(lba);
  counts.push_back(count);
  const std::size_t offset = static_cast<std::size_t>(lba) * kOperaBlockSize;
  if (failing.count(lba) || failingCalls.count(lbas.size() - 1) ||
      offset + kOperaBlockSize > image_.size()) {
    window_.showError("Could not read sector " + std::to_string(lba) + ". Drive not ready.");
    return {};
  }
  return sector::SectorData::CopyOf(std::span(image_).subspan(offset, kOperaBlockSize));
}

ImageScene::ImageScene(const OperaImage& image, const std::string& name)
    : imagePath(dir.file(name)) {
  EXPECT_TRUE(image.writeTo(imagePath));
}

bool ImageScene::open() {
  window.openAnswers.push_back(imagePath);
  return reader.cmdOpen_Click();
}

bool ImageScene::doubleClick(const std::string& text) {
  EXPECT_TRUE(window.select(text)) << "no line \"" << text << "\"";
  return reader.lstFiles_DblClick();
}

std::string ImageScene::lineOf(const std::string& name) const {
  for (const std::string& line : window.files)
    if (reader::EntryName(line) == name && line != reader::kRootLine && line != reader::kParentLine)
      return line;
  return "";
}

std::vector<std::string> Names(const reader::PlainWindow& window) {
  std::vector<std::string> names;
  for (const std::string& line : window.files) names.push_back(reader::EntryName(line));
  return names;
}

}  // namespace brindle::testing

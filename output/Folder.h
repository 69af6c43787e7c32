// A folder that extracted files land in: subfolders made inside it (never through a link), and
// files written under a temporary name first and given their own name only once complete, so an
// interrupted or failed copy never leaves a partial file under the entry's name.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "output/OutputFile.h"

namespace brindle::output {

class Folder;

// A file being written inside a folder under a temporary name.
class PartFile {
 public:
  OutputFile& file() { return file_; }
  // Closes the file and gives it finalName (replacing a file of that name); false when closing
  // or renaming failed, and then nothing is left behind.
  bool commit(const std::string& finalName);
  // Closes and removes the temporary file.
  void discard();
  ~PartFile();

  PartFile(PartFile&&) noexcept;
  PartFile& operator=(PartFile&&) = delete;
  PartFile(const PartFile&) = delete;

 private:
  friend class Folder;
  PartFile(OutputFile file, std::string folder, std::string tempName)
      : file_(std::move(file)), folder_(std::move(folder)), temp_(std::move(tempName)) {}
  OutputFile file_;
  std::string folder_;
  std::string temp_;
  bool done_ = false;
};

class Folder {
 public:
  // The folder at path (UTF-8), made with its parents when missing; nothing when it cannot be
  // made or is not a folder.
  static std::optional<Folder> Make(const std::string& path);

  // The folder at path when it exists; nothing otherwise.
  static std::optional<Folder> Existing(const std::string& path);

  const std::string& path() const { return path_; }
  // The subfolder name (one safe path component), made when missing; nothing when it cannot be
  // made, or when something other than a real folder (a file, a link) has that name.
  std::optional<Folder> subfolder(const std::string& name) const;
  // A new, empty temporary file in this folder for an entry to be named finalName.
  std::optional<PartFile> createPart(const std::string& finalName) const;
  // True when name exists here in any form.
  bool has(const std::string& name) const;

 private:
  explicit Folder(std::string path) : path_(std::move(path)) {}
  std::string path_;
};

}  // namespace brindle::output

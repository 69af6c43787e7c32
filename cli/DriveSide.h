// The drive side of the command-line tool: the transport chosen as the window chooses it, the
// drive list built from it, and sector reads from the drive the user named.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "platform/Os.h"
#include "reader/ReaderWindow.h"
#include "transport/DriveList.h"
#include "transport/ISCSI.h"

namespace brindle::cli {

enum class TransportChoice {
  Auto,  // the pass-through transport when it works, else the ASPI library
  Spti,  // the pass-through transport only
  Aspi,  // the ASPI library only
};

class DriveSide final : public transport::DriveListView {
 public:
  // The warning of a failed transport choice goes to err.
  DriveSide(std::unique_ptr<platform::Os> os, TransportChoice choice, std::ostream& err);
  ~DriveSide() override;

  // Chooses the transport and builds the drive list, once; false when the choice ended with the
  // warning that no transport works.
  bool build();
  const std::vector<std::string>& labels() const { return labels_; }
  // "SPTI", "ASPI", or "" when no transport was chosen.
  std::string transportName() const;

  // Selects the drive whose label begins with letter (either case, the colon optional), or, on
  // Linux, the drive whose device letter is (/dev/sr0 is D:); false when no listed drive has it.
  bool select(const std::string& letter);
  std::string selectedLabel() const;
  // The transport chosen by build() (nullptr before or when none works) and the transport's
  // handle for the selected drive ("" when none is selected).
  transport::ISCSI* transport() const { return transport_.get(); }
  std::string selectedHandle() const;

  // Where the sector reader's messages go: the window the reader's actions run against.
  void setWindow(reader::ReaderWindow* window) { window_ = window; }
  // count sectors at lba of the selected drive, with the window's retry and message.
  sector::SectorData read(std::int32_t lba, std::int16_t count);

  // transport::DriveListView
  void addDrive(const std::string& label) override { labels_.push_back(label); }
  void selectDrive(int index) override { selected_ = index; }
  std::string tag() const override { return tag_; }
  void setTag(const std::string& tag) override { tag_ = tag; }
  void showWarning(const std::string& message, const std::string& title) override;

 private:
  std::unique_ptr<platform::Os> os_;
  TransportChoice choice_;
  std::ostream& err_;
  std::unique_ptr<transport::ISCSI> transport_;
  std::vector<std::string> labels_;
  int selected_ = -1;
  std::string tag_;
  bool warned_ = false;
  reader::ReaderWindow* window_ = nullptr;
};

}  // namespace brindle::cli

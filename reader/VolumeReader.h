// The reader's user actions: open a disc, act on a double-clicked line, extract all.
//
// Each action reads and changes the window's state through ReaderWindow and tells the user what
// went wrong through it; an image is opened at the start of the action that needs it and closed
// before the action returns. Each returns true when it ran to its end without a failure (the
// window may ignore this; the command line turns it into its exit status).
#pragma once

#include <optional>
#include <string>

#include "media/ImageFile.h"
#include "output/OutputFile.h"
#include "reader/Directory.h"
#include "reader/Extract.h"
#include "reader/ReaderWindow.h"

namespace brindle::reader {

class VolumeReader {
 public:
  // readDrive serves every drive read; it is called only while the window's source is the drive.
  VolumeReader(ReaderWindow& window, DriveReader readDrive);

  // The open button: check the volume header of the source and list the root.
  bool cmdOpen_Click();
  // The open of an image the user named outright (the command line): as the open button after
  // its dialog, for any regular file, whatever its name. Tells the user when it is none.
  bool OpenImageAt(const std::string& path);
  // A double click on the selected line of lstFiles: enter a directory, go up (".."), return to
  // the root ("/"), or save the entry as a file.
  bool lstFiles_DblClick();
  // The extract-all button: copy every listed entry into a folder the user chooses.
  bool Command2_Click();

  // The file side of the double click: save the entry of line under a name asked for in the
  // save dialog (also for a directory line).
  bool SaveEntry(const std::string& line);
  // Extract-all into folder (UTF-8, used as a prefix: end it with a separator), without the
  // dialog. Unsafe names are skipped; failures are collected and told in one message.
  bool ExtractAllTo(const std::string& folder);

  // How image entries are copied (tests force the by-hand path).
  void setCopyMethod(CopyMethod method) { copyMethod_ = method; }
  // Asked during extract-all (the command line's Ctrl+C): when it answers true, the entry being
  // copied is removed and the copying ends, as a failure.
  void setStopRequest(StopRequest stop) { stop_ = std::move(stop); }

 private:
  bool openImage();
  bool openImageFile(const std::string& path);
  bool openDrive();
  bool navigate(const std::string& line);
  // On the image source, opens the image named in txtFile into image; false after telling the
  // user when it cannot be opened. On the drive source, leaves image empty and returns true.
  bool openSourceImage(std::optional<media::ImageFile>& image);
  // The bytes a line's entry stands for: its size, or all the blocks of a longer directory.
  std::int32_t entryBytes(const std::string& line) const;

  ReaderWindow& window_;
  DriveReader readDrive_;
  CopyMethod copyMethod_ = CopyMethod::Fastest;
  StopRequest stop_;
  // The directories of the listing shown that hold more blocks than their lines' sizes give.
  LongDirectories longDirectories_;
};

}  // namespace brindle::reader

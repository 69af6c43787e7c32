// The reader's user actions: open a disc, act on a double-clicked line, extract all.
//
// Each action reads and changes the window's state through ReaderWindow and tells the user what
// went wrong through it; an image is opened at the start of the action that needs it and closed
// before the action returns.
#pragma once

#include "opera/ReaderWindow.h"

namespace brindle::opera {

class VolumeReader {
 public:
  // readDrive serves every drive read; it is called only while the window's source is the drive.
  VolumeReader(ReaderWindow& window, DriveReader readDrive);

  // The open button: check the volume header of the source and list the root.
  void cmdOpen_Click();
  // A double click on the selected line of lstFiles: enter a directory, go up (".."), return to
  // the root ("/"), or save the entry as a file.
  void lstFiles_DblClick();
  // The extract-all button: copy every listed entry into a folder the user chooses.
  void Command2_Click();

 private:
  ReaderWindow& window_;
  DriveReader readDrive_;
};

}  // namespace brindle::opera

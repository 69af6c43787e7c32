// The table of commands that main walks.
#include "cli/Command.h"

namespace brindle::cli {

RunCommand SetupDrives(CLI::App& command);
RunCommand SetupInfo(CLI::App& command);
RunCommand SetupLs(CLI::App& command);
RunCommand SetupTree(CLI::App& command);
RunCommand SetupVerify(CLI::App& command);
RunCommand SetupExtract(CLI::App& command);
RunCommand SetupGet(CLI::App& command);
RunCommand SetupConvert(CLI::App& command);
RunCommand SetupMount(CLI::App& command);
RunCommand SetupBanner(CLI::App& command);
RunCommand SetupPicture(CLI::App& command);
RunCommand SetupThumbnail(CLI::App& command);
RunCommand SetupHash(CLI::App& command);
RunCommand SetupIdentify(CLI::App& command);

const std::vector<Command>& Commands() {
  static const std::vector<Command> kCommands{
      {"drives",
       "Print the drive list as the window shows it; the transport in use goes to standard error",
       SetupDrives},
      {"info",
       "Print the disc size as the window shows it (--json: the container, its tracks and every "
       "field of the volume label)",
       SetupInfo},
      {"ls", "Print the entry lines of the root, or of the directory reached by entering each DIR",
       SetupLs},
      {"tree", "Print every path below the root (or DIR ...), one a line, directories ending in /",
       SetupTree},
      {"verify",
       "Read every block of every copy of every entry and directory; report unreadable blocks "
       "and copies that differ. Exit status 0 only when the disc is whole",
       SetupVerify},
      {"extract",
       "Copy every entry of the root, or of the directory reached, into OUTDIR as the window "
       "does (-r: the whole tree below it as folders and files)",
       SetupExtract},
      {"get",
       "Save one entry, named DIR/.../NAME, as OUTFILE; a block unreadable in one copy is read "
       "from the next, and a file no copy of which can be read whole is written as "
       "OUTFILE.damaged",
       SetupGet},
      {"convert",
       "Write the Opera volume's 2048-byte blocks, from the first to the volume's last, as a "
       "plain image the window opens (from any image, or a dump of a drive's disc). Unreadable "
       "blocks are written as zeros and listed; the exit status is then 1. Never writes over its "
       "input",
       SetupConvert},
      {"mount", "Serve the disc as a read-only file system on MOUNTPOINT until unmounted",
       SetupMount},
      {"banner", "Write the disc's banner (the picture shown while it starts) as PNG", SetupBanner},
      {"picture", "Write one of the disc's pictures (IMAG, CEL, banner) as PNG", SetupPicture},
      {"thumbnail", "The file manager's thumbnailer: -s SIZE IMAGE OUT.png from the banner",
       SetupThumbnail},
#ifdef BRINDLE_HAVE_IDENTIFY
      {"hash", "Hashes of each track as a dump holds it (size, CRC-32, MD5, SHA-1)", SetupHash},
      {"identify", "The DAT games whose tracks the disc matches", SetupIdentify},
#endif
  };
  return kCommands;
}

}  // namespace brindle::cli

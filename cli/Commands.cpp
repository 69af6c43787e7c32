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
RunCommand SetupPack(CLI::App& command);
RunCommand SetupRepack(CLI::App& command);
RunCommand SetupHash(CLI::App& command);
RunCommand SetupIdentify(CLI::App& command);

const std::vector<Command>& Commands() {
  static const std::vector<Command> kCommands{
      {"drives", "List the drives and the transport that reaches them", SetupDrives},
      {"info", "Print the disc's size, volume label and what holds it", SetupInfo},
      {"ls", "List the entries of a directory", SetupLs},
      {"tree", "Print every path below a directory, one a line", SetupTree},
      {"verify", "Read every copy of every block; report damage and copies that differ",
       SetupVerify},
      {"extract", "Copy a directory's entries (-r: its whole tree) into a folder", SetupExtract},
      {"get", "Save one entry as a file, or write it to standard output", SetupGet},
      {"convert", "Write the volume as a plain 2048-byte image", SetupConvert},
      {"mount", "Serve the disc as a read-only file system", SetupMount},
      {"banner", "Write the disc's banner (the picture shown while it starts) as PNG", SetupBanner},
      {"picture", "Write one of the disc's pictures (IMAG, CEL, banner) as PNG", SetupPicture},
      {"thumbnail", "The file manager's thumbnailer: -s SIZE IMAGE OUT.png from the banner",
       SetupThumbnail},
      {"pack", "Pack a folder into an Opera disc image of 2048-byte blocks", SetupPack},
      {"repack", "Rewrite any disc as a compact plain image, damaged files from their copies",
       SetupRepack},
#ifdef BRINDLE_HAVE_IDENTIFY
      {"hash", "Hashes of each track as a dump holds it (size, CRC-32, MD5, SHA-1)", SetupHash},
      {"identify", "The DAT games whose tracks the disc matches", SetupIdentify},
#endif
  };
  return kCommands;
}

}  // namespace brindle::cli

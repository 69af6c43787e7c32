// brindle-cli: the reader's actions from the command line, for scripts and for checking the
// reader against real discs.
#include <CLI/CLI.hpp>
#include <iostream>
#include <map>
#include <memory>

#include "BrindleVersion.h"
#include "cli/Command.h"
#include "cli/Disc.h"
#include "cli/DriveSide.h"
#include "cli/Extract.h"
#include "cli/ExtractLayout.h"
#include "cli/Inspect.h"
#include "cli/MountCommand.h"
#include "cli/Progress.h"
#include "cli/Session.h"
#include "cli/SourceOptions.h"
#include "media/Containers.h"
#include "output/Names.h"

namespace {

using brindle::cli::DriveSide;
using brindle::cli::Session;
using brindle::cli::Source;
using brindle::cli::SourceOptions;
using brindle::cli::TransportChoice;

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Reads discs formatted with the 3DO Opera file system, from an image or a drive.\n"
      "Messages go to standard error. Exit status: 0 when the command completed without a\n"
      "message, 1 otherwise, 2 for a usage error.",
      "brindle-cli"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("brindle-cli ") + brindle::kVersion,
                       "Print the version and exit");
  // Paths may begin with '/' on every host; only "-" and "--" start options.
  app.allow_windows_style_options(false);

  SourceOptions source;
  std::vector<std::string> directories;
  std::string outDir;
  std::string entryPath;
  std::string outFile;
  TransportChoice drivesTransport = TransportChoice::Auto;

  CLI::App* drives = app.add_subcommand(
      "drives",
      "Print the drive list as the window shows it; the transport in use goes to "
      "standard error");
  SourceOptions::addTransport(*drives, drivesTransport);

  bool json = false;
  bool recursive = false;
  bool quiet = false;
  CLI::App* info = app.add_subcommand(
      "info",
      "Print the disc size as the window shows it (--json: the container, its tracks and "
      "every field of the volume label)");
  source.addTo(*info);
  info->add_flag("--json", json, "Every field, as JSON (shape below)");

  CLI::App* ls = app.add_subcommand(
      "ls", "Print the entry lines of the root, or of the directory reached by entering each DIR");
  source.addTo(*ls);
  ls->add_option("DIR", directories, "Directory to enter (the name of a *dir line), in order");
  ls->add_flag("--json", json, "Every field of every entry, as JSON (shape below)");

  CLI::App* tree = app.add_subcommand(
      "tree", "Print every path below the root (or DIR ...), one a line, directories ending in /");
  source.addTo(*tree);
  tree->add_option("DIR", directories, "Directory to start from, entered in order");

  CLI::App* verify = app.add_subcommand(
      "verify",
      "Read every block of every copy of every entry and directory; report unreadable blocks "
      "and copies that differ. Exit status 0 only when the disc is whole");
  source.addTo(*verify);
  verify->add_flag("-q,--quiet", quiet, "No progress meter");

  CLI::App* extract = app.add_subcommand(
      "extract",
      "Copy every entry of the root, or of the directory reached, into OUTDIR as the window "
      "does (-r: the whole tree below it as folders and files)");
  source.addTo(*extract);
  extract->add_flag(
      "-r,--recursive", recursive,
      "The whole tree, as folders and files. Unsafe names are skipped, names the host would "
      "merge get a suffix (~2), a block unreadable in one copy is read from the next, a file no "
      "copy of which can be read whole is written as NAME.damaged");
  extract->add_flag("-q,--quiet", quiet, "No progress meter");
  std::string layoutFile;
  extract->add_option("--layout", layoutFile,
                      "With -r: also write FILE (beside the tree, not in it), each entry's order, "
                      "type, id, flags and copies, from which pack --layout rebuilds the disc");
  extract->add_option("OUTDIR", outDir, "Folder to write the files to (created if missing)")
      ->required();
  extract->add_option("DIR", directories, "Directory to enter first, in order");

  CLI::App* get = app.add_subcommand(
      "get",
      "Save one entry, named DIR/.../NAME, as OUTFILE; a block unreadable in one copy is read "
      "from the next, and a file no copy of which can be read whole is written as "
      "OUTFILE.damaged");
  source.addTo(*get);
  get->add_option("PATH", entryPath, "The entry: directories and its name, joined by '/'")
      ->required();
  get->add_option("OUTFILE", outFile, "The file to write (replaced if it exists)")->required();

  CLI::App* convert = app.add_subcommand(
      "convert",
      "Write the Opera volume's 2048-byte blocks, from the first to the volume's last, as a plain "
      "image the window opens (from any image, or a dump of a drive's disc). Unreadable blocks "
      "are written as zeros and listed; the exit status is then 1. Never writes over its input");
  source.addTo(*convert);
  convert->add_option("OUT", outFile, "The image to write (replaced once complete)")->required();
  convert->add_flag("-q,--quiet", quiet, "No progress meter");

  brindle::cli::MountRequest mountRequest;
  CLI::App* mount = app.add_subcommand(
      "mount", "Serve the disc as a read-only file system on MOUNTPOINT until unmounted");
  mount->add_option("MOUNTPOINT", mountRequest.mountPoint, "An empty folder")->required();
  mount->add_flag("-f,--foreground", mountRequest.foreground,
                  "Stay in the foreground; Ctrl+C unmounts (else: fusermount3 -u MOUNTPOINT)");
  source.addTo(*mount);

  // The commands of the table, each registering its own options and returning how it runs.
  std::vector<std::pair<CLI::App*, brindle::cli::RunCommand>> tableCommands;
  for (const brindle::cli::Command& command : brindle::cli::Commands()) {
    CLI::App* sub = app.add_subcommand(command.name, command.summary);
    tableCommands.emplace_back(sub, command.setup(*sub));
  }

  app.footer(std::string(brindle::cli::kJsonShape) +
             "\n\nImages:\n  Raw sectors are checked by their EDC; a damaged sector is read "
             "from another copy\n  of the entry, never corrected through its ECC.");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return brindle::cli::kExitUsage;
  }

  for (auto& [sub, run] : tableCommands) {
    if (*sub) return run();
  }

  if (*drives) {
    DriveSide side(brindle::platform::MakeSystemOs(), drivesTransport, std::cerr);
    const bool usable = side.build();
    std::cerr << "Transport: " << (side.transportName().empty() ? "none" : side.transportName())
              << '\n';
    for (const std::string& label : side.labels()) {
      std::cout << brindle::output::Latin1ToUtf8(label) << '\n';
    }
    return usable ? brindle::cli::kExitOk : brindle::cli::kExitFailed;
  }

  Source from;
  std::unique_ptr<DriveSide> side;
  if (!source.image.empty()) {
    from.kind = brindle::reader::SectorSource::Image;
    from.imagePath = source.image;
  } else {
    side =
        std::make_unique<DriveSide>(brindle::platform::MakeSystemOs(), source.transport, std::cerr);
    if (!side->build()) return brindle::cli::kExitFailed;
    if (!side->select(source.drive)) {
      std::cerr << "No drive " << source.drive << " in the drive list.\n";
      return brindle::cli::kExitFailed;
    }
    from.kind = brindle::reader::SectorSource::Drive;
    from.driveLabel = side->selectedLabel();
    from.readDrive = [drive = side.get()](std::int32_t lba, std::int16_t count) {
      return drive->read(lba, count);
    };
  }

  if (*mount) {
    const auto disc = brindle::cli::OpenDisc(source.image, side.get(), std::cerr);
    if (!disc) return brindle::cli::kExitFailed;
    mountRequest.image = source.image;
    return brindle::cli::RunMountCommand(*disc, mountRequest, std::cerr);
  }

  // Everything beyond the window's own commands reads the disc through the Opera library.
  const bool wholeDisc = (*info && json) || (*ls && json) || *tree || *verify ||
                         (*extract && recursive) || *get || *convert;
  if (wholeDisc) {
    brindle::cli::Reporter reporter(std::cerr, !quiet && brindle::cli::ErrorIsTerminal());
    const auto disc = brindle::cli::OpenDisc(source.image, side.get(), std::cerr);
    if (!disc) return brindle::cli::kExitFailed;
    brindle::cli::CatchInterrupt();
    if (*info) return brindle::cli::PrintVolumeJson(*disc, std::cout, reporter);
    if (*ls) return brindle::cli::PrintDirectoryJson(*disc, directories, std::cout, reporter);
    if (*tree) return brindle::cli::PrintTree(*disc, directories, std::cout, reporter);
    if (*verify) return brindle::cli::Verify(*disc, std::cout, reporter);
    if (*extract) {
      const int status = brindle::cli::ExtractRecursive(*disc, outDir, directories, reporter);
      return layoutFile.empty() ? status
                                : std::max(status, brindle::cli::WriteExtractLayout(
                                                       *disc, directories, layoutFile, reporter));
    }
    if (*convert) return brindle::cli::ConvertToImage(*disc, source.image, outFile, reporter);
    return brindle::cli::GetEntry(*disc, entryPath, outFile, reporter);
  }

  // A container other than the plain image reaches the window's commands block by block, as a
  // drive does.
  std::unique_ptr<brindle::media::BlockDevice> container;
  brindle::reader::ReaderWindow* containerWindow = nullptr;
  if (!source.image.empty()) {
    brindle::media::MediaError error;
    container = brindle::media::OpenContainer(source.image, error);
    if (container && !brindle::media::IsPlainImage(*container)) {
      from.kind = brindle::reader::SectorSource::Drive;
      from.driveLabel = "  " + container->describe();
      from.readDrive = brindle::cli::ContainerReader(*container, containerWindow);
    }
  }

  const bool fromContainer = container && !brindle::media::IsPlainImage(*container);
  Session session(std::move(from), std::cerr);
  containerWindow = &session.window();
  if (side) side->setWindow(&session.window());
  if (*info) {
    const int status = session.info(std::cout);
    // What holds the disc, when it is not the window's own plain image.
    if (status == brindle::cli::kExitOk && fromContainer)
      std::cout << container->describe() << '\n';
    return status;
  }
  if (*ls) return session.list(directories, std::cout);
  if (*extract) return session.extract(outDir, directories);
  return session.get(entryPath, outFile);
}

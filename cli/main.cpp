// brindle-cli: the reader's actions from the command line, for scripts and for checking the
// reader against real discs.
#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/Session.h"

namespace {

using brindle::cli::Session;
using brindle::cli::Source;

// The options that choose where the disc is read from, shared by every command.
struct SourceOptions {
  std::string image;

  void addTo(CLI::App& command) {
    command.add_option("--image", image, "Disc image of 2048-byte sectors")->required();
  }

  Source source() const {
    Source s;
    s.kind = brindle::opera::SectorSource::Image;
    s.imagePath = image;
    s.readDrive = [](std::int32_t, std::int16_t) { return std::vector<std::uint8_t>{}; };
    return s;
  }
};

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Reads discs formatted with the 3DO Opera file system.\n"
      "Messages go to standard error. Exit status: 0 when the command completed without a\n"
      "message, 1 otherwise, 2 for a usage error.",
      "brindle-cli"};
  app.require_subcommand(1);
  // Paths may begin with '/' on every host; only "-" and "--" start options.
  app.allow_windows_style_options(false);

  SourceOptions source;
  std::vector<std::string> directories;
  std::string outDir;
  std::string entryPath;
  std::string outFile;

  CLI::App* info = app.add_subcommand("info", "Print the disc size as the window shows it");
  source.addTo(*info);

  CLI::App* ls = app.add_subcommand(
      "ls", "Print the entry lines of the root, or of the directory reached by entering each DIR");
  source.addTo(*ls);
  ls->add_option("DIR", directories, "Directory to enter (the name of a *dir line), in order");

  CLI::App* extract = app.add_subcommand(
      "extract", "Copy every entry of the root, or of the directory reached, into OUTDIR");
  source.addTo(*extract);
  extract->add_option("OUTDIR", outDir, "Folder to write the files to (created if missing)")
      ->required();
  extract->add_option("DIR", directories, "Directory to enter first, in order");

  CLI::App* get = app.add_subcommand("get", "Save one entry, named DIR/.../NAME, as OUTFILE");
  source.addTo(*get);
  get->add_option("PATH", entryPath, "The entry: directories and its name, joined by '/'")
      ->required();
  get->add_option("OUTFILE", outFile, "The file to write (replaced if it exists)")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return brindle::cli::kExitUsage;
  }

  Session session(source.source(), std::cerr);
  if (*info) return session.info(std::cout);
  if (*ls) return session.list(directories, std::cout);
  if (*extract) return session.extract(outDir, directories);
  return session.get(entryPath, outFile);
}

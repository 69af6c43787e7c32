// info: the disc size as the window shows it, or (--json) the container, its tracks and every
// field of the volume label.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>

#include "cli/Command.h"
#include "cli/Inspect.h"
#include "cli/Session.h"
#include "cli/SourceOptions.h"
#include "media/BlockDevice.h"
#include "opera/Format.h"
#include "output/Names.h"

namespace brindle::cli {
namespace {

const char* const kInfoJsonShape =
    "--json prints one document (names are the UTF-8 text of the disc's Latin-1 bytes, numbers "
    "as stored):\n"
    "  {\"container\": TEXT, \"tracks\": [{\"number\", \"mode\", \"sectorSize\", "
    "\"firstSector\",\n"
    "   \"sectorCount\", \"file\"}...],\n"
    "   \"volume\": {\"label\", \"comment\", \"recordType\", \"version\", \"flags\", \"id\", "
    "\"blockSize\",\n"
    "   \"blockCount\", \"size\", \"rootId\", \"rootBlockCount\", \"rootBlockSize\",\n"
    "   \"rootLastCopyIndex\", \"rootCopies\": [...], \"sync\"},\n"
    "   \"romTags\": {\"block\", \"status\", \"ended\", \"tags\": [{\"subsystemType\", \"type\",\n"
    "   \"version\", \"revision\", \"flags\", \"typeSpecific\", \"offset\", \"size\",\n"
    "   \"wellFormed\"}...]},\n"
    "   \"entryCount\", \"totalDataBytes\", \"walkProblems\"}";

struct Options {
  SourceOptions source;
  bool json = false;
};

int RunJson(const Options& options) {
  Reporter reporter(std::cerr, ErrorIsTerminal());
  const auto disc = OpenSourceDisc(options.source, std::cerr);
  if (!disc) return kExitFailed;
  CatchInterrupt();
  return PrintVolumeJson(*disc, std::cout, reporter);
}

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

// The label's fields, what holds the disc and its size, one "Field: value" a line.
void PrintLabel(const Disc& disc, std::ostream& out) {
  const opera::VolumeLabel& v = disc.volume->label();
  const auto field = [&out](const char* name, const std::string& value) {
    out << name << ':' << std::string(17 - std::strlen(name), ' ') << value << '\n';
  };
  field("Volume name", output::Latin1ToUtf8(v.label));
  field("Comment", output::Latin1ToUtf8(v.comment));
  field("Identifier", Hex(v.id));
  field("Record type", std::to_string(v.recordType));
  field("Sync", opera::kSyncBytes);
  field("Version", std::to_string(v.version));
  field("Flags", Hex(v.flags));
  field("Block size", std::to_string(v.blockSize) + " bytes");
  field("Block count", std::to_string(v.blockCount));
  std::string copies;
  for (const std::uint32_t block : v.rootCopies)
    copies += (copies.empty() ? "" : ", ") + std::to_string(block);
  field("Root directory", std::to_string(v.rootBlockCount) + " block" +
                              (v.rootBlockCount == 1 ? "" : "s") + " of " +
                              std::to_string(v.rootBlockSize) + " bytes, id " + Hex(v.rootId));
  field("Root copies", std::to_string(v.rootCopies.size()) + " (at block" +
                           (v.rootCopies.size() == 1 ? " " : "s ") + copies + "; last copy index " +
                           std::to_string(v.rootLastCopyIndex) + ")");
  field("Held in", disc.device->describe());
  const std::vector<media::TrackInfo> tracks = disc.device->tracks();
  if (!disc.device->isPlainBlockFile()) {
    for (const media::TrackInfo& t : tracks) {
      out << "  Track " << t.number << ": " << t.mode << ", sectors " << t.firstSector << " to "
          << t.firstSector + t.sectorCount - (t.sectorCount > 0 ? 1 : 0)
          << (t.file.empty() ? "" : ", in \"" + t.file + "\"") << '\n';
    }
  }
  const std::uint64_t bytes = std::uint64_t{v.blockCount} * v.blockSize;
  field("Size", MegabytesText(bytes) + " MB (" + std::to_string(bytes) + " bytes)");
}

int Run(const Options& options) {
  if (options.json) return RunJson(options);
  const auto window = WindowSource::Open(options.source, std::cerr);
  if (!window) return kExitFailed;
  // The window's own line first, then what the label and the container tell.
  const int status = window->session().info(std::cout);
  if (status != kExitOk) return status;
  const auto disc = OpenSourceDisc(options.source, std::cerr);
  if (!disc) return kExitFailed;
  PrintLabel(*disc, std::cout);
  PrintDiscFacts(*disc, std::cout);
  return kExitOk;
}

}  // namespace

RunCommand SetupInfo(CLI::App& command) {
  auto options = std::make_shared<Options>();
  command.description(
      "Print the disc size as the window shows it, then the volume label's fields, what holds "
      "the disc (a plain image, raw sectors, a CUE sheet and its tracks, a CHD and its codecs) "
      "and the size in megabytes as the progress meter counts them");
  command.footer(kInfoJsonShape);
  options->source.addTo(command, "", 0, 0);
  command.add_flag("--json", options->json, "Every field, as JSON (shape below)");
  return [options] { return Run(*options); };
}

}  // namespace brindle::cli

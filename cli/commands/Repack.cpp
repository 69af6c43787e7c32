// repack: any disc into a compact plain volume, each file read from whichever copy reads good.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "cli/Command.h"
#include "cli/Progress.h"
#include "cli/Session.h"
#include "cli/SourceOptions.h"
#include "opera/Format.h"
#include "opera/Walker.h"
#include "output/Names.h"
#include "pack/Plan.h"
#include "pack/Sources.h"
#include "pack/Writer.h"

namespace brindle::cli {
namespace {

struct RepackOptions {
  SourceOptions source;
  std::string out;
  int copies = 1;
  bool quiet = false;
};

int RunRepack(RepackOptions& o) {
  o.out = o.source.arguments[0];
  const auto disc = OpenSourceDisc(o.source, std::cerr);
  if (!disc) return kExitFailed;
  Reporter reporter(std::cerr, !o.quiet && ErrorIsTerminal());
  std::vector<std::string> inputs{o.source.image};
  for (const media::TrackInfo& track : disc->device->tracks()) inputs.push_back(track.file);
  if (const std::string conflict = pack::OutputConflict(inputs, o.out); !conflict.empty()) {
    reporter.line(conflict + ".");
    return kExitFailed;
  }

  const opera::Volume& volume = *disc->volume;
  const opera::Tree tree = opera::Walk(volume, volume.root());
  bool whole = tree.problems.empty();
  for (const std::string& line : opera::WalkProblemLines(
           tree.problems, [](const std::string& path) { return output::Latin1ToUtf8(path); }))
    reporter.line(line);

  const opera::VolumeLabel& original = volume.label();
  pack::LabelOptions label;
  label.volumeName = original.label.substr(0, opera::kMaxNameLength);
  label.comment = original.comment.substr(0, opera::kMaxNameLength);
  label.uniqueId = original.id;
  label.rootId = original.rootId;
  label.copies = o.copies;
  std::vector<std::string> cut;
  const pack::Node root = pack::NodeFromDisc(tree, o.copies, disc->device->blockCount(), cut);
  for (const std::string& c : cut) reporter.line(c);
  whole = whole && cut.empty();
  std::vector<std::string> problems;
  const pack::Plan plan = pack::MakePlan(root, label, problems);
  if (!problems.empty()) {
    for (const std::string& p : problems) reporter.line(p);
    reporter.line("Nothing was written.");
    return kExitFailed;
  }

  Progress progress(reporter, plan.files.size(), plan.fileBytes);
  CatchInterrupt();
  pack::WriteHooks hooks{[] { return Interrupted(); },
                         [&progress](std::uint64_t bytes) { progress.addBytes(bytes); },
                         [&progress] { progress.addFile(); }};
  const pack::WriteResult result = pack::WriteVolume(plan, o.out, disc->device.get(), hooks);
  progress.finish();
  if (result.interrupted) {
    reporter.line("Interrupted: nothing was written to \"" + o.out + "\".");
    return 130;
  }
  for (const std::string& p : result.problems) reporter.line(p);
  for (const std::string& p : result.recovered)
    reporter.line(p + ": read from its other copies where the first failed");
  for (const std::string& p : result.damaged) reporter.line(p);
  if (!result.written) return kExitFailed;
  return whole && result.damaged.empty() ? kExitOk : kExitFailed;
}

}  // namespace

RunCommand SetupRepack(CLI::App& command) {
  auto o = std::make_shared<RepackOptions>();
  o->source.addTo(command, "OUT", 1, 1);
  command
      .add_option("--copies", o->copies,
                  "Store every file and folder, the label and the root N times (default 1)")
      ->check(CLI::Range(1, 8));
  command.add_flag("-q,--quiet", o->quiet, "No progress meter");
  command.footer(
      "Names, types, ids and the order of entries stay as on the source. A block unreadable in "
      "one copy is read from the next; a file no copy of which gives every block is written "
      "with zeros there and named, and the exit status is then 1. Never writes over its input. "
      "Booting on the console needs its signatures, which this tool does not make.");
  return [o] { return RunRepack(*o); };
}

}  // namespace brindle::cli

// pack: a host folder into an Opera volume of 2048-byte blocks.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "cli/Command.h"
#include "cli/Progress.h"
#include "cli/Session.h"
#include "opera/Format.h"
#include "output/Names.h"
#include "pack/HostTree.h"
#include "pack/Layout.h"
#include "pack/Plan.h"
#include "pack/Sources.h"
#include "pack/Writer.h"

namespace brindle::cli {
namespace {

struct PackOptions {
  std::string folder;
  std::string out;
  std::optional<std::string> volumeName;
  std::optional<std::string> comment;
  std::optional<std::uint32_t> uniqueId;
  std::vector<std::string> copies;
  std::vector<std::string> types;
  std::string layout;
  bool quiet = false;
};

// A label text as the disc stores it: Latin-1, at most 31 bytes; nothing after telling err.
std::optional<std::string> LabelText(const std::string& what, const std::string& utf8) {
  auto text = output::Utf8ToLatin1(utf8);
  if (!text) {
    std::cerr << "The " << what << " \"" << utf8 << "\" has characters a disc (8-bit Latin-1) "
              << "cannot hold.\n";
    return std::nullopt;
  }
  if (text->size() > opera::kMaxNameLength) {
    std::cerr << "The " << what << " \"" << utf8 << "\" is " << text->size()
              << " bytes long; the disc holds at most " << opera::kMaxNameLength << ".\n";
    return std::nullopt;
  }
  return text;
}

std::optional<int> CopyCount(const std::string& text) {
  if (text.size() != 1 || text[0] < '1' || text[0] > '8') return std::nullopt;
  return text[0] - '0';
}

// The options' copies (N, PATH=N) and types (EXT=TYPE) into options and label; false after
// telling err.
bool ReadChoices(const PackOptions& o, pack::HostOptions& options, pack::LabelOptions& label) {
  for (const std::string& c : o.copies) {
    const std::size_t eq = c.rfind('=');
    const auto count = CopyCount(eq == std::string::npos ? c : c.substr(eq + 1));
    if (!count) {
      std::cerr << "--copies " << c << ": give N or PATH=N, N from 1 to 8.\n";
      return false;
    }
    if (eq == std::string::npos) {
      options.copies = label.copies = *count;
    } else {
      std::string path = c.substr(0, eq);
      while (!path.empty() && path.back() == '/') path.pop_back();
      options.copiesByPath[path] = *count;
    }
  }
  for (const std::string& t : o.types) {
    const std::size_t eq = t.find('=');
    std::string ext = t.substr(0, eq == std::string::npos ? 0 : eq);
    if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
    for (char& ch : ext)
      if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    const auto latin1 =
        eq == std::string::npos ? std::nullopt : output::Utf8ToLatin1(t.substr(eq + 1));
    const auto type = latin1 ? pack::TypeFromText(*latin1) : std::nullopt;
    if (ext.empty() || !type) {
      std::cerr << "--type " << t << ": give EXT=TYPE, TYPE of 1 to 4 characters.\n";
      return false;
    }
    options.types[ext] = *type;
  }
  return true;
}

int RunPack(const PackOptions& o) {
  pack::HostOptions options;
  pack::LabelOptions label;
  std::optional<pack::Layout> layout;
  if (!o.layout.empty()) {
    std::string error;
    layout = pack::ReadLayout(o.layout, error);
    if (!layout) {
      std::cerr << "The layout \"" << o.layout << "\": " << error << ".\n";
      return kExitFailed;
    }
    options.layout = &*layout;
    if (layout->volumeName) label.volumeName = *layout->volumeName;
    if (layout->comment) label.comment = *layout->comment;
    label.uniqueId = layout->id;
    label.rootId = layout->rootId;
    if (layout->copies) label.copies = *layout->copies;
  }
  if (!ReadChoices(o, options, label)) return kExitUsage;
  if (o.volumeName) {
    auto text = LabelText("volume name", *o.volumeName);
    if (!text) return kExitUsage;
    label.volumeName = *text;
  }
  if (o.comment) {
    auto text = LabelText("comment", *o.comment);
    if (!text) return kExitUsage;
    label.comment = *text;
  }
  if (o.uniqueId) label.uniqueId = o.uniqueId;

  std::vector<std::string> problems;
  const auto tree = pack::ScanHostTree(o.folder, options, problems);
  if (tree) {
    const std::string conflict = pack::OutputConflict(o.folder, o.out, *tree);
    if (!conflict.empty()) problems.push_back(conflict + "; it is never written over");
  }
  const pack::Plan plan = tree ? pack::MakePlan(*tree, label, problems) : pack::Plan{};
  if (!problems.empty()) {
    for (const std::string& p : problems) std::cerr << p << '\n';
    std::cerr << "Nothing was written.\n";
    return kExitFailed;
  }

  Reporter reporter(std::cerr, !o.quiet && ErrorIsTerminal());
  Progress progress(reporter, plan.files.size(), plan.fileBytes);
  CatchInterrupt();
  pack::WriteHooks hooks{[] { return Interrupted(); },
                         [&progress](std::uint64_t bytes) { progress.addBytes(bytes); },
                         [&progress] { progress.addFile(); }};
  const pack::WriteResult result = pack::WriteVolume(plan, o.out, nullptr, hooks);
  progress.finish();
  if (result.interrupted) {
    reporter.line("Interrupted: nothing was written to \"" + o.out + "\".");
    return 130;
  }
  for (const std::string& p : result.problems) reporter.line(p);
  return result.written ? kExitOk : kExitFailed;
}

}  // namespace

RunCommand SetupPack(CLI::App& command) {
  auto o = std::make_shared<PackOptions>();
  command.add_option("DIR", o->folder, "The folder to pack")->required();
  command
      .add_option("OUT", o->out, "The image to write (replaced once complete; never inside DIR)")
      ->required();
  command.add_option("--volume-name", o->volumeName, "The volume's name (default CD-ROM)");
  command.add_option("--comment", o->comment, "The label's comment (default none)");
  command.add_option("--unique-id", o->uniqueId,
                     "The volume's id (default: a number made from the names and sizes packed)");
  command.add_option("--copies", o->copies,
                     "N: store every file and folder, the label and the root N times (1 to 8), "
                     "far apart on the disc. PATH=N: the entry at PATH and everything below it N "
                     "times. May be repeated");
  command.add_option("--type", o->types,
                     "EXT=TYPE: files ending in .EXT get the four-character type TYPE (built in: "
                     "aif/aiff AIFF, anim ANIM, cel CEL, imag IMAG, txt TEXT; others none). "
                     "May be repeated");
  command.add_option("--layout", o->layout,
                     "A layout file written by extract -r --layout: the entries' order, types, "
                     "ids, flags and copies, and the label's fields, as on the original disc");
  command.add_flag("-q,--quiet", o->quiet, "No progress meter");
  command.footer(
      "Names are stored as Latin-1 of at most 31 bytes; a name that is longer or cannot be "
      "written in Latin-1 is refused, by name, and nothing is written. Entries are sorted by "
      "name. Booting the disc on the console needs its signatures, which this tool does not "
      "make: LaunchMe, signatures and rom_tags are packed as the plain files they are.");
  return [o] { return RunPack(*o); };
}

}  // namespace brindle::cli

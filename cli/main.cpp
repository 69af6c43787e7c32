// brindle-cli: the reader's actions from the command line, for scripts and for checking the
// reader against real discs. Each command lives in commands/ and is listed in the table of
// Commands.cpp; main registers them, parses, and runs the one named.
#include <CLI/CLI.hpp>
#include <cstring>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "BrindleVersion.h"
#include "cli/Command.h"
#include "cli/Session.h"
#include "cli/Suggest.h"

namespace {

using brindle::cli::Command;
using brindle::cli::Commands;

// Shows a command's words after it as the command names them ("[IMAGE] OUTDIR [DIR...]"),
// where one positional collects them all.
class Formatter : public CLI::Formatter {
 public:
  std::string make_option_usage(const CLI::Option* opt) const override {
    if (opt->get_positional() && opt->get_name() == "ARGUMENTS") return opt->get_type_name();
    return CLI::Formatter::make_option_usage(opt);
  }
  std::string make_option_name(const CLI::Option* opt, bool positional) const override {
    if (positional && opt->get_name() == "ARGUMENTS") return opt->get_type_name();
    return CLI::Formatter::make_option_name(opt, positional);
  }
  std::string make_option_opts(const CLI::Option* opt) const override {
    if (opt->get_positional() && opt->get_name() == "ARGUMENTS") return {};
    return CLI::Formatter::make_option_opts(opt);
  }
};

const char* const kAbout =
    "Reads discs formatted with the 3DO Opera file system, from an image or a drive.";

const char* const kNotes =
    "The image is the first argument after the command (or -i/--image FILE); -d/--drive\n"
    "reads a drive instead. Paths inside the disc: Art/Icons, Art/Icons/ and /Art/Icons are\n"
    "the same directory.\n"
    "Messages go to standard error. Exit status: 0 when the command completed without a\n"
    "message, 1 otherwise, 2 for a usage error, 130 when stopped by Ctrl+C.\n"
    "Raw sectors are checked by their EDC; a damaged sector is read from another copy of the\n"
    "entry, never corrected through its ECC.";

// The commands, one line each: what no arguments, "help" and --help print.
void PrintCommandList(std::ostream& out) {
  out << "Usage: brindle-cli COMMAND [IMAGE] [ARGUMENTS...] [OPTIONS]\n"
      << kAbout << "\n\nCommands:\n";
  std::size_t width = 4;
  for (const Command& command : Commands()) width = std::max(width, std::strlen(command.name));
  for (const Command& command : Commands())
    out << "  " << command.name << std::string(width + 2 - std::strlen(command.name), ' ')
        << command.summary << '\n';
  out << "  help" << std::string(width - 2, ' ')
      << "Print a command's arguments, options and output: help COMMAND\n\n"
      << kNotes << "\nOptions: --help, --version.\n";
}

std::vector<std::string> CommandNames() {
  std::vector<std::string> names;
  for (const Command& command : Commands()) names.emplace_back(command.name);
  names.emplace_back("help");
  return names;
}

bool IsCommand(const std::string& word) {
  for (const std::string& name : CommandNames())
    if (name == word) return true;
  return false;
}

void TellUnknownCommand(const std::string& word) {
  std::cerr << "brindle-cli: there is no command \"" << word << "\".";
  const std::string hint = brindle::cli::DidYouMean(word, CommandNames());
  std::cerr << (hint.empty() ? "" : " " + hint) << " (brindle-cli help lists them)\n";
}

// After a parse error: the nearest known option to each option word the command does not know.
void SuggestOptions(const CLI::App& app, const CLI::App* command, int argc, char** argv) {
  std::vector<std::string> known;
  for (const CLI::App* scope : {&app, command}) {
    if (scope == nullptr) continue;
    for (const CLI::Option* opt : scope->get_options()) {
      for (const std::string& name : opt->get_lnames()) known.push_back("--" + name);
      for (const std::string& name : opt->get_snames()) known.push_back("-" + name);
    }
  }
  for (int i = 2; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--") break;
    if (word.size() < 2 || word[0] != '-') continue;
    const std::string name = word.substr(0, word.find('='));
    if (std::find(known.begin(), known.end(), name) != known.end()) continue;
    // Short flags may be bundled (-rq); only whole long names are worth a guess.
    if (name.rfind("--", 0) != 0) continue;
    const std::string hint = brindle::cli::DidYouMean(name, known);
    if (!hint.empty()) std::cerr << "\"" << name << "\": " << hint << '\n';
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintCommandList(std::cout);
    return brindle::cli::kExitUsage;
  }
  std::vector<char*> args(argv, argv + argc);
  // "help" alone is the command list; "help COMMAND" is COMMAND --help.
  std::string helpArg = "--help";
  if (std::strcmp(argv[1], "help") == 0) {
    if (argc == 2 || argv[2][0] == '-') {
      PrintCommandList(std::cout);
      return brindle::cli::kExitOk;
    }
    if (!IsCommand(argv[2])) {
      TellUnknownCommand(argv[2]);
      return brindle::cli::kExitUsage;
    }
    args = {argv[0], argv[2], helpArg.data()};
  } else if (argv[1][0] != '-' && !IsCommand(argv[1])) {
    TellUnknownCommand(argv[1]);
    return brindle::cli::kExitUsage;
  }

  CLI::App app{kAbout, "brindle-cli"};
  app.formatter(std::make_shared<Formatter>());
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("brindle-cli ") + brindle::kVersion,
                       "Print the version and exit");
  // Paths may begin with '/' on every host; only "-" and "--" start options.
  app.allow_windows_style_options(false);

  std::vector<std::pair<CLI::App*, brindle::cli::RunCommand>> commands;
  for (const Command& command : Commands()) {
    CLI::App* sub = app.add_subcommand(command.name, command.summary);
    commands.emplace_back(sub, command.setup(*sub));
    // Each command's own help ends with the notes that hold for every command.
    const std::string footer = sub->get_footer();
    sub->footer(footer + (footer.empty() ? "" : "\n\n") + kNotes);
  }

  try {
    app.parse(static_cast<int>(args.size()), args.data());
  } catch (const CLI::CallForHelp& e) {
    if (app.get_subcommands().empty()) {
      PrintCommandList(std::cout);
      return brindle::cli::kExitOk;
    }
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    const std::vector<CLI::App*> chosen = app.get_subcommands();
    SuggestOptions(app, chosen.empty() ? nullptr : chosen.front(), static_cast<int>(args.size()),
                   args.data());
    return brindle::cli::kExitUsage;
  }

  for (auto& [sub, run] : commands) {
    if (*sub) return run();
  }
  return brindle::cli::kExitUsage;  // require_subcommand(1) leaves no other way here
}

// The positional arguments the picture commands share: the image first unless --image or
// --drive names the source, then the command's own (an entry, the PNG to write).
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <string>
#include <vector>

#include "cli/SourceOptions.h"

namespace brindle::cli {

struct PictureArguments {
  SourceOptions source;
  std::vector<std::string> rest;  // after the image is taken out: the command's own arguments
  std::uint32_t size = 0;         // --size: fit within this many pixels; 0 keeps the size

  // Registers the source options, the positionals (described by usage) and --size; once parsed,
  // rest holds between required and required + optional arguments.
  void addTo(CLI::App& command, const std::string& usage, std::size_t required,
             std::size_t optional) {
    source.addTo(command);
    command.add_option("ARGS", rest, usage);
    command
        .add_option("-s,--size", size,
                    "Shrink the picture, keeping its proportions, to fit N x N pixels (area "
                    "averaging; never enlarged)")
        ->check(CLI::Range(1u, 4096u));
    // Replaces the source options' own check: the image may also come first among ARGS.
    command.final_callback([this, required, optional] {
      if (source.image.empty() && source.drive.empty()) {
        if (rest.empty()) throw CLI::RequiredError("An IMAGE, --image FILE or --drive LETTER");
        source.image = rest.front();
        rest.erase(rest.begin());
      }
      if (rest.size() < required) throw CLI::ValidationError("ARGS", "too few arguments");
      if (rest.size() > required + optional)
        throw CLI::ValidationError("ARGS", "too many arguments");
    });
  }
};

}  // namespace brindle::cli

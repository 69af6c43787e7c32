// The nearest names to one that was not found (a command, an option, a name on the disc), and
// the one rule by which a path inside the disc is split into the names it enters.
#pragma once

#include <string>
#include <vector>

namespace brindle::cli {

// Up to three of names nearest to wanted: those equal but for letter case first, then those a few
// typing slips away (a letter added, dropped, changed or two swapped), nearest first.
std::vector<std::string> NearestNames(const std::string& wanted,
                                      const std::vector<std::string>& names);

// "Did you mean "A"?" or "Did you mean "A", "B" or "C"?"; empty when no name is near.
std::string DidYouMean(const std::string& wanted, const std::vector<std::string>& names);

// The names a path inside the disc enters, in order: "Art/Icons", "Art/Icons/" and "/Art/Icons"
// each give {"Art", "Icons"}; several paths are entered one after the other.
std::vector<std::string> DiscPathNames(const std::vector<std::string>& paths);

}  // namespace brindle::cli

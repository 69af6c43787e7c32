// Prompts answered from a script: tests queue the dialog answers before they trigger an action,
// and read back what the window asked and told the user, in order.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Prompts.h"

namespace brindle::testing {

class ScriptedPrompts final : public app::Prompts {
 public:
  // Answers for the coming dialogs, first in first out; an empty queue cancels.
  std::deque<std::optional<std::string>> openAnswers;
  std::deque<std::optional<std::string>> saveAnswers;

  std::vector<reader::FileDialogRequest> openRequests;
  std::vector<reader::FileDialogRequest> saveRequests;
  std::vector<std::string> errors;
  std::vector<std::string> warnings;
  int beeps = 0;
  // Everything in the order it happened: "open", "save", "error", "warning", "beep", and what a
  // test adds itself.
  std::vector<std::string> log;

  std::optional<std::string> openFile(QWidget*, const reader::FileDialogRequest& request) override {
    openRequests.push_back(request);
    log.push_back("open");
    return next(openAnswers);
  }
  std::optional<std::string> saveFile(QWidget*, const reader::FileDialogRequest& request) override {
    saveRequests.push_back(request);
    log.push_back("save");
    return next(saveAnswers);
  }
  void error(QWidget*, const std::string& message) override {
    errors.push_back(message);
    log.push_back("error");
  }
  void warning(QWidget*, const std::string& title, const std::string& message) override {
    warnings.push_back(title + ": " + message);
    log.push_back("warning");
  }
  void beep() override {
    ++beeps;
    log.push_back("beep");
  }

 private:
  static std::optional<std::string> next(std::deque<std::optional<std::string>>& answers) {
    if (answers.empty()) return std::nullopt;
    auto answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

}  // namespace brindle::testing

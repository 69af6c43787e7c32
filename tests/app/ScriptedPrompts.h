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
  // Runs as each prompt is logged, with its log word, while the action that asked is running.
  std::function<void(const std::string&)> onPrompt;

  std::optional<std::string> openFile(QWidget*, const reader::FileDialogRequest& request) override {
    openRequests.push_back(request);
    note("open");
    return next(openAnswers);
  }
  std::optional<std::string> saveFile(QWidget*, const reader::FileDialogRequest& request) override {
    saveRequests.push_back(request);
    note("save");
    return next(saveAnswers);
  }
  void error(QWidget*, const std::string& message) override {
    errors.push_back(message);
    note("error");
  }
  void warning(QWidget*, const std::string& title, const std::string& message) override {
    warnings.push_back(title + ": " + message);
    note("warning");
  }
  void beep() override {
    ++beeps;
    note("beep");
  }

 private:
  void note(const std::string& what) {
    log.push_back(what);
    if (onPrompt) onPrompt(what);
  }
  static std::optional<std::string> next(std::deque<std::optional<std::string>>& answers) {
    if (answers.empty()) return std::nullopt;
    auto answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

}  // namespace brindle::testing

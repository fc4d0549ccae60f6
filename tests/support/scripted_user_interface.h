// A user interface that answers from a script: the input box with the next answer (then empty),
// the folder dialog with a fixed folder. It records every question and message it was shown.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "svregistration/user_interface.h"

namespace svregistration::testing {

struct ScriptedUserInterface final : UserInterface {
  void ShowMessage(const std::string& title, const std::string& text) override {
    messages.emplace_back(title, text);
  }
  std::string AskText(const std::string& title, const std::string& prompt, bool) override {
    questions.emplace_back(title, prompt);
    std::string answer = answers.empty() ? "" : answers.front();
    if (!answers.empty()) answers.pop_front();
    return answer;
  }
  std::string BrowseForFolder(std::intptr_t, const std::string&) override {
    ++folders_asked;
    return folder;
  }
  void ProcessPendingEvents() override {}

  std::deque<std::string> answers;
  std::string folder;
  int folders_asked = 0;
  std::vector<std::pair<std::string, std::string>> questions, messages;
};

/// A scripted interface with these answers (then empty).
inline std::shared_ptr<ScriptedUserInterface> Script(std::vector<std::string> answers = {}) {
  auto ui = std::make_shared<ScriptedUserInterface>();
  ui->answers.assign(answers.begin(), answers.end());
  return ui;
}

/// A library object (ZIP, RAR, SVStandard) that asks `ui`.
template <class Object>
Object AskingThrough(std::shared_ptr<UserInterface> ui) {
  Object object;
  object.SetUserInterface(std::move(ui));
  return object;
}

}  // namespace svregistration::testing

// The terminal user interface (the default) and the per-thread choice of interface. Without a
// terminal every question is answered empty, which callers take as cancel.
#include "svregistration/user_interface.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

namespace svregistration {

namespace {

bool HaveTerminal() { return ::isatty(STDIN_FILENO) == 1 && ::isatty(STDERR_FILENO) == 1; }

std::string ReadLine(bool secret) {
  termios saved{};
  bool hide = secret && ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (hide) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
  std::string line;
  if (!std::getline(std::cin, line)) line.clear();
  if (hide) {
    ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    std::fputc('\n', stderr);
  }
  return line;
}

class TerminalUserInterface final : public UserInterface {
 public:
  void ShowMessage(const std::string& title, const std::string& text) override {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
  }

  std::string AskText(const std::string& title, const std::string& prompt, bool secret) override {
    if (!HaveTerminal()) return "";
    std::fprintf(stderr, "%s - %s ", title.c_str(), prompt.c_str());
    std::fflush(stderr);
    return ReadLine(secret);
  }

  std::string BrowseForFolder(std::intptr_t /*owner_window*/, const std::string& title) override {
    if (!HaveTerminal()) return "";
    std::fprintf(stderr, "%s - folder (empty to cancel): ", title.c_str());
    std::fflush(stderr);
    return ReadLine(false);
  }

  void ProcessPendingEvents() override {}
};

thread_local std::shared_ptr<UserInterface> t_installed;

}  // namespace

UserInterface& CurrentUserInterface() {
  if (t_installed) return *t_installed;
  thread_local TerminalUserInterface terminal;
  return terminal;
}

void SetUserInterface(std::shared_ptr<UserInterface> ui) { t_installed = std::move(ui); }

}  // namespace svregistration

// The terminal user interface, the default of every library object. Without a terminal every
// question is answered empty, which callers take as cancel.
#include "svregistration/user_interface.h"

#include <bsd/readpassphrase.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace svregistration {

namespace {

bool HaveTerminal() { return ::isatty(STDIN_FILENO) == 1 && ::isatty(STDERR_FILENO) == 1; }

std::string ReadLine() {
  std::string line;
  if (!std::getline(std::cin, line)) line.clear();
  return line;
}

// A secret is read from the terminal itself with echo off, and the terminal is restored even
// when the reading is interrupted (a signal is passed on after the restore); the buffer that held
// it is cleared.
std::string ReadSecret(const std::string& prompt) {
  char buffer[4096];
  std::string secret;
  if (::readpassphrase(prompt.c_str(), buffer, sizeof buffer, RPP_REQUIRE_TTY) != nullptr) {
    secret = buffer;
  }
  ::explicit_bzero(buffer, sizeof buffer);
  return secret;
}

class TerminalInterface final : public UserInterface {
 public:
  void ShowMessage(const std::string& title, const std::string& text) override {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
  }

  std::string AskText(const std::string& title, const std::string& prompt, bool secret) override {
    if (!HaveTerminal()) return "";
    if (secret) return ReadSecret(title + " - " + prompt + " ");
    std::fprintf(stderr, "%s - %s ", title.c_str(), prompt.c_str());
    std::fflush(stderr);
    return ReadLine();
  }

  std::string BrowseForFolder(std::intptr_t /*owner_window*/, const std::string& title) override {
    if (!HaveTerminal()) return "";
    std::fprintf(stderr, "%s - folder (empty to cancel): ", title.c_str());
    std::fflush(stderr);
    return ReadLine();
  }

  void ProcessPendingEvents() override {}
};

}  // namespace

std::shared_ptr<UserInterface> TerminalUserInterface() {
  static const auto terminal = std::make_shared<TerminalInterface>();
  return terminal;
}

}  // namespace svregistration

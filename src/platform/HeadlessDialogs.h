#pragma once

// Dialogs for a caller without windows (the command line, the library, the
// Python module): there is nothing to type or pick, so inputs and file
// pickers answer "cancelled"; error and message boxes are printed as
// "title: message" lines on the streams given (nullptr: not shown); a
// question is answered with its first button when confirmed, and closed
// unanswered otherwise.

#include <cstdio>

#include "platform/Dialogs.h"

namespace onex::platform {

class HeadlessDialogs : public Dialogs {
  public:
    HeadlessDialogs(bool confirm, std::FILE* errors, std::FILE* messages)
        : confirm_(confirm), errors_(errors), messages_(messages) {}

    void errorBox(const std::string& message, const std::string& title, bool) override;
    void messageBox(const std::string& message, const std::string& title, bool) override;
    std::string questionBox(const std::string& question, const std::string& title,
                            const std::vector<std::string>& buttons,
                            const std::string& defaultButton) override;
    std::optional<std::vector<std::string>> inputBox(const std::vector<std::string>&,
                                                     const std::string&, int,
                                                     const std::vector<std::string>&) override {
        return std::nullopt;
    }
    std::optional<std::string> openFile(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> saveFile(const std::string&, const std::string&) override {
        return std::nullopt;
    }

    bool confirms() const { return confirm_; }
    // "title: question" of the last question asked, empty when none was.
    const std::string& question() const { return question_; }

  private:
    bool confirm_;
    std::FILE* errors_;
    std::FILE* messages_;
    std::string question_;
};

}  // namespace onex::platform

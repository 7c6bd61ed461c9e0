#pragma once

// Dialogs answered from a script, for tests: each dialog takes the next
// scripted entry, which must be of its kind. Every dialog is recorded with
// its texts. A dialog that arrives with no entry left, or with an entry of
// another kind, throws Unscripted and is also listed in failures(), so that
// a caller that swallows exceptions cannot hide it.

#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Dialogs.h"

namespace onex::platform {

class ScriptedDialogs : public Dialogs {
  public:
    enum class Kind { Error, Message, Question, Input, OpenFile, SaveFile };

    struct Shown {
        Kind kind = Kind::Message;
        std::string title;
        std::string text;                   // message, question, or a picker's filter
        std::vector<std::string> choices;   // buttons of a question, prompts of an input box
        std::string defaultChoice;          // default button of a question
        std::vector<std::string> defaults;  // default answers of an input box
        int lineCount = 0;                  // input box
        bool modal = false;                 // error and message boxes
    };

    class Unscripted : public std::logic_error {
      public:
        using std::logic_error::logic_error;
    };

    // The script, consumed in order.
    ScriptedDialogs& expectError();    // an error box, closed
    ScriptedDialogs& expectMessage();  // a message box, closed
    // A question answered with a button label; "" closes the window. A
    // non-empty label must be one of the question's buttons.
    ScriptedDialogs& answerQuestion(std::string label);
    // An input box answered with one text per prompt, or nothing = cancel.
    ScriptedDialogs& answerInput(std::optional<std::vector<std::string>> answers);
    ScriptedDialogs& answerOpenFile(std::optional<std::string> path);
    ScriptedDialogs& answerSaveFile(std::optional<std::string> path);

    const std::vector<Shown>& shown() const { return shown_; }
    const std::vector<std::string>& failures() const { return failures_; }
    // Entries of the script not used yet.
    std::size_t pending() const { return script_.size(); }

    void errorBox(const std::string& message, const std::string& title, bool modal) override;
    void messageBox(const std::string& message, const std::string& title, bool modal) override;
    std::string questionBox(const std::string& question, const std::string& title,
                            const std::vector<std::string>& buttons,
                            const std::string& defaultButton) override;
    std::optional<std::vector<std::string>> inputBox(
        const std::vector<std::string>& prompts, const std::string& title, int lineCount,
        const std::vector<std::string>& defaults) override;
    std::optional<std::string> openFile(const std::string& filter,
                                        const std::string& title) override;
    std::optional<std::string> saveFile(const std::string& filter,
                                        const std::string& title) override;

  private:
    struct Entry {
        Kind kind;
        std::optional<std::vector<std::string>> answers;  // question: one label
    };
    // Records the dialog and returns its scripted entry, or throws.
    Entry next(Shown shown);
    [[noreturn]] void fail(const std::string& why);

    std::deque<Entry> script_;
    std::vector<Shown> shown_;
    std::vector<std::string> failures_;
};

const char* toString(ScriptedDialogs::Kind kind);

}  // namespace onex::platform

#pragma once

// The standard dialogs of the graphics run-time, as the application modules
// use them. The Qt implementation shows real dialogs; tests install a
// ScriptedDialogs that answers from a script; the command line answers from
// its options. Every call returns once the user has closed the dialog.

#include <optional>
#include <string>
#include <vector>

namespace onex::platform {

class Dialogs {
  public:
    virtual ~Dialogs() = default;

    // An error box; modal blocks the rest of the application until closed.
    virtual void errorBox(const std::string& message, const std::string& title, bool modal) = 0;

    // A message box with an OK button.
    virtual void messageBox(const std::string& message, const std::string& title, bool modal) = 0;

    // A question with two or three buttons, defaultButton being one of them.
    // Returns the label of the button chosen, or an empty text when the
    // window was closed without a button.
    virtual std::string questionBox(const std::string& question, const std::string& title,
                                    const std::vector<std::string>& buttons,
                                    const std::string& defaultButton) = 0;

    // One edit field of lineCount lines per prompt, filled with the defaults.
    // Returns the answers (one per prompt), or nothing when cancelled.
    virtual std::optional<std::vector<std::string>> inputBox(
        const std::vector<std::string>& prompts, const std::string& title, int lineCount,
        const std::vector<std::string>& defaults) = 0;

    // File pickers with a filter such as "*.mat". Return the full path of the
    // file chosen (folder and name), or nothing when cancelled.
    virtual std::optional<std::string> openFile(const std::string& filter,
                                                const std::string& title) = 0;
    virtual std::optional<std::string> saveFile(const std::string& filter,
                                                const std::string& title) = 0;
};

}  // namespace onex::platform

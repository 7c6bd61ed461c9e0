#pragma once

// The standard dialogs shown with Qt, and a wrapper that lets code running
// on a worker thread (an instrument operation) ask them on the GUI thread.

#include "platform/Dialogs.h"

namespace onex::ui::platform {

class QtDialogs : public onex::platform::Dialogs {
  public:
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
};

// Forwards every call to `inner`, on the GUI thread: directly when called
// there, otherwise by a blocking call queued to it.
class GuiThreadDialogs : public onex::platform::Dialogs {
  public:
    explicit GuiThreadDialogs(onex::platform::Dialogs& inner) : inner_(inner) {}
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
    onex::platform::Dialogs& inner_;
};

// Qt's name filter for a picker filter such as "*.mat" or "*.*", or one
// already named ("Captures (*.sigmf-meta *.mat)"); all files are always
// offered too.
std::string qtNameFilter(const std::string& filter);

}  // namespace onex::ui::platform

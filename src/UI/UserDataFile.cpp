#include "UI/UserDataFile.h"

#include <filesystem>
#include <system_error>

#include "OneX/DataSources.h"
#include "UI/platform/Services.h"

namespace onex::ui {

namespace fs = std::filesystem;

namespace {

// Changes the current folder for the dialog and always changes it back.
class FolderForDialog {
  public:
    explicit FolderForDialog(const std::string& folder) {
        std::error_code ec;
        previous_ = fs::current_path(ec);
        if (ec) previous_.clear();
        // A remembered folder that has gone away is simply not used.
        if (!folder.empty() && !previous_.empty()) fs::current_path(folder, ec);
    }
    ~FolderForDialog() {
        std::error_code ec;
        if (!previous_.empty()) fs::current_path(previous_, ec);
    }
    FolderForDialog(const FolderForDialog&) = delete;
    FolderForDialog& operator=(const FolderForDialog&) = delete;

  private:
    fs::path previous_;
};

}  // namespace

UserDataLoad LoadUserDataFile(Parameters& parameters, double maxLengthInBits,
                              std::string_view bitorder) {
    UserDataLoad result;
    auto& dialogs = *platform::services().dialogs;
    std::optional<std::string> chosen;
    {
        FolderForDialog folder(parameters.LastPath);
        chosen = dialogs.openFile("*.*", "Select data source file.");
        // A relative answer means the folder the dialog started in.
        std::error_code ec;
        if (chosen && fs::path(*chosen).is_relative()) {
            const fs::path full = fs::absolute(*chosen, ec);
            if (!ec) chosen = full.string();
        }
    }
    if (!chosen) return result;
    result.file = *chosen;
    UserDataFile read = onex::LoadUserDataFile(*chosen, maxLengthInBits, bitorder);
    if (read.status <= 0) {
        dialogs.errorBox(read.message, "File Error", true);
        return result;
    }
    result.status = read.status;
    result.bits = std::move(read.bits);
    result.fileBits = read.fileBits;
    // The folder as the picker gives it, with its trailing separator.
    const fs::path parent = fs::path(*chosen).parent_path();
    parameters.LastPath = parent.empty() ? std::string() : (parent / "").string();
    return result;
}

}  // namespace onex::ui

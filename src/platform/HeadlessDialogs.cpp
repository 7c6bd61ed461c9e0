#include "platform/HeadlessDialogs.h"

namespace onex::platform {

namespace {
void show(std::FILE* stream, const std::string& title, const std::string& message) {
    if (stream) std::fprintf(stream, "%s: %s\n", title.c_str(), message.c_str());
}
}  // namespace

void HeadlessDialogs::errorBox(const std::string& message, const std::string& title, bool) {
    show(errors_, title, message);
}

void HeadlessDialogs::messageBox(const std::string& message, const std::string& title, bool) {
    show(messages_, title, message);
}

std::string HeadlessDialogs::questionBox(const std::string& question, const std::string& title,
                                         const std::vector<std::string>& buttons,
                                         const std::string&) {
    question_ = title + ": " + question;
    return confirm_ && !buttons.empty() ? buttons.front() : std::string();
}

}  // namespace onex::platform

#include "platform/ScriptedDialogs.h"

#include <algorithm>
#include <utility>

namespace onex::platform {

const char* toString(ScriptedDialogs::Kind kind) {
    switch (kind) {
        case ScriptedDialogs::Kind::Error:
            return "error box";
        case ScriptedDialogs::Kind::Message:
            return "message box";
        case ScriptedDialogs::Kind::Question:
            return "question box";
        case ScriptedDialogs::Kind::Input:
            return "input box";
        case ScriptedDialogs::Kind::OpenFile:
            return "open-file picker";
        case ScriptedDialogs::Kind::SaveFile:
            return "save-file picker";
    }
    return "dialog";
}

ScriptedDialogs& ScriptedDialogs::expectError() {
    script_.push_back({Kind::Error, std::nullopt});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::expectMessage() {
    script_.push_back({Kind::Message, std::nullopt});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::answerQuestion(std::string label) {
    script_.push_back({Kind::Question, std::vector<std::string>{std::move(label)}});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::answerInput(std::optional<std::vector<std::string>> answers) {
    script_.push_back({Kind::Input, std::move(answers)});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::answerOpenFile(std::optional<std::string> path) {
    script_.push_back({Kind::OpenFile, path ? std::optional(std::vector{*path}) : std::nullopt});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::answerSaveFile(std::optional<std::string> path) {
    script_.push_back({Kind::SaveFile, path ? std::optional(std::vector{*path}) : std::nullopt});
    return *this;
}

void ScriptedDialogs::fail(const std::string& why) {
    failures_.push_back(why);
    throw Unscripted(why);
}

ScriptedDialogs::Entry ScriptedDialogs::next(Shown shown) {
    const std::string what =
        std::string(toString(shown.kind)) + " \"" + shown.title + "\" (" + shown.text + ")";
    shown_.push_back(std::move(shown));
    if (script_.empty()) fail("unscripted " + what);
    Entry e = std::move(script_.front());
    script_.pop_front();
    if (e.kind != shown_.back().kind)
        fail(what + " arrived where the script expected a " + toString(e.kind));
    return e;
}

void ScriptedDialogs::errorBox(const std::string& message, const std::string& title, bool modal) {
    next({Kind::Error, title, message, {}, {}, {}, 0, modal});
}

void ScriptedDialogs::messageBox(const std::string& message, const std::string& title, bool modal) {
    next({Kind::Message, title, message, {}, {}, {}, 0, modal});
}

std::string ScriptedDialogs::questionBox(const std::string& question, const std::string& title,
                                         const std::vector<std::string>& buttons,
                                         const std::string& defaultButton) {
    Entry e = next({Kind::Question, title, question, buttons, defaultButton, {}, 0, true});
    const std::string label = e.answers->front();
    if (!label.empty() && std::find(buttons.begin(), buttons.end(), label) == buttons.end())
        fail("scripted answer \"" + label + "\" is not a button of question \"" + title + "\"");
    return label;
}

std::optional<std::vector<std::string>> ScriptedDialogs::inputBox(
    const std::vector<std::string>& prompts, const std::string& title, int lineCount,
    const std::vector<std::string>& defaults) {
    std::string text;
    for (const auto& p : prompts)
        text += (text.empty() ? "" : " | ") + p;
    Entry e = next({Kind::Input, title, text, prompts, {}, defaults, lineCount, true});
    if (e.answers && e.answers->size() != prompts.size())
        fail("scripted input for \"" + title + "\" has " + std::to_string(e.answers->size()) +
             " answers for " + std::to_string(prompts.size()) + " prompts");
    return e.answers;
}

std::optional<std::string> ScriptedDialogs::openFile(const std::string& filter,
                                                     const std::string& title) {
    Entry e = next({Kind::OpenFile, title, filter, {}, {}, {}, 0, true});
    if (!e.answers) return std::nullopt;
    return e.answers->front();
}

std::optional<std::string> ScriptedDialogs::saveFile(const std::string& filter,
                                                     const std::string& title) {
    Entry e = next({Kind::SaveFile, title, filter, {}, {}, {}, 0, true});
    if (!e.answers) return std::nullopt;
    return e.answers->front();
}

}  // namespace onex::platform

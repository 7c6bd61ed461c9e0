#pragma once

// The window routines as the exported library calls them: inputs and outputs
// as platform values, windows and controls as numeric handles. The library's
// registry lists them beside its other routines; keeping the table here keeps
// Qt out of the library's core, which reaches these only when the desktop
// part is linked in.

#include <QObject>
#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "UI/platform/Handles.h"
#include "platform/Array.h"

namespace onex::ui {

// The number that stands for an object in the exported routines (the same
// number for as long as the object lives; 0 for none), and back (null when
// the number stands for no living object).
double handleOf(const QObject* object);
QObject* objectOf(double handle);

// `handles` as a structure of numbers, one field per tag.
onex::platform::Array handlesToArray(const platform::Handles& handles);
// The stored handles of the window that the objects of such a structure
// belong to; null when none of them lives.
platform::Handles* handlesFromArray(const onex::platform::Array& handles);

struct GuiRoutine {
    std::string_view name;
    std::size_t minInputs;
    std::vector<std::string> inputs;   // declared input names ("varargin": any number)
    std::vector<std::string> outputs;  // declared output names ("varargout": any number)
    std::string_view summary;
    // The outputs for the inputs; nargout as the caller asks.
    std::function<std::vector<onex::platform::Array>(std::span<const onex::platform::Array> in,
                                                     std::size_t nargout)>
        call;
};

// Every window routine, in the order of the windows' description.
std::span<const GuiRoutine> guiRoutines();
const GuiRoutine* findGuiRoutine(std::string_view name);

}  // namespace onex::ui

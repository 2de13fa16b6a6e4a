#pragma once
// What tolmar-batch checks in a plan before any file is touched.

#include <ostream>
#include <vector>

#include "editor/batch_mode.h"
#include "editor/editor.h"

namespace tolmar {

// False when a step names what does not exist (an empty macro slot, no such menu item): the
// run must not start. A preset that is missing, or given to a command that takes none, is only
// a warning: that step runs with the current parameters. The reasons go to `err`.
bool checkPlan(const Editor& editor, const std::vector<PlanStep>& plan, std::ostream& err);

}  // namespace tolmar

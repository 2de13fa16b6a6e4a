#include "app/batch_plan.h"

#include <string>

#include "editor/command_table.h"
#include "editor/macro_runner.h"

namespace tolmar {

bool checkPlan(const Editor& editor, const std::vector<PlanStep>& plan, std::ostream& err) {
  bool ok = true;
  for (const PlanStep& planned : plan) {
    if (planned.select) continue;
    const ParsedStep step = parseStep(planned.text);
    if (step.kind == ParsedStep::Kind::CallMacro) {
      if (!editor.macros.get(step.callSlot)) {
        err << "tolmar-batch: macro slot " << step.callSlot << " of "
            << editor.iniFile.path().string() << " is empty\n";
        ok = false;
      }
    } else if (step.kind == ParsedStep::Kind::Command) {
      if (!findCommand(step.path)) {
        err << "tolmar-batch: no menu item \"" << step.path
            << "\" (tolmar-batch --list-commands lists them)\n";
        ok = false;
      } else if (step.preset) {
        const PresetKind kind = presetKindOf(step.path);
        if (kind == PresetKind::None) {
          err << "tolmar-batch: warning: \"" << step.path << "\" takes no preset\n";
        } else {
          bool found = false;
          for (const std::string& name : presetNames(editor.presets, kind))
            found = found || name == *step.preset;
          if (!found)
            err << "tolmar-batch: warning: no preset \"" << *step.preset << "\" for \"" << step.path
                << "\"; it runs with the current parameters\n";
        }
      }
    }
  }
  return ok;
}

}  // namespace tolmar

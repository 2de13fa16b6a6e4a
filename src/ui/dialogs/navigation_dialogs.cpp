#include "ui/dialogs/navigation_dialogs.h"

#include <QButtonGroup>
#include <QLineEdit>

#include "editor/view_commands.h"

namespace tolmar::ui {

namespace {

// The refusal of the model's own check, shown over the dialog with the field it names focused.
template <class Model>
void checkWithModel(FormDialog* d, const Model& m, std::function<Model()> current,
                    std::vector<QLineEdit*> fields) {
  d->addCheckOnOk([d, &m, current, fields]() -> std::optional<QString> {
    if (!m.check) return std::nullopt;
    const auto problem = m.check(current());
    if (!problem) return std::nullopt;
    d->warn(QString::fromStdString(problem->text));
    const size_t at = static_cast<size_t>(std::clamp(problem->field, 0, int(fields.size()) - 1));
    d->focusField(fields[at]);
    return QString();  // already said
  });
}

}  // namespace

std::unique_ptr<FormDialog> makeGotoTimeDialog(GotoTimeModel& m, QWidget* parent,
                                               const DialogEnv& env) {
  auto d = std::make_unique<FormDialog>("Goto Time", parent, env);
  QLineEdit* time = d->addText("Time:", m.time);
  QButtonGroup* mark =
      d->addRadios({}, m.mark, {"Set Start Mark", "Set End Mark", "Do Not Set Mark"});
  d->addButtons("OK", "Cancel", "gototime");
  checkWithModel<GotoTimeModel>(d.get(), m,
                                [time, mark, &m] {
                                  GotoTimeModel now = m;
                                  now.time = time->text().toStdString();
                                  if (mark->checkedId() >= 0) now.mark = mark->checkedId();
                                  return now;
                                },
                                {time});
  return d;
}

std::unique_ptr<FormDialog> makeMarkRegionDialog(MarkRegionModel& m, QWidget* parent,
                                                 const DialogEnv& env) {
  auto d = std::make_unique<FormDialog>("Mark Region", parent, env);
  QLineEdit* start = d->addText("Start:", m.startTime);
  QLineEdit* end = d->addText("End:", m.endTime);
  QButtonGroup* type = d->addRadios({}, m.markType, {"Mark by Time", "Mark by Sample#"});
  d->addButtons("OK", "Cancel", "markregion");
  checkWithModel<MarkRegionModel>(d.get(), m,
                                  [start, end, type, &m] {
                                    MarkRegionModel now = m;
                                    now.startTime = start->text().toStdString();
                                    now.endTime = end->text().toStdString();
                                    if (type->checkedId() >= 0) now.markType = type->checkedId();
                                    return now;
                                  },
                                  {start, end});
  return d;
}

}  // namespace tolmar::ui

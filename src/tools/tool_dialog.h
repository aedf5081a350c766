#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <variant>

#include "core/project.h"
#include "core/run_control.h"
#include "core/runs/run_common.h"
#include "ui/progress.h"
#include "ui/tool_host.h"

class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace plk {

class Prompts;
class ToolHost;

// The frame shared by the tool dialogs: a modal dialog with its caption and the "Démarrer"
// and "Annuler" buttons. "Annuler" only closes the dialog.
class ToolDialog : public QDialog {
 public:
  ToolDialog(const QString& caption, ToolHost& host, Prompts& prompts, QWidget* parent);

 protected:
  // Runs the tool; the dialog closes when the run is accepted.
  virtual void Button1Click();
  void Button2Click();

  // Where a dialog puts its labels and fields, above the two buttons.
  [[nodiscard]] QVBoxLayout* fieldsLayout() const { return fieldsLayout_; }
  // A labelled text field on a row of its own in the fields' layout.
  QLineEdit* addField(const char* name, const QString& label, const std::string& text);

  // The flow every tool shares. `check(project)` gives the parameters or the message of the first
  // refused field, which is shown; without an open project it checks an empty one, which every
  // tool refuses. Then `run(project, parameters, report, control)` writes the report under a
  // progress dialog titled as this one and says how it ended; the images and the listing follow
  // a completed run (a cancelled one changed nothing). Nothing when no run took place.
  template <typename Parameters, typename Check, typename Run>
  std::optional<RunStatus> checkAndRun(Check check, Run run) {
    Project* project = host_.project();
    const Project none;
    const Checked<Parameters> checked = check(project != nullptr ? *project : none);
    if (const auto* error = std::get_if<FieldError>(&checked)) {
      showRefusal(error->message);
      return std::nullopt;
    }
    if (project == nullptr) return std::nullopt;
    ReportSink& report = host_.showReport();
    std::optional<RunStatus> status;
    {
      ProgressDialog progress(this, windowTitle());
      status = run(*project, std::get<Parameters>(checked), report, progress);
    }
    if (status == RunStatus::Completed) {
      host_.redrawImages();
      host_.listPolygons();
    }
    return status;
  }

  ToolHost& host_;
  Prompts& prompts_;

 private:
  void showRefusal(const std::string& message);

  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QVBoxLayout* fieldsLayout_ = nullptr;
};

}  // namespace plk

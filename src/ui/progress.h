#pragma once

#include <QElapsedTimer>
#include <QString>
#include <memory>

#include "core/run_control.h"

class QProgressDialog;
class QWidget;

namespace plk {

// The progress of a tool run on the user-interface thread. A modal dialog with "Annuler" and the
// unit under way appears once the run has lasted half a second; every step lets the windows
// repaint while the modal dialog keeps the rest of the program blocked.
class ProgressDialog final : public RunControl {
 public:
  ProgressDialog(QWidget* parent, const QString& caption);
  ~ProgressDialog() override;
  ProgressDialog(const ProgressDialog&) = delete;
  ProgressDialog& operator=(const ProgressDialog&) = delete;

  void step(int done, int total, std::string_view what) override;
  [[nodiscard]] bool cancelled() const override;

  // The dialog itself, for tests that press "Annuler".
  [[nodiscard]] QProgressDialog& dialog() const { return *dialog_; }

 private:
  std::unique_ptr<QProgressDialog> dialog_;
};

}  // namespace plk

#pragma once

#include <QDialog>

namespace plk {

// The about box: the version and an OK button. Shown without blocking the main window.
class TFAbout final : public QDialog {
 public:
  explicit TFAbout(QWidget* parent = nullptr);
};

}  // namespace plk

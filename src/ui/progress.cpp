#include "ui/progress.h"

#include <QCoreApplication>
#include <algorithm>
#include <QProgressDialog>

namespace plk {

namespace {
constexpr int kShowAfterMs = 500;
}

ProgressDialog::ProgressDialog(QWidget* parent, const QString& caption)
    : dialog_(std::make_unique<QProgressDialog>(parent)) {
  dialog_->setWindowTitle(caption);
  dialog_->setCancelButtonText(QStringLiteral("Annuler"));
  dialog_->setWindowModality(Qt::ApplicationModal);
  dialog_->setMinimumDuration(kShowAfterMs);
  dialog_->setAutoClose(false);
  dialog_->setAutoReset(false);
  dialog_->setRange(0, 1);
  dialog_->setValue(0);
}

ProgressDialog::~ProgressDialog() = default;

void ProgressDialog::step(int done, int total, std::string_view what) {
  dialog_->setMaximum(std::max(total, 1));
  dialog_->setLabelText(QString::fromUtf8(what.data(), static_cast<qsizetype>(what.size())));
  dialog_->setValue(std::min(done, dialog_->maximum()));
  QCoreApplication::processEvents();
}

bool ProgressDialog::cancelled() const { return dialog_->wasCanceled(); }

}  // namespace plk

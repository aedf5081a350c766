#pragma once

#include <QStringList>
#include <QWidget>

#include "core/report.h"

class QPlainTextEdit;

namespace plk {

class Prompts;
class TFNew;

// The report window: every tool writes its account here, line by line; the user may clear it
// or save it as an ISO-8859-1 text file. Each line appended brings the newest line into view,
// unless the user has scrolled up from the end to read.
class TFRapport final : public QWidget, public ReportSink {
 public:
  // The project name of `newProject` gives the proposed file name; `lastDirectory` is shared
  // with the other file dialogs.
  TFRapport(Prompts& prompts, const TFNew& newProject, QString& lastDirectory,
            QWidget* parent = nullptr);

  void appendLine(std::string_view utf8) override;
  [[nodiscard]] QStringList lines() const;

  void Button1Click();  // "Sauver..."
  void Button2Click();  // "Effacer"

 private:
  void createControls();
  void scrollToEnd();

  Prompts& prompts_;
  const TFNew& newProject_;
  QString& lastDirectory_;
  QPlainTextEdit* Memo1 = nullptr;
  bool holdsLines_ = false;  // a line was appended since the last clearing
  bool followsEnd_ = true;   // the view was at the last line when it last moved
};

}  // namespace plk

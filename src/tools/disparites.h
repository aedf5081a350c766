#pragma once

#include "tools/tool_dialog.h"

class QButtonGroup;
class QLineEdit;

namespace plk {

struct DisparitesFields;
struct DisparityMaps;

// "Calculer la carte des disparités...": factor, the two multipliers, the homography table and
// the folder of the files: the current working folder unless the user chose another. The map
// computed is kept with the project's results for the map window.
class TFDisparites final : public ToolDialog {
 public:
  TFDisparites(ToolHost& host, Prompts& prompts, QWidget* parent = nullptr);

  // Where the next run writes its files.
  [[nodiscard]] QString outputFolder() const;

 protected:
  void Button1Click() override;
  void showEvent(QShowEvent* event) override;

 private:
  void createRadioGroup();
  void createFolderRow();
  void chooseFolder();
  static void keepMap(Project& project, const DisparitesFields& fields, DisparityMaps& maps);
  void writeFiles(const DisparityMaps& maps);

  QLineEdit* Edit1 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QLineEdit* Edit3 = nullptr;
  QButtonGroup* homographyButtons_ = nullptr;
  QLineEdit* folderField_ = nullptr;
  QString chosenFolder_;  // empty: the current working folder at the time of the run
};

}  // namespace plk

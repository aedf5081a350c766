#pragma once

#include <QMainWindow>
#include <QString>
#include <memory>

#include "core/editing.h"
#include "core/project.h"
#include "core/textformat.h"
#include "views/image.h"
#include "ui/tool_host.h"
#include "views/image_host.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QToolButton;

namespace plk {

class Prompts;
class TFAbout;
class TFAppariement;
class TFDetect;
class TFDisparites;
class TFEstime;
class TFHelp;
class TFNew;
class TFOpti;
class TFRapport;

// What became of a save command: the user may decline the dialog or the overwrite question,
// and the write may fail (after its error box).
enum class SaveOutcome { Saved, Declined, Failed };

// The windows created after the main window, in start-up order, which its menus show. They are
// destroyed in reverse order.
struct ShellWindows {
  std::unique_ptr<TFNew> newProject;
  std::unique_ptr<TFAbout> about;
  std::unique_ptr<TFOpti> opti;
  std::unique_ptr<TFRapport> rapport;
  std::unique_ptr<TFDetect> detect;
  std::unique_ptr<TFAppariement> appariement;
  std::unique_ptr<TFEstime> estime;
  std::unique_ptr<TFDisparites> disparites;
  std::unique_ptr<TFHelp> help;
};

// The main window: project commands, editing-mode buttons, the listing of every polygon and
// the lock buttons; the host of the tool dialogs. It holds the open project (none when `project()` is null) and its two image
// windows. Listing and project files use the injected number format.
class TFMain final : public QMainWindow, public ImageWindowHost, public ToolHost {
 public:
  TFMain(Prompts& prompts, NumberFormat format, QWidget* parent = nullptr);
  ~TFMain() override;

  // The windows live as long as the main window (their owner destroys them first).
  void setWindows(const ShellWindows& windows);

  [[nodiscard]] Project* project() const override { return project_.get(); }
  [[nodiscard]] NumberFormat numberFormat() const override { return format_; }
  ReportSink& showReport() override;
  void redrawImages() override;
  [[nodiscard]] TFImage* leftWindow() const { return leftWindow_.get(); }
  [[nodiscard]] TFImage* rightWindow() const { return rightWindow_.get(); }
  [[nodiscard]] const EditingState& editing() const { return editing_; }
  [[nodiscard]] const QString& projectFileName() const { return projectFileName_; }
  [[nodiscard]] QString& lastDirectory() { return lastDirectory_; }

  void listPolygons() override;
  void showPointerPosition(int row, int column) override;

  // False when the user cancelled or the requested save failed; otherwise the project (if any)
  // is closed.
  bool askSaveAndClose();
  void closeProject();
  // Builds the project from the new-project dialog's texts; false (after an error box) when an
  // image cannot be loaded, is not 8-bit, or the two sizes differ. For a project read from
  // `projectFile`, images that moved with it are found beside it (io::resolveImagePath).
  bool createProjectFromImages(const QString& projectFile = QString());
  void enableProjectMenus();
  void disableProjectMenus();
  SaveOutcome saveProject(const QString& path);
  SaveOutcome saveProjectAs();
  // "Sauver projet": to the project's file, or through saveProjectAs when it has none.
  SaveOutcome saveCurrentProject();
  bool loadProject(const QString& path);

  void Ouvrirprojet1Click();
  void Fermerprojet1Click();  // "Sauver projet"
  void Rinitialiserlessommetsdelimagegauche1Click();
  void Rinitialiserlessommetsdelimagedroite1Click();
  void Button1Click();  // "un/lock g"
  void Button2Click();  // "un/lock d"

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void createToolPanel(QWidget* client);
  QToolButton* createSpeedButton(QWidget* panel, const QString& name, const QString& picture,
                                 const QString& toolTip, int left);
  void createListing(QWidget* client);
  void createBottomPanel(QWidget* client);
  void createMenus();
  void createFileMenu();
  void createEditMenu();
  void createViewMenu();
  void createToolsMenu();
  void createHelpMenu();
  QAction* addMenuItem(QMenu* menu, const QString& name, const QString& caption);

  void chooseMode(EditMode mode);
  std::unique_ptr<TFImage> openImageWindow(Project& project, ImageSide& side, ImageSideKind kind,
                                           const QString& path, const QString& sideName);
  [[nodiscard]] static QString checkLeftImage(const TFImage* left);
  [[nodiscard]] static QString checkRightImage(const TFImage& left, const TFImage* right);
  static void computeGradients(Project& project);
  bool confirmReinitialisation(const QString& sideName);
  static void clearVertices(ImageSide& side, TFImage* window);
  void toggleLock(PolygonList& polygons);
  void appendSideListing(QStringList& lines, const PolygonList& polygons) const;

  Prompts& prompts_;
  NumberFormat format_;
  const ShellWindows* windows_ = nullptr;
  std::unique_ptr<Project> project_;
  std::unique_ptr<TFImage> leftWindow_;
  std::unique_ptr<TFImage> rightWindow_;
  EditingState editing_;
  QString projectFileName_;
  QString lastDirectory_;

  QToolButton* SpeedButtonArrow = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QLabel* LabelUV = nullptr;
  QLineEdit* Edit1 = nullptr;
  QAction* Fermerprojet1 = nullptr;
  QAction* Imagegauche1 = nullptr;
  QAction* Imagedroite1 = nullptr;
  QAction* Rapport1 = nullptr;
  QMenu* Outils1 = nullptr;
};

}  // namespace plk

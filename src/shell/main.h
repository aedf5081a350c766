#pragma once

#include <QMainWindow>
#include <QString>
#include <memory>
#include <optional>

#include "core/editing.h"
#include "core/listing.h"
#include "core/project.h"
#include "core/textformat.h"
#include "shell/recent_projects.h"
#include "shell/recovery_session.h"
#include "shell/undo_commands.h"
#include "ui/tool_host.h"
#include "views/image.h"
#include "views/image_host.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QToolButton;
class QUndoStack;

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

// Why the open project would be closed: the save question ends "avant de quitter ?" for the one
// and "avant de continuer ?" for the other.
enum class CloseReason { Quit, Continue };

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
// the lock buttons; the host of the tool dialogs. It holds the open project (none when
// `project()` is null), its two image windows and the undo history of its polygons, and keeps a
// recovery copy of the project while it differs from its file. Listing and project files use
// the injected number format; the recent projects are kept in the user's settings.
class TFMain final : public QMainWindow,
                     public ImageWindowHost,
                     public ToolHost,
                     public EditTarget {
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
  void chooseEditMode(EditMode mode) override;
  void beginPolygonEdit() override;
  void endPolygonEdit(const QString& what, VertexStore released) override;
  void endPolygonEdit(const QString& what) override;
  void applySnapshot(const EditSnapshot& snapshot, VertexStore& spare,
                     ResultsEffect effect) override;

  [[nodiscard]] QUndoStack& undoStack() const { return *undoStack_; }
  // Ends a drag in progress, then undoes or redoes the last step.
  void undoEdit();
  void redoEdit();
  // The last projects opened or saved, most recent first.
  [[nodiscard]] QStringList recentProjects() const { return recent_->paths(); }
  // The recovery copies of the open project.
  [[nodiscard]] RecoverySession& recovery() const { return *recovery_; }

  // False when the user cancelled or the requested save failed; otherwise the project (if any)
  // is closed. The question is asked only when the project differs from its file.
  bool askSaveAndClose(CloseReason reason = CloseReason::Continue);
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

  void Nouveauprojet1Click();
  void Ouvrirprojet1Click();
  // Opens `path` after the save question: a recent project, or the one named on the command line.
  void openRecentProject(const QString& path);
  void Fermerprojet1Click();  // "Sauver projet"
  void Rinitialiserlessommetsdelimagegauche1Click();
  void Rinitialiserlessommetsdelimagedroite1Click();
  void Button1Click();  // "un/lock g"
  void Button2Click();  // "un/lock d"

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // The client area's size, and the pointer label's text when no position is shown.
  static constexpr int kClientWidth = 328;
  static constexpr int kClientHeight = 301;
  static inline const QString kTenSpaces = QStringLiteral("          ");

  // The window's panels and menus (main_menus.cpp).
  void createToolPanel(QWidget* client);
  QToolButton* createSpeedButton(QWidget* panel, const QString& name, const QString& picture,
                                 const QString& toolTip, int left);
  void createListing(QWidget* client);
  void createBottomPanel(QWidget* client);
  void createMenus();
  void createFileMenu();
  void createEditMenu();
  void updateTitle();
  [[nodiscard]] EditSnapshot captureEdit() const;
  void recordEdit(const QString& what, VertexStore released, ResultsEffect effect);
  void finishGestures();
  void openProjectFile(const QString& path);
  [[nodiscard]] bool isProjectFileReadable(const QString& path) const;
  void createViewMenu();
  void createToolsMenu();
  void createHelpMenu();
  QAction* addMenuItem(QMenu* menu, const QString& name, const QString& caption);

  void chooseMode(EditMode mode);
  QToolButton* speedButton(EditMode mode) const;
  std::unique_ptr<TFImage> openImageWindow(Project& project, ImageSide& side, ImageSideKind kind,
                                           const QString& path, const QString& sideName);
  [[nodiscard]] static QString checkLeftImage(const TFImage* left);
  [[nodiscard]] static QString checkRightImage(const TFImage& left, const TFImage* right);
  static void computeGradients(Project& project);
  bool confirmReinitialisation(const QString& sideName);
  void clearVertices(ImageSide& side, TFImage& window, const QString& what, ResultsEffect effect);
  void toggleLock(PolygonList& polygons);
  void refreshListing();
  [[nodiscard]] std::vector<std::string> verdictNotes() const;
  [[nodiscard]] io::ProjectFileData projectFileData() const;
  [[nodiscard]] RecoveryHost recoveryHost();
  void restorePolygons(const io::ProjectFileData& copy);

  Prompts& prompts_;
  NumberFormat format_;
  PolygonListing listing_;       // the lines Memo1 shows
  bool listingPending_ = false;  // a refresh of the listing waits for the event loop
  const ShellWindows* windows_ = nullptr;
  std::unique_ptr<Project> project_;
  std::unique_ptr<TFImage> leftWindow_;
  std::unique_ptr<TFImage> rightWindow_;
  EditingState editing_;
  QString projectFileName_;
  QString lastDirectory_;
  QUndoStack* undoStack_ = nullptr;
  std::optional<EditSnapshot> pendingEdit_;  // the state before the gesture under way
  RecoverySession* recovery_ = nullptr;      // child of the window
  RecentProjects* recent_ = nullptr;         // child of the file menu

  QToolButton* SpeedButtonArrow = nullptr;
  QToolButton* SpeedButtonAdd = nullptr;
  QToolButton* SpeedButtonMove = nullptr;
  QToolButton* SpeedButtonDel = nullptr;
  QToolButton* SpeedButtonAdjust = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QLabel* LabelUV = nullptr;
  QLineEdit* Edit1 = nullptr;
  QAction* Fermerprojet1 = nullptr;
  QAction* Sauverprojetsous1 = nullptr;
  QAction* Imagegauche1 = nullptr;
  QAction* Imagedroite1 = nullptr;
  QAction* Rapport1 = nullptr;
  QMenu* Outils1 = nullptr;
};

}  // namespace plk

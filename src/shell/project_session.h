#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "core/editing.h"
#include "core/project.h"
#include "core/report.h"
#include "core/textformat.h"
#include "io/project_file.h"
#include "shell/edit_history.h"
#include "shell/recovery_session.h"

class QMenu;
class QWidget;

namespace plk {

class ImageWindowHost;
class Prompts;
class RecentProjects;
class TFImage;
class TFNew;

// What a save command became: the user may decline the dialog or the overwrite question, and
// the write may fail (after its error box).
enum class SaveOutcome { Saved, Declined, Failed };

// Why the open project would be closed: the save question ends "avant de quitter ?" for the one
// and "avant de continuer ?" for the other.
enum class CloseReason { Quit, Continue };

// What the session tells the main window.
class SessionListener {
 public:
  virtual ~SessionListener() = default;
  // A project and its two windows were created: the menus and the title follow.
  virtual void projectOpened() = 0;
  // The project and its windows are about to go.
  virtual void projectClosing() = 0;
  // The project and its windows are gone: the menus, the mode, the listing and the title follow.
  virtual void projectClosed() = 0;
  // The polygons changed as a whole (opened, undone, restored): listing and drawings follow.
  virtual void polygonsChanged() = 0;
  // Shows the report window and gives its sink, for the notes of opening and saving.
  virtual ReportSink& showReport() = 0;
};

// The open project, from its creation to its closing: its two image windows, its file, the undo
// history of its polygons, its recovery copies and the recent projects list. None is open when
// `project()` is null. Error boxes and questions are shown over `window`.
class ProjectSession final : public EditedProject {
 public:
  ProjectSession(QWidget& window, Prompts& prompts, NumberFormat format, EditingState& editing,
                 ImageWindowHost& imageHost, SessionListener& listener);
  ~ProjectSession() override;
  ProjectSession(const ProjectSession&) = delete;
  ProjectSession& operator=(const ProjectSession&) = delete;

  // The new-project dialog, whose texts name the project and its images.
  void setNewProjectDialog(TFNew& dialog) { newProject_ = &dialog; }
  // Adds the "Projets récents" submenu to the file menu.
  void addRecentProjects(QMenu& fileMenu);

  [[nodiscard]] Project* project() const { return project_.get(); }
  [[nodiscard]] TFImage* leftWindow() const { return leftWindow_.get(); }
  [[nodiscard]] TFImage* rightWindow() const { return rightWindow_.get(); }
  [[nodiscard]] EditHistory& history() { return history_; }
  [[nodiscard]] const QString& projectFileName() const { return projectFileName_; }
  [[nodiscard]] QString& lastDirectory() { return lastDirectory_; }
  // The last projects opened or saved, most recent first.
  [[nodiscard]] QStringList recentProjects() const;
  [[nodiscard]] RecoverySession& recovery() const { return *recovery_; }

  // False when the user cancelled or the requested save failed; otherwise the project (if any)
  // is closed. The question is asked only when the project differs from its file.
  bool askSaveAndClose(CloseReason reason = CloseReason::Continue);
  void closeProject();
  // Builds the project from the new-project dialog's texts; false (after an error box) when an
  // image cannot be loaded, is not 8-bit, or the two sizes differ. For a project read from
  // `projectFile`, images that moved with it are found beside it (io::resolveImagePath).
  bool createProjectFromImages(const QString& projectFile = QString());
  SaveOutcome saveProject(const QString& path);
  SaveOutcome saveProjectAs();
  // "Sauver projet": to the project's file, or through saveProjectAs when it has none.
  SaveOutcome saveCurrentProject();
  bool loadProject(const QString& path);
  // "Ouvrir projet...": the save question, then the file dialog.
  void openProject();
  // Opens `path` after the save question: a recent project, or the one named on the command line.
  void openRecentProject(const QString& path);

  // Removes every vertex of one image as one undo step: the vertices stay alive in it, and the
  // window forgets every one it referred to.
  void clearVertices(ImageSideKind kind, const QString& what, ResultsEffect effect);

  [[nodiscard]] std::optional<EditSnapshot> captureEdit() const override;
  void applySnapshot(const EditSnapshot& snapshot, VertexStore& spare,
                     ResultsEffect effect) override;
  void finishGestures() override;

 private:
  [[nodiscard]] std::optional<bool> askSave(CloseReason reason);
  void closeKeepingCopy(bool keepCopy);
  std::unique_ptr<TFImage> openImageWindow(Project& project, ImageSide& side, ImageSideKind kind,
                                           const QString& path, const QString& sideName);
  [[nodiscard]] static QString checkLeftImage(const TFImage* left);
  [[nodiscard]] static QString checkRightImage(const TFImage& left, const TFImage* right);
  static void computeGradients(Project& project);
  void openProjectFile(const QString& path);
  [[nodiscard]] static bool isProjectFileReadable(const QString& path);
  [[nodiscard]] io::ProjectFileData projectFileData() const;
  [[nodiscard]] RecoveryHost recoveryHost();
  void restorePolygons(const io::ProjectFileData& copy);
  void setFields(const io::ProjectFileData& data);

  QWidget& window_;
  Prompts& prompts_;
  NumberFormat format_;
  EditingState& editing_;
  ImageWindowHost& imageHost_;
  SessionListener& listener_;
  TFNew* newProject_ = nullptr;
  std::unique_ptr<Project> project_;
  std::unique_ptr<TFImage> leftWindow_;
  std::unique_ptr<TFImage> rightWindow_;
  EditHistory history_{*this};
  QString projectFileName_;
  QString lastDirectory_;
  std::unique_ptr<RecoverySession> recovery_;
  RecentProjects* recent_ = nullptr;  // child of the file menu
};

}  // namespace plk

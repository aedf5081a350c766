#pragma once

#include <QMainWindow>
#include <QString>
#include <memory>

#include "core/editing.h"
#include "core/listing.h"
#include "core/project.h"
#include "core/textformat.h"
#include "shell/project_session.h"
#include "ui/tool_host.h"
#include "views/image.h"
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
struct WindowLayout;

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

// The main window: editing-mode buttons, the listing of every polygon, the lock buttons and the
// menus; the host of the image windows and of the tool dialogs. The open project, its windows,
// file and undo history belong to its session (`session()`). The listing uses the injected
// number format.
class TFMain final : public QMainWindow,
                     public ImageWindowHost,
                     public ToolHost,
                     public SessionListener {
 public:
  TFMain(Prompts& prompts, NumberFormat format, QWidget* parent = nullptr);
  ~TFMain() override;

  // The windows live as long as the main window (their owner destroys them first).
  void setWindows(const ShellWindows& windows);

  [[nodiscard]] ProjectSession& session() const { return *session_; }
  [[nodiscard]] Project* project() const override { return session_->project(); }
  [[nodiscard]] NumberFormat numberFormat() const override { return format_; }
  ReportSink& showReport() override;
  void redrawImages() override;
  [[nodiscard]] TFImage* leftWindow() const { return session_->leftWindow(); }
  [[nodiscard]] TFImage* rightWindow() const { return session_->rightWindow(); }
  [[nodiscard]] const EditingState& editing() const { return editing_; }

  void listPolygons() override;
  void showPointerPosition(int row, int column) override;
  void chooseEditMode(EditMode mode) override;
  // "Copier le polygone vers l'image droite" (or gauche): the partner of the next polygon without
  // one, placed by its photometric plane or by the disparity that aligns its pixels best.
  void copyPolygon(ImageSideKind from) override;
  void beginPolygonEdit() override;
  void endPolygonEdit(const QString& what, VertexStore released) override;
  void endPolygonEdit(const QString& what) override;

  void projectOpened() override;
  void projectClosing() override;
  void projectClosed() override;
  void polygonsChanged() override;

  // "Affichage > Disposer les fenêtres": the image windows side by side, the main window and the
  // report beside them, on the screen's available area.
  void arrangeWindows();

  void Nouveauprojet1Click();
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
  void createViewMenu();
  void createToolsMenu();
  void createHelpMenu();
  QAction* addMenuItem(QMenu* menu, const QString& name, const QString& caption);
  void enableProjectMenus(bool enabled);
  // A project opened: the windows take the places they had when the last one closed, when those
  // still fit the screen, or are arranged.
  void placeWindows();
  void placeAll(const WindowLayout& layout);
  void updateTitle();

  void chooseMode(EditMode mode);
  QToolButton* speedButton(EditMode mode) const;
  bool confirmReinitialisation(const QString& sideName);
  void toggleLock(PolygonList& polygons);
  void refreshListing();
  [[nodiscard]] std::vector<std::string> verdictNotes() const;

  Prompts& prompts_;
  NumberFormat format_;
  PolygonListing listing_;       // the lines Memo1 shows
  bool listingPending_ = false;  // a refresh of the listing waits for the event loop
  const ShellWindows* windows_ = nullptr;
  EditingState editing_;
  std::unique_ptr<ProjectSession> session_;

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
  QAction* Disposerlesfenetres1 = nullptr;
  QAction* CopierVersDroite1 = nullptr;
  QAction* CopierVersGauche1 = nullptr;
  QMenu* Outils1 = nullptr;
};

}  // namespace plk

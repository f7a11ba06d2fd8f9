// The main frame: the program's only top-level window. It owns the tool bar,
// the sutra view, the title window, the wave buffer, the background picture
// and the recitation (the sequencer's fields are its fields), builds the
// menus, tool bar and accelerators, keeps every command's enabled and checked
// state, and carries the picture, maximize and repeat commands.
#pragma once

#include <QCoreApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QString>
#include <QToolBar>
#include <QUrl>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/language.h"
#include "app/sutra_view.h"
#include "app/title_wnd.h"
#include "audio/wave_buffer.h"
#include "core/profile_store.h"
#include "core/reading_sequencer.h"
#include "render/picture_holder.h"
#include "render/sutra_view.h"

namespace solvari::app {

class CQtTimerService;
class ITitleSound;

// Command identifiers.
enum : int {
  ID_READ_START = 32771,
  ID_READ_STOP = 32772,
  ID_FILE_PICTURE = 32774,
  ID_READ_MAXIMIZE = 32775,
  ID_READ_REPEAT = 32776,
  ID_APP_ABOUT = 57664,
  ID_APP_EXIT = 57665,
  ID_HELP_FINDER = 57667,
  ID_CONTEXT_HELP = 57669,
  ID_HELP = 57670,
  ID_DEFAULT_HELP = 57671,
  // The language menu: the system's language, or one chosen.
  ID_LANGUAGE_SYSTEM = 32800,
  ID_LANGUAGE_JAPANESE = 32801,
  ID_LANGUAGE_ENGLISH = 32802,
};

// The texts of one command, untranslated (the frame's translation context,
// "CMainFrame"): the menu text, the status and What's This text, and the
// tool tip. A missing status text or tool tip is null.
struct CommandText {
  int nID;
  const char* pszText;
  const char* pszStatus;
  const char* pszToolTip;
};

// The picture file dialog; the program uses QFileDialog, tests a stub.
class IPictureDialog {
 public:
  struct Result {
    bool bChosen = false;  // a file was chosen
    QString strPath;       // its full path
    long nError = 0;       // without a choice: 0 for a plain cancel, else the dialog's error
  };
  virtual ~IPictureDialog() = default;
  virtual Result Run(QWidget* pOwner) = 0;
};

// Message boxes with the program's title as caption.
class IMessageBoxes {
 public:
  virtual ~IMessageBoxes() = default;
  virtual void Show(QWidget* pOwner, const QString& strText, QMessageBox::Icon icon) = 0;
};

// What the frame works with besides its own members. Every null entry gets
// the program's own (Qt timers, the Qt sound devices, QFileDialog,
// QMessageBox, the title sound player, QDesktopServices).
struct FrameServices {
  IProfileStore* pProfile = nullptr;  // required; must outlive the frame
  ITimerService* pTimers = nullptr;   // a service given here is fired by its owner
  std::unique_ptr<IWaveOutDevice> pWaveOut;
  std::unique_ptr<IWaveInDevice> pWaveIn;
  bool bDefaultWaveDevices = true;  // create the Qt devices when none are given
  IPictureDialog* pPictureDialog = nullptr;
  IMessageBoxes* pMessageBoxes = nullptr;
  ITitleSound* pTitleSound = nullptr;
  std::function<bool(const QUrl&)> openUrl;
  // The language in effect; without one the frame keeps its own, which
  // changes only when a language is chosen in its menu.
  CLanguage* pLanguage = nullptr;
};

namespace detail {
// Holds the frame's timer service; a base so that it exists before the
// sequencer is given it.
class CFrameTimers {
 protected:
  explicit CFrameTimers(ITimerService* pTimers);
  ~CFrameTimers();
  std::unique_ptr<CQtTimerService> m_pOwnTimers;
  ITimerService* m_pTimers;
};
}  // namespace detail

// The interfaces come before the sequencer so that it can be handed them
// while it is constructed.
class CMainFrame : public QMainWindow,
                   private detail::CFrameTimers,
                   private ISutraViewHost,
                   private IVoiceOutput,
                   private IReadingView,
                   private IFrameWindow,
                   private IWaveNotify,
                   private IWaveMessageSink,
                   public CReadingSequencer,
                   public CPictureHolder {
  Q_DECLARE_TR_FUNCTIONS(CMainFrame)

 public:
  // The client area below the menu bar.
  static constexpr int kClientWidth = 727;
  static constexpr int kClientHeight = 457;
  static constexpr int kToolBarHeight = 28;
  static constexpr int kToolBarBitmapId = 128;

  explicit CMainFrame(FrameServices services);
  ~CMainFrame() override;

  // Frame timers (10, 20, 30, 31); the command states follow.
  void OnTimer(unsigned nIDEvent);
  // The buffer-done event of the voice, posted by the device.
  void OnWomDone() override;
  void OnReadStart();
  void OnReadStop();
  void OnPictureSettings();
  void OnToggleMaximize();
  void OnToggleRepeat();
  void OnAppAbout();
  void OnHelpFinder();
  void OnContextHelp();
  // strChoice: "ja", "en", or "" for the system's language; stored at once.
  void OnLanguage(const QString& strChoice);

  // Runs every command's enable handler.
  void UpdateCommands();
  void OnUpdateReadStart(QAction* pAction);
  void OnUpdateReadStop(QAction* pAction);
  void OnUpdateFilePicture(QAction* pAction);
  void OnUpdateReadMaximize(QAction* pAction);
  void OnUpdateReadRepeat(QAction* pAction);
  void OnUpdateLanguage();

  // Sets every text of the frame from its translation; runs again whenever
  // the application's language changes.
  void RetranslateUi();
  // The untranslated texts of every command, and the menu titles.
  static const std::vector<CommandText>& CommandTexts();
  static const std::vector<const char*>& MenuTitles();
  // The picture dialog's title and filter, translated.
  static QString PictureDialogTitle();
  static QString PictureDialogFilter();

  QAction* Action(int nID) const;
  QToolBar& ToolBar() { return m_wndToolBar; }
  CSutraView& View() { return m_wndView; }
  CTitleWnd& TitleWnd() { return m_wndTitle; }
  CWaveBuffer& Wave() { return m_wave; }
  // The client area below the menu bar, in the frame's coordinates.
  QRect ClientRect() const;
  // The help page beside the executable, named after it: Solvari.html for
  // the Japanese interface, Solvari.en.html for the English one.
  static QString HelpFilePath();
  static QString HelpFilePath(const QString& strLanguage);
  CLanguage& Language() { return *m_pLanguage; }

 protected:
  void OnTitleTimer(unsigned nIDEvent) override;
  void OnDefaultTimer(unsigned nIDEvent) override;
  void closeEvent(QCloseEvent* pEvent) override;
  void changeEvent(QEvent* pEvent) override;

 private:
  void OnCreate();
  void CreateMenus();
  void CreateToolBar();
  QAction* AddCommand(int nID);
  void ApplyNormalSize();
  void LiftSizeLimits();
  void StopEverything();

  // ISutraViewHost
  int GetReadingState() const override { return m_nState; }
  int GetCurrentPhrase() const override { return m_nPhrase; }
  const CPackedDib& GetPicture() const override { return m_hPicture; }
  const CPalette* GetPalette() const override { return m_pPalette.get(); }
  // IVoiceOutput
  bool LoadVoiceSegment(const std::string& path) override;
  int OpenOutput() override;
  int PlayAll() override;
  void ResetOutput() override;
  void CloseOutput() override;
  // IReadingView: the view's operations
  int ColumnsPerPage() override { return m_wndView.ColumnsPerPage(); }
  void EraseColumn(int nPhrase) override { m_wndView.EraseColumn(nPhrase); }
  void DrawColumn(int nPhrase) override { m_wndView.DrawColumn(nPhrase); }
  void HighlightChar(int nPhrase, int nChar) override { m_wndView.HighlightChar(nPhrase, nChar); }
  void InvalidateView() override { m_wndView.InvalidateView(); }
  // IFrameWindow
  bool IsZoomed() override;
  void ShowMaximized() override;
  bool ShowNormal() override;
  // IWaveMessageSink
  void ShowMessage(const std::string& text) override;

  IProfileStore* m_pProfile;
  std::unique_ptr<IPictureDialog> m_pOwnPictureDialog;
  IPictureDialog* m_pPictureDialog;
  std::unique_ptr<IMessageBoxes> m_pOwnMessageBoxes;
  IMessageBoxes* m_pMessageBoxes;
  std::unique_ptr<ITitleSound> m_pOwnTitleSound;
  ITitleSound* m_pTitleSound;
  std::function<bool(const QUrl&)> m_openUrl;
  std::unique_ptr<CLanguage> m_pOwnLanguage;
  CLanguage* m_pLanguage;
  std::map<int, QAction*> m_actions;
  std::vector<QMenu*> m_menus;  // in the order of MenuTitles()
  int m_nTracedState = -1;
  bool m_bShutDownDone = false;

  QToolBar m_wndToolBar;
  CSutraView m_wndView;
  CTitleWnd m_wndTitle;
  CWaveBuffer m_wave;
};

}  // namespace solvari::app

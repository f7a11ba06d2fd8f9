// SPDX-License-Identifier: GPL-3.0-or-later
// The main frame: the program's only top-level window. It owns the tool bar,
// the sutra view, the title window and the background picture, builds the
// menus, tool bar and accelerators, keeps every command's enabled and checked
// state, and forwards every command to the recitation (audio/recitation.h),
// which holds the sequencer, the voice and the settings. The frame derives
// from the recitation, so that its fields (m_nState, m_nPhrase, ...) are the
// frame's own, as the view reads them.
#pragma once

#include <QCoreApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QToolBar>
#include <QUrl>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/desktop_session.h"
#include "app/language.h"
#include "app/qt_picture_decoder.h"
#include "app/sutra_view.h"
#include "app/title_wnd.h"
#include "audio/recitation.h"
#include "core/profile_store.h"
#include "render/picture_holder.h"
#include "render/sutra_view.h"

class QMimeData;

namespace solvari::app {

class CQtTimerService;
class ITitleSound;
class CRecordWnd;
class CPracticeRecordWnd;
class CWaveNotifyRelay;
class CPictureLoader;

// Command identifiers.
enum : int {
  ID_READ_START = 32771,
  ID_READ_STOP = 32772,
  ID_FILE_PICTURE = 32774,
  ID_READ_MAXIMIZE = 32775,
  ID_READ_REPEAT = 32776,
  // ふりがな: none, kana, romaji (in the order of ReadingAid)
  ID_READ_RUBY_NONE = 32820,
  ID_READ_RUBY_KANA = 32821,
  ID_READ_RUBY_ROMAJI = 32822,
  // Practice: stepping through the phrases, repeating one, the tempo.
  ID_READ_NEXT = 32801,
  ID_READ_PREVIOUS = 32802,
  ID_READ_HOME = 32803,
  ID_READ_REPEAT_PHRASE = 32804,
  ID_READ_START_STOP = 32805,
  ID_READ_TEMPO_50 = 32810,   // 32810..32814: the tempos of kTempoChoices in order
  ID_FILE_RECORD = 32850,     // one's own voice: the recording window
  ID_FILE_OWN_VOICE = 32851,  // one's own voice: recite with the kept takes
  // The temple instruments, the count and the practice record. The
  // MokugyoModes, the MokugyoVolume steps and the BellPatterns each in order
  // from their first id.
  ID_READ_MOKUGYO_OFF = 32870,
  ID_READ_MOKUGYO_EVERY_CHAR = 32871,
  ID_READ_MOKUGYO_AFTER_OPENING = 32872,
  ID_READ_MOKUGYO_SOFT = 32875,
  ID_READ_MOKUGYO_MEDIUM = 32876,
  ID_READ_MOKUGYO_LOUD = 32877,
  ID_READ_BELL_NONE = 32880,
  ID_READ_BELL_TWO_THREE = 32881,
  ID_READ_BELL_ONE_EACH = 32882,
  ID_READ_COUNT_ENDLESS = 32885,  // then 32886..32888: the counts of kCountChoices
  ID_READ_COUNT_TYPED = 32889,    // a count typed in a small dialog
  ID_READ_VOICE_OFF = 32890,      // 声なし
  ID_FILE_PRACTICE_RECORD = 32891,
  // The language menu: the system's language, or one chosen.
  ID_LANGUAGE_SYSTEM = 32860,
  ID_LANGUAGE_JAPANESE = 32861,
  ID_LANGUAGE_ENGLISH = 32862,
  ID_APP_ABOUT = 57664,
  ID_APP_EXIT = 57665,
  ID_HELP_FINDER = 57667,
  ID_CONTEXT_HELP = 57669,
  ID_HELP = 57670,
  ID_DEFAULT_HELP = 57671,
};

// The texts of one command, untranslated (the frame's translation context,
// "CMainFrame"): the menu text, the status and What's This text, and the
// tool tip. A missing status text or tool tip is null. A text with "%1"
// takes nArg (the tempo items).
struct CommandText {
  int nID;
  const char* pszText;
  const char* pszStatus;
  const char* pszToolTip;
  int nArg = 0;
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
  // The folder of one's own takes; empty: AppDataLocation + "/voice".
  QString strOwnVoiceDir;
  // The practice record file; empty: practice.txt in the user's data folder.
  QString strPracticeRecord;
  // Asks for a count of recitations (1 .. kMaxRecitationCount), nCurrent
  // proposed; 0 when the user cancels. Empty: a small input dialog.
  std::function<int(QWidget* pOwner, int nCurrent)> askCount;
  // The language in effect; without one the frame keeps its own, which
  // changes only when a language is chosen in its menu.
  CLanguage* pLanguage = nullptr;
  // Keep the screen on while reciting and answer the desktop's media keys
  // (on the session bus, where there is one).
  bool bDesktopSession = true;
};

namespace detail {
// Holds what the recitation is given besides the frame itself: the timer
// service, the poster of the sound devices' events and the trace. A base, so
// that they exist before the recitation and outlive it. The recording
// window's sounds notify it through the relay, which outlives the devices.
class CFrameTimers {
 protected:
  explicit CFrameTimers(ITimerService* pTimers);
  ~CFrameTimers();
  std::unique_ptr<CQtTimerService> m_pOwnTimers;
  ITimerService* m_pTimers;
  std::unique_ptr<IEventPoster> m_pPoster;
  std::unique_ptr<ITraceSink> m_pTrace;
  std::unique_ptr<CWaveNotifyRelay> m_pRecordRelay;
};
}  // namespace detail

class CMainFrame : public QMainWindow,
                   private detail::CFrameTimers,
                   private ISutraViewHost,
                   private IFrameWindow,
                   private IWaveMessageSink,
                   public CRecitation,
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
  // Chooses the reading shown beside the characters (a ReadingAid).
  void OnSelectRuby(int nAid);
  void OnRecordVoice();
  void OnToggleOwnVoice();
  void OnAppAbout();
  void OnHelpFinder();
  void OnContextHelp();
  // strChoice: "ja", "en", or "" for the system's language; stored at once.
  void OnLanguage(const QString& strChoice);
  // Practice commands (the recitation's, with the command states after them).
  void OnReadStartAt(int nPhrase);  // a click on a phrase of the overview
  void OnReadStartStop();           // Space: Start in Idle, Stop while reading
  void OnReadNext();
  void OnReadPrevious();
  void OnReadHome();
  void OnToggleRepeatPhrase();
  void OnSetTempo(int nTempoPercent);
  // The temple instruments, the count and the voice (settings: only in Idle).
  void OnSetMokugyo(int nMode);
  void OnSetMokugyoVolume(int nStep);
  void OnSetBell(int nPattern);
  void OnSetCount(int nCount);
  void OnTypeCount();  // asks for a count, then sets it
  void OnToggleVoice();
  // ﾌｧｲﾙ → 記録...: the practice record window (read afresh each time).
  void OnPracticeRecord();
  CPracticeRecordWnd* PracticeRecordWnd() const { return m_pPracticeWnd; }

  // Runs every command's enable handler.
  void UpdateCommands();
  void OnUpdateReadStart(QAction* pAction);
  void OnUpdateReadStop(QAction* pAction);
  void OnUpdateFilePicture(QAction* pAction);
  void OnUpdateReadMaximize(QAction* pAction);
  void OnUpdateReadRepeat(QAction* pAction);
  void OnUpdateReadRuby(QAction* pAction, int nAid);
  void OnUpdateReadStep(QAction* pAction);
  void OnUpdateRepeatPhrase(QAction* pAction);
  void OnUpdateTempo(QAction* pAction, int nTempoPercent);
  void OnUpdateFileRecord(QAction* pAction);
  void OnUpdateFileOwnVoice(QAction* pAction);
  void OnUpdateLanguage();
  void UpdateTempleCommands();
  // "Kelvane", and "2 / 7" after it while reciting with a count.
  void UpdateWindowTitle();

  // Sets every text of the frame from its translation; runs again whenever
  // the application's language changes.
  void RetranslateUi();
  // The untranslated texts of every command, and the titles of the menus and
  // submenus (frame_menus.cpp).
  static const std::vector<CommandText>& CommandTexts();
  static const std::vector<const char*>& MenuTitles();
  // The sound layer's messages, marked for translation in context
  // "CWaveBuffer" (the frame and the recording window show them translated).
  static const std::vector<const char*>& WaveMessages();
  static QString TranslateWaveMessage(const char* pszText);
  // The picture dialog's title, translated.
  static QString PictureDialogTitle();

  // One's own voice: the recording window while it is open, and the folder
  // of the takes.
  CRecordWnd* Recorder() const { return m_pRecorder; }
  QString OwnVoiceDir() const { return QString::fromStdString(OwnVoice().Dir()); }

  QAction* Action(int nID) const;
  QToolBar& ToolBar() { return m_wndToolBar; }
  CSutraView& View() { return m_wndView; }
  CTitleWnd& TitleWnd() { return m_wndTitle; }
  // The client area below the menu bar, in the frame's coordinates.
  QRect ClientRect() const;
  // The help page beside the executable, named after it: Solvari.html for
  // the Japanese interface, Solvari.en.html for the English one.
  static QString HelpFilePath();
  static QString HelpFilePath(const QString& strLanguage);
  CLanguage& Language() { return *m_pLanguage; }
  // The picture dialog's filters: .bmp files first, then every other format
  // the picture decoder takes.
  static QStringList PictureFilters();
  // What the picture command does with the file the user chose.
  void SetPictureFile(const QString& strPath);

  // The background picture, read on a thread of its own where it would hold
  // the window (picture_loader.h); the picture held until then stays.
  void LoadBackgroundPicture(const std::string& strPath);
  bool IsPictureLoading() const;

 protected:
  void OnTitleTimer(unsigned nIDEvent) override;
  void OnPracticeRecordSetAside(const std::string& strSetAsidePath) override;
  void OnPracticeRecordFailed() override;
  void closeEvent(QCloseEvent* pEvent) override;
  void changeEvent(QEvent* pEvent) override;
  void dragEnterEvent(QDragEnterEvent* pEvent) override;
  void dragMoveEvent(QDragMoveEvent* pEvent) override;
  void dropEvent(QDropEvent* pEvent) override;

 private:
  void OnCreate();
  void CreateMenus();
  void CreateToolBar();
  void AddRubyMenu(QMenu* pMenu);
  void CreatePracticeCommands(QMenu* pRead);
  void CreateTempleCommands(QMenu* pRead);
  // A menu (or submenu) whose title RetranslateUi sets.
  QMenu* AddMenu(QMenu* pParent, const char* pszTitle);
  QAction* AddCommand(int nID);
  void ApplyNormalSize();
  void LiftSizeLimits();
  void StopEverything();
  // The local file a drop carries, when the picture command would take one.
  QString DroppedPicturePath(const QMimeData* pData) const;
  void UpdatePracticeCommands();
  void CloseRecorder();
  // The screen kept on while reciting and the desktop's media controls.
  void StartDesktopSession();
  // A picture read in the background is ready: it replaces the one held.
  void TakeLoadedPicture(CPictureHolder& loaded);

  // ISutraViewHost
  int GetReadingState() const override { return m_nState; }
  int GetCurrentPhrase() const override { return m_nPhrase; }
  const CPackedDib& GetPicture() const override { return m_hPicture; }
  const CPalette* GetPalette() const override { return m_pPalette.get(); }
  int GetReadingAid() const override { return m_nRuby; }
  std::string GetCountText() const override { return CountText(); }
  // IFrameWindow
  bool IsZoomed() override;
  void ShowMaximized() override;
  bool ShowNormal() override;
  // IWaveMessageSink
  void ShowMessage(const std::string& text) override;

  CQtPictureDecoder m_pictureDecoder;
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
  std::vector<std::pair<QMenu*, const char*>> m_menus;  // with their untranslated titles
  int m_nTracedState = -1;
  int m_nCursorState = -1;  // the state the view's cursor was last set for
  bool m_bShutDownDone = false;
  CRecordWnd* m_pRecorder = nullptr;
  CPracticeRecordWnd* m_pPracticeWnd = nullptr;
  std::function<int(QWidget*, int)> m_askCount;
  QString m_strTitle;  // the window title set last

  QToolBar m_wndToolBar;
  CSutraView m_wndView;
  CTitleWnd m_wndTitle;
  // After the view: a picture it delivers may repaint it.
  std::unique_ptr<CPictureLoader> m_pPictureLoader;
  std::unique_ptr<CDesktopSession> m_pDesktop;  // screen kept on while reciting, MPRIS
};

}  // namespace solvari::app

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
#include <QStringList>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/language.h"
#include "app/qt_picture_decoder.h"
#include "app/sutra_view.h"
#include "app/title_wnd.h"
#include "audio/stretch_ahead.h"
#include "audio/wave_buffer.h"
#include "core/profile_store.h"
#include "core/reading_sequencer.h"
#include "render/picture_holder.h"
#include "render/sutra_view.h"

class QMimeData;

namespace solvari::app {

class CQtTimerService;
class ITitleSound;
class CRecordWnd;
class CWaveNotifyRelay;

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
  // The language in effect; without one the frame keeps its own, which
  // changes only when a language is chosen in its menu.
  CLanguage* pLanguage = nullptr;
};

namespace detail {
// Holds the frame's timer service and the poster of the sound devices'
// events; a base so that they exist before the sequencer and the devices
// are given them.
class CFrameTimers {
 protected:
  explicit CFrameTimers(ITimerService* pTimers);
  ~CFrameTimers();
  std::unique_ptr<CQtTimerService> m_pOwnTimers;
  ITimerService* m_pTimers;
  std::unique_ptr<IEventPoster> m_pPoster;
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
  // Chooses the reading shown beside the characters (a ReadingAid).
  void OnSelectRuby(int nAid);
  void OnRecordVoice();
  void OnToggleOwnVoice();
  void OnAppAbout();
  void OnHelpFinder();
  void OnContextHelp();
  // strChoice: "ja", "en", or "" for the system's language; stored at once.
  void OnLanguage(const QString& strChoice);
  // Practice commands (the sequencer's, with the command states after them).
  void OnReadStartAt(int nPhrase);  // a click on a phrase of the overview
  void OnReadStartStop();           // Space: Start in Idle, Stop while reading
  void OnReadNext();
  void OnReadPrevious();
  void OnReadHome();
  void OnToggleRepeatPhrase();
  void OnSetTempo(int nTempoPercent);

  // Runs every command's enable handler.
  void UpdateCommands();
  void OnUpdateReadStart(QAction* pAction);
  void OnUpdateReadStop(QAction* pAction);
  void OnUpdateFilePicture(QAction* pAction);
  void OnUpdateReadMaximize(QAction* pAction);
  void OnUpdateReadRepeat(QAction* pAction);
  void OnUpdateReadRuby(QAction* pAction, int nAid);

  // The "Reading" / "Ruby" setting: which reading the page shows beside the
  // characters (a ReadingAid, RubyNone unless chosen).
  int m_nRuby = 0;
  void OnUpdateReadStep(QAction* pAction);
  void OnUpdateRepeatPhrase(QAction* pAction);
  void OnUpdateTempo(QAction* pAction, int nTempoPercent);
  void OnUpdateFileRecord(QAction* pAction);
  void OnUpdateFileOwnVoice(QAction* pAction);
  void OnUpdateLanguage();

  // Sets every text of the frame from its translation; runs again whenever
  // the application's language changes.
  void RetranslateUi();
  // The untranslated texts of every command, and the titles of the menus and
  // submenus.
  static const std::vector<CommandText>& CommandTexts();
  static const std::vector<const char*>& MenuTitles();
  // The sound layer's messages, marked for translation in context
  // "CWaveBuffer" (the frame and the recording window show them translated).
  static const std::vector<const char*>& WaveMessages();
  static QString TranslateWaveMessage(const char* pszText);
  // The picture dialog's title, translated.
  static QString PictureDialogTitle();

  // One's own voice: the recording window while it is open, the folder of
  // the takes, whether the recitation plays them ("Reading" / "OwnVoice", on
  // by default once a take is kept), and the pace of the phrase loaded last.
  CRecordWnd* Recorder() const { return m_pRecorder; }
  QString OwnVoiceDir() const { return m_strOwnVoiceDir; }
  bool IsOwnVoiceOn() const { return m_bOwnVoice; }
  bool HasOwnVoice() const;
  double OwnVoicePace(int nPhrase) const;

  QAction* Action(int nID) const;
  QToolBar& ToolBar() { return m_wndToolBar; }
  CSutraView& View() { return m_wndView; }
  CTitleWnd& TitleWnd() { return m_wndTitle; }
  CWaveBuffer& Wave() { return m_wave; }
  CStretchAhead& StretchAhead() { return m_stretch; }
  // The client area below the menu bar, in the frame's coordinates.
  QRect ClientRect() const;
  // The help page beside the executable, named after it: Solvari.html for
  // the Japanese interface, Solvari.en.html for the English one.
  static QString HelpFilePath();
  static QString HelpFilePath(const QString& strLanguage);
  CLanguage& Language() { return *m_pLanguage; }
  // The program's own sound devices, over PulseAudio (or PipeWire's pulse
  // service). nOutputDelayMs as "OutputDelayMs".
  static std::unique_ptr<IWaveOutDevice> MakeOutputDevice(IEventPoster* pPoster,
                                                          int nOutputDelayMs);
  static std::unique_ptr<IWaveInDevice> MakeInputDevice(IEventPoster* pPoster);
  // The picture dialog's filters: .bmp files first, then every other format
  // the picture decoder takes.
  static QStringList PictureFilters();
  // What the picture command does with the file the user chose.
  void SetPictureFile(const QString& strPath);

  // The background picture: a file of up to kPictureReadAtOnceBytes that
  // decodes quickly (CQtPictureDecoder::DecodesQuickly) is loaded at once
  // (LoadPicture); a larger one, a photo, or a small one that unpacks to
  // many pixels is read and decoded on a thread of its own, so that the
  // window never waits for it, and taken when it is ready; the picture held
  // until then stays. A later load wins over one still under way. A file
  // that does not open keeps the picture.
  void LoadBackgroundPicture(const std::string& strPath);
  bool IsPictureLoading() const { return !m_pictureLoads.empty(); }
  static constexpr std::uintmax_t kPictureReadAtOnceBytes = 64 * 1024;

 protected:
  void OnTitleTimer(unsigned nIDEvent) override;
  void OnDefaultTimer(unsigned nIDEvent) override;
  // The table's durations, stretched to the pace of one's own take.
  int CharDurationMs(int nPhrase, int nChar) const override;
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
  // A menu (or submenu) whose title RetranslateUi sets.
  QMenu* AddMenu(QMenu* pParent, const char* pszTitle);
  QAction* AddCommand(int nID);
  void ApplyNormalSize();
  void LiftSizeLimits();
  void StopEverything();
  // The local file a drop carries, when the picture command would take one.
  QString DroppedPicturePath(const QMimeData* pData) const;
  void CreatePracticeCommands(QMenu* pRead);
  void UpdatePracticeCommands();
  // Asks for the stretches the next phrases will need at the tempo set now.
  void PrepareAhead();
  // When the first phrase of a reading is about to load and its stretch is
  // still being made: TIMER_START is armed again shortly (for a while at
  // most) instead of waiting for it on this thread. True when it did so.
  bool PostponeStartForStretch();
  // Replaces the voice just loaded from path by its stretch to the phrase's
  // tempo; false when that fails.
  bool ApplyTempo(const std::string& path);
  void ReadOwnVoiceSetting();
  // One's own take of a phrase when it is wanted and there ("" otherwise).
  std::string OwnVoiceFile(int nPhrase) const;
  // The file a phrase's voice is read from: one's own take when it is
  // wanted and there, else the shipped one. Stretches are made ahead from it.
  std::string VoiceFileOf(int nPhrase) const;
  // Loads a voice file (from what was read ahead, when it is that file).
  bool LoadVoiceFile(const std::string& path);
  void CloseRecorder();

  struct LoadedPicture;
  void TakeLoadedPicture(int nLoad, const std::shared_ptr<LoadedPicture>& pLoaded);
  // ISutraViewHost
  int GetReadingState() const override { return m_nState; }
  int GetCurrentPhrase() const override { return m_nPhrase; }
  const CPackedDib& GetPicture() const override { return m_hPicture; }
  const CPalette* GetPalette() const override { return m_pPalette.get(); }
  int GetReadingAid() const override { return m_nRuby; }
  // IVoiceOutput
  bool LoadVoiceSegment(const std::string& path) override;
  int OpenOutput() override;
  int PlayAll() override;
  void ResetOutput() override;
  void CloseOutput() override;
  bool GetHeardMs(std::int64_t* pMs) override;
  void WantHeardAt(std::int64_t nMs) override;
  // Reads the voice that will most likely follow the one just queued and
  // hands it to the device ahead, so that it follows without a seam.
  void PrefetchNextVoice();
  // At another tempo the next voice is stretched on the worker: it is handed
  // ahead once its stretch is made (looked for every few milliseconds).
  void PrefetchStretchedWhenReady();
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

  CQtPictureDecoder m_pictureDecoder;
  std::map<int, std::thread> m_pictureLoads;  // loads under way, by number
  int m_nPictureLoad = 0;                     // the number of the latest load
  IProfileStore* m_pProfile;
  int m_nOutputDelayMs = 0;  // "WAV Config" / "OutputDelayMs", read at start
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
  int m_nStartPostponed = 0;
  bool m_bShutDownDone = false;
  bool m_bPlayedInHandler = false;         // a voice was queued in this buffer-done handler
  std::string m_strPrefetched;             // the voice file handed to the device ahead
  std::vector<std::uint8_t> m_prefetched;  // its sound bytes
  QTimer m_stretchPoll;
  int m_nStretchWanted = -1;  // the phrase whose stretch waits to be handed ahead
  int m_nStretchPolls = 0;    // looks for it before it was asked for
  QString m_strOwnVoiceDir;
  bool m_bOwnVoice = false;
  double m_dOwnPace[54];
  CRecordWnd* m_pRecorder = nullptr;
  // Before the wave buffer: notifications of the recording window's sounds
  // may still be on their way to it until the buffer's devices go.
  std::unique_ptr<CWaveNotifyRelay> m_pRecordRelay;

  QToolBar m_wndToolBar;
  CSutraView m_wndView;
  CTitleWnd m_wndTitle;
  CWaveBuffer m_wave;
  // Made after the buffer and gone before it: its worker is stopped first.
  CStretchAhead m_stretch;
};

}  // namespace solvari::app

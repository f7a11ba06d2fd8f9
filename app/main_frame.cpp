#include "app/main_frame.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenuBar>
#include <QMimeData>
#include <QStandardPaths>
#include <QWhatsThis>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>

#include "app/about_dlg.h"
#include "app/dib_image.h"
#include "app/qt_event_poster.h"
#include "app/qt_timer_service.h"
#include "app/record_wnd.h"
#include "app/title_sound.h"
#include "app/trace.h"
#include "audio/pulse/pulse_wave_device.h"
#include "audio/pulse/pulse_wave_in_device.h"
#include "audio/voice_segment.h"
#include "audio/voice_take.h"
#include "core/exe_directory.h"
#include "core/sutra_readings.h"
#include "core/sutra_tables.h"
#include "core/tempo.h"
#include "core/voice_segment_path.h"

namespace solvari::app {

namespace {

const char* const kPictureFileName = "Copyright.bmp";
const char* const kTitleSoundName = "Title.WAV";
constexpr unsigned kTitleDelayMs = 200;
constexpr unsigned kTitleShowMs = 6000;

// The picture dialog of the program.
class CQtPictureDialog : public IPictureDialog {
 public:
  Result Run(QWidget* pOwner) override {
    QFileDialog dialog(pOwner, CMainFrame::PictureDialogTitle());
    dialog.setNameFilters(CMainFrame::PictureFilters());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);  // existing files in existing folders
    Result result;
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
      result.bChosen = true;
      result.strPath = QFileInfo(dialog.selectedFiles().front()).absoluteFilePath();
    }
    return result;  // Qt's dialog has no errors of its own: anything else is a cancel
  }
};

class CQtMessageBoxes : public IMessageBoxes {
 public:
  void Show(QWidget* pOwner, const QString& strText, QMessageBox::Icon icon) override {
    QMessageBox box(icon, CMainFrame::tr("Kelvane"), strText, QMessageBox::Ok, pOwner);
    box.exec();
  }
};

// What each language item stands for.
struct LanguageItem {
  int nID;
  const char* pszChoice;
};
constexpr LanguageItem kLanguageItems[] = {
    {ID_LANGUAGE_SYSTEM, ""},
    {ID_LANGUAGE_JAPANESE, kLanguageJapanese},
    {ID_LANGUAGE_ENGLISH, kLanguageEnglish},
};

// The menu titles, for the translation tools and the tests.
const char* const kMenuFile = QT_TRANSLATE_NOOP("CMainFrame", "ﾌｧｲﾙ(&F)");
const char* const kMenuRuby = QT_TRANSLATE_NOOP("CMainFrame", "ふりがな");
const char* const kMenuRead = QT_TRANSLATE_NOOP("CMainFrame", "読経");
const char* const kMenuTempo = QT_TRANSLATE_NOOP("CMainFrame", "速さ");
const char* const kMenuLanguage = QT_TRANSLATE_NOOP("CMainFrame", "言語");
const char* const kMenuHelp = QT_TRANSLATE_NOOP("CMainFrame", "ﾍﾙﾌﾟ(&H)");

}  // namespace

// A new command needs one row here, its place in its menu and its handler;
// the translation tools find its texts here.
const std::vector<CommandText>& CMainFrame::CommandTexts() {
  static const std::vector<CommandText> texts = [] {
    std::vector<CommandText> v = {
        {ID_FILE_PICTURE, QT_TRANSLATE_NOOP("CMainFrame", "画像の設定(&P)"),
         QT_TRANSLATE_NOOP("CMainFrame", "読経するときに表示する画像"), nullptr},
        {ID_READ_RUBY_NONE, QT_TRANSLATE_NOOP("CMainFrame", "なし"),
         QT_TRANSLATE_NOOP("CMainFrame", "読み方を表示しません"), nullptr},
        {ID_READ_RUBY_KANA, QT_TRANSLATE_NOOP("CMainFrame", "かな"),
         QT_TRANSLATE_NOOP("CMainFrame", "文字の読み方をかなで横に表示します"), nullptr},
        {ID_READ_RUBY_ROMAJI, QT_TRANSLATE_NOOP("CMainFrame", "ローマ字"),
         QT_TRANSLATE_NOOP("CMainFrame", "文字の読み方をローマ字で横に表示します"), nullptr},
        {ID_FILE_RECORD, QT_TRANSLATE_NOOP("CMainFrame", "音声の録音..."),
         QT_TRANSLATE_NOOP("CMainFrame", "自分の声や先生の声を句ごとに録音します"), nullptr},
        {ID_FILE_OWN_VOICE, QT_TRANSLATE_NOOP("CMainFrame", "録音した声で読経(&V)"),
         QT_TRANSLATE_NOOP("CMainFrame", "録音した句は録音した声で読経します"), nullptr},
        {ID_APP_EXIT, QT_TRANSLATE_NOOP("CMainFrame", "ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)"), nullptr, nullptr},
        {ID_READ_START, QT_TRANSLATE_NOOP("CMainFrame", "開始(&S)"),
         QT_TRANSLATE_NOOP("CMainFrame", "読経を開始します"),
         QT_TRANSLATE_NOOP("CMainFrame", "読経を開始")},
        {ID_READ_STOP, QT_TRANSLATE_NOOP("CMainFrame", "停止(T)"),
         QT_TRANSLATE_NOOP("CMainFrame", "読経を停止します"),
         QT_TRANSLATE_NOOP("CMainFrame", "読経を停止")},
        {ID_READ_MAXIMIZE, QT_TRANSLATE_NOOP("CMainFrame", "最大化する(&M)"),
         QT_TRANSLATE_NOOP("CMainFrame", "読経のときウィンドーを最大化"),
         QT_TRANSLATE_NOOP("CMainFrame", "読経時に最大化")},
        {ID_READ_REPEAT, QT_TRANSLATE_NOOP("CMainFrame", "繰り返す(&R)"),
         QT_TRANSLATE_NOOP("CMainFrame", "繰り返す"), QT_TRANSLATE_NOOP("CMainFrame", "繰り返す")},
        {ID_READ_NEXT, QT_TRANSLATE_NOOP("CMainFrame", "次の句へ"), nullptr, nullptr},
        {ID_READ_PREVIOUS, QT_TRANSLATE_NOOP("CMainFrame", "前の句へ"), nullptr, nullptr},
        {ID_READ_REPEAT_PHRASE, QT_TRANSLATE_NOOP("CMainFrame", "この句を繰り返す"), nullptr,
         nullptr},
        {ID_READ_HOME, QT_TRANSLATE_NOOP("CMainFrame", "最初の句から"), nullptr, nullptr},
        {ID_READ_START_STOP, QT_TRANSLATE_NOOP("CMainFrame", "開始/停止"), nullptr, nullptr},
        {ID_HELP_FINDER, QT_TRANSLATE_NOOP("CMainFrame", "ﾄﾋﾟｯｸの検索(&H)"), nullptr, nullptr},
        {ID_APP_ABOUT, QT_TRANSLATE_NOOP("CMainFrame", "ﾊﾞｰｼﾞｮﾝ情報(&A)..."), nullptr,
         QT_TRANSLATE_NOOP("CMainFrame", "ﾊﾞｰｼﾞｮﾝ情報")},
        {ID_HELP, QT_TRANSLATE_NOOP("CMainFrame", "ﾍﾙﾌﾟ"), nullptr, nullptr},
        {ID_CONTEXT_HELP, QT_TRANSLATE_NOOP("CMainFrame", "ﾍﾙﾌﾟ"), nullptr, nullptr},
        {ID_DEFAULT_HELP, QT_TRANSLATE_NOOP("CMainFrame", "ﾍﾙﾌﾟ"), nullptr, nullptr},
        {ID_LANGUAGE_SYSTEM, QT_TRANSLATE_NOOP("CMainFrame", "システムの言語を使う"), nullptr,
         nullptr},
        // Each language is named in its own language, in either interface.
        {ID_LANGUAGE_JAPANESE, QT_TRANSLATE_NOOP("CMainFrame", "日本語"), nullptr, nullptr},
        {ID_LANGUAGE_ENGLISH, QT_TRANSLATE_NOOP("CMainFrame", "English"), nullptr, nullptr},
    };
    // 速さ: one item per tempo, "50 %" and so on.
    int nID = ID_READ_TEMPO_50;
    for (int nTempo : kTempoChoices)
      v.push_back({nID++, QT_TRANSLATE_NOOP("CMainFrame", "%1 %"), nullptr, nullptr, nTempo});
    return v;
  }();
  return texts;
}

const std::vector<const char*>& CMainFrame::MenuTitles() {
  static const std::vector<const char*> titles = {kMenuFile,  kMenuRuby,     kMenuRead,
                                                  kMenuTempo, kMenuLanguage, kMenuHelp};
  return titles;
}

const std::vector<const char*>& CMainFrame::WaveMessages() {
  // As CWaveBuffer::ResultText gives them.
  static const std::vector<const char*> messages = {
      QT_TRANSLATE_NOOP("CWaveBuffer", "pecified device handle is invalid."),
      QT_TRANSLATE_NOOP("CWaveBuffer", "No device driver is present."),
      QT_TRANSLATE_NOOP("CWaveBuffer", "Unable to allocate or lock memory."),
  };
  return messages;
}

QString CMainFrame::TranslateWaveMessage(const char* pszText) {
  return QCoreApplication::translate("CWaveBuffer", pszText);
}

QString CMainFrame::PictureDialogTitle() { return tr("画像ファイルの設定"); }

namespace detail {

CFrameTimers::CFrameTimers(ITimerService* pTimers)
    : m_pOwnTimers(pTimers ? nullptr : std::make_unique<CQtTimerService>()),
      m_pTimers(pTimers ? pTimers : m_pOwnTimers.get()),
      m_pPoster(std::make_unique<CQtEventPoster>()) {}

CFrameTimers::~CFrameTimers() = default;

}  // namespace detail

CMainFrame::CMainFrame(FrameServices services)
    : QMainWindow(nullptr),
      detail::CFrameTimers(services.pTimers),
      CReadingSequencer(SequencerPlatform{m_pTimers, this, this, this}, 0),
      m_pProfile(services.pProfile),
      m_nOutputDelayMs(services.pProfile->GetProfileInt("WAV Config", "OutputDelayMs", 0)),
      m_pOwnPictureDialog(services.pPictureDialog ? nullptr : std::make_unique<CQtPictureDialog>()),
      m_pPictureDialog(services.pPictureDialog ? services.pPictureDialog
                                               : m_pOwnPictureDialog.get()),
      m_pOwnMessageBoxes(services.pMessageBoxes ? nullptr : std::make_unique<CQtMessageBoxes>()),
      m_pMessageBoxes(services.pMessageBoxes ? services.pMessageBoxes : m_pOwnMessageBoxes.get()),
      m_pOwnTitleSound(services.pTitleSound ? nullptr
                                            : std::make_unique<CTitleSound>(MakeOutputDevice(
                                                  m_pPoster.get(), m_nOutputDelayMs))),
      m_pTitleSound(services.pTitleSound ? services.pTitleSound : m_pOwnTitleSound.get()),
      m_openUrl(services.openUrl ? std::move(services.openUrl)
                                 : [](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      m_pOwnLanguage(services.pLanguage ? nullptr : std::make_unique<CLanguage>()),
      m_pLanguage(services.pLanguage ? services.pLanguage : m_pOwnLanguage.get()),
      m_strOwnVoiceDir(services.strOwnVoiceDir.isEmpty()
                           ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                                 QStringLiteral("/voice")
                           : services.strOwnVoiceDir),
      m_pRecordRelay(std::make_unique<CWaveNotifyRelay>()),
      m_wndView(static_cast<const ISutraViewHost&>(*this)),
      m_wave(services.pWaveOut              ? std::move(services.pWaveOut)
             : services.bDefaultWaveDevices ? MakeOutputDevice(m_pPoster.get(), m_nOutputDelayMs)
                                            : nullptr,
             services.pWaveIn               ? std::move(services.pWaveIn)
             : services.bDefaultWaveDevices ? MakeInputDevice(m_pPoster.get())
                                            : nullptr,
             services.pProfile, this) {
  if (m_pOwnTimers) m_pOwnTimers->SetHandler([this](unsigned nIDEvent) { OnTimer(nIDEvent); });
  SetPictureDecoder(&m_pictureDecoder);
  m_stretchPoll.setSingleShot(true);
  m_stretchPoll.setInterval(10);
  connect(&m_stretchPoll, &QTimer::timeout, this, [this] { PrefetchStretchedWhenReady(); });

  // The settings: the background picture (beside the executable unless one
  // was chosen) and the Maximized toggle. Repeat always starts off.
  const std::string strDefault = GetExeDirectory() + "default.bmp";
  const std::string strPicture = m_pProfile->GetProfileString("Reading", "Picture", strDefault);
  LoadBackgroundPicture(strPicture);
  m_bMaximizeOnReading = m_pProfile->GetProfileInt("Reading", "Maximized", 0);
  m_bRepeat = 0;
  m_nRuby = ToReadingAid(m_pProfile->GetProfileInt("Reading", "Ruby", RubyNone));
  m_nTempo = ValidTempoChoice(m_pProfile->GetProfileInt("Reading", "Tempo", kDefaultTempo));
  for (double& d : m_dOwnPace) d = 1.0;
  ReadOwnVoiceSetting();

  OnCreate();
}

CMainFrame::~CMainFrame() {
  StopEverything();
  // A picture still being read is waited for; what it posts goes with the frame.
  for (auto& [nLoad, thread] : m_pictureLoads) thread.join();
  m_pictureLoads.clear();
  // The children that are members leave the window before they go.
  takeCentralWidget();
  removeToolBar(&m_wndToolBar);
  m_wndTitle.setParent(nullptr);
}

// Stops the voice and every timer, so that nothing reaches the frame any
// more: the device is reset and closed before the buffer can be released.
void CMainFrame::StopEverything() {
  if (m_bShutDownDone) return;
  m_bShutDownDone = true;
  CloseRecorder();
  Shutdown();
  m_stretch.Clear();  // a stretch under way is given up
  m_pTimers->KillTimer(TIMER_TITLE);
  m_pTimers->KillTimer(TIMER_TITLE_END);
  m_wave.ResetOutput();
  m_wave.CloseOutput();
}

void CMainFrame::OnCreate() {
  CreateMenus();
  setCentralWidget(&m_wndView);
  CreateToolBar();
  m_wndTitle.Create(
      this, [this] { return ClientRect(); }, m_pTitleSound);
  setFocusProxy(&m_wndView);
  setAcceptDrops(true);
  RetranslateUi();
  ApplyNormalSize();
  UpdateCommands();
  m_pTimers->SetTimer(TIMER_TITLE, kTitleDelayMs);
}

QAction* CMainFrame::AddCommand(int nID) {
  auto* pAction = new QAction(this);
  m_actions[nID] = pAction;
  addAction(pAction);  // shortcuts work wherever the focus is in the window
  return pAction;
}

QMenu* CMainFrame::AddMenu(QMenu* pParent, const char* pszTitle) {
  QMenu* pMenu = pParent ? pParent->addMenu(QString()) : menuBar()->addMenu(QString());
  m_menus.emplace_back(pMenu, pszTitle);
  return pMenu;
}

QAction* CMainFrame::Action(int nID) const {
  auto it = m_actions.find(nID);
  return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::CreateMenus() {
  for (const CommandText& command : CommandTexts()) AddCommand(command.nID);
  QAction* pPicture = Action(ID_FILE_PICTURE);
  QAction* pRecord = Action(ID_FILE_RECORD);
  QAction* pOwnVoice = Action(ID_FILE_OWN_VOICE);
  pOwnVoice->setCheckable(true);
  QAction* pExit = Action(ID_APP_EXIT);
  QAction* pStart = Action(ID_READ_START);
  QAction* pStop = Action(ID_READ_STOP);
  QAction* pMaximize = Action(ID_READ_MAXIMIZE);
  QAction* pRepeat = Action(ID_READ_REPEAT);
  QAction* pFinder = Action(ID_HELP_FINDER);
  QAction* pAbout = Action(ID_APP_ABOUT);
  QAction* pHelp = Action(ID_HELP);
  QAction* pContextHelp = Action(ID_CONTEXT_HELP);
  QAction* pDefaultHelp = Action(ID_DEFAULT_HELP);
  pMaximize->setCheckable(true);
  pRepeat->setCheckable(true);
  pHelp->setShortcut(QKeySequence(Qt::Key_F1));
  pContextHelp->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1));

  QMenu* pFile = AddMenu(nullptr, kMenuFile);
  pFile->addAction(pPicture);
  AddRubyMenu(pFile);
  pFile->addSeparator();
  pFile->addAction(pRecord);
  pFile->addAction(pOwnVoice);
  pFile->addSeparator();
  pFile->addAction(pExit);
  QMenu* pRead = AddMenu(nullptr, kMenuRead);
  pRead->addAction(pStart);
  pRead->addAction(pStop);
  pRead->addSeparator();
  pRead->addAction(pMaximize);
  pRead->addSeparator();
  pRead->addAction(pRepeat);
  // The language menu: the system's language, then each language by name.
  QMenu* pLanguage = AddMenu(nullptr, kMenuLanguage);
  auto* pLanguages = new QActionGroup(this);
  for (const LanguageItem& item : kLanguageItems) {
    QAction* pAction = Action(item.nID);
    pAction->setCheckable(true);
    pLanguages->addAction(pAction);
    pLanguage->addAction(pAction);
    if (item.nID == ID_LANGUAGE_SYSTEM) pLanguage->addSeparator();
    const QString strChoice = QString::fromLatin1(item.pszChoice);
    connect(pAction, &QAction::triggered, this, [this, strChoice] { OnLanguage(strChoice); });
  }
  QMenu* pHelpMenu = AddMenu(nullptr, kMenuHelp);
  pHelpMenu->addAction(pFinder);
  pHelpMenu->addSeparator();
  pHelpMenu->addAction(pAbout);

  connect(pPicture, &QAction::triggered, this, [this] { OnPictureSettings(); });
  connect(pRecord, &QAction::triggered, this, [this] { OnRecordVoice(); });
  connect(pOwnVoice, &QAction::triggered, this, [this] { OnToggleOwnVoice(); });
  connect(pExit, &QAction::triggered, this, [this] { close(); });
  connect(pStart, &QAction::triggered, this, [this] { OnReadStart(); });
  connect(pStop, &QAction::triggered, this, [this] { OnReadStop(); });
  connect(pMaximize, &QAction::triggered, this, [this] { OnToggleMaximize(); });
  connect(pRepeat, &QAction::triggered, this, [this] { OnToggleRepeat(); });
  connect(pFinder, &QAction::triggered, this, [this] { OnHelpFinder(); });
  connect(pDefaultHelp, &QAction::triggered, this, [this] { OnHelpFinder(); });
  connect(pHelp, &QAction::triggered, this, [this] { OnHelpFinder(); });
  connect(pContextHelp, &QAction::triggered, this, [this] { OnContextHelp(); });
  connect(pAbout, &QAction::triggered, this, [this] { OnAppAbout(); });

  CreatePracticeCommands(pRead);
}

void CMainFrame::RetranslateUi() {
  setWindowTitle(tr("Kelvane"));
  for (const CommandText& command : CommandTexts()) {
    QAction* pAction = Action(command.nID);
    QString strText = tr(command.pszText);
    if (command.nArg != 0) strText = strText.arg(command.nArg);
    pAction->setText(strText);
    const QString strStatus = command.pszStatus ? tr(command.pszStatus) : QString();
    pAction->setStatusTip(strStatus);
    pAction->setWhatsThis(strStatus);
    // Without a tool tip of its own an action shows its text.
    pAction->setToolTip(command.pszToolTip ? tr(command.pszToolTip) : QString());
  }
  for (const auto& [pMenu, pszTitle] : m_menus) pMenu->setTitle(tr(pszTitle));
  m_wndToolBar.setWindowTitle(tr("ﾂｰﾙﾊﾞｰ"));
}

// The practice commands, at the end of 読経: stepping, repeating one
// phrase, the tempo; and the keys without a menu item (Space, Home).
void CMainFrame::CreatePracticeCommands(QMenu* pRead) {
  QAction* pNext = Action(ID_READ_NEXT);
  QAction* pPrevious = Action(ID_READ_PREVIOUS);
  QAction* pRepeatPhrase = Action(ID_READ_REPEAT_PHRASE);
  QAction* pHome = Action(ID_READ_HOME);
  QAction* pStartStop = Action(ID_READ_START_STOP);
  pNext->setShortcuts({QKeySequence(Qt::Key_Right), QKeySequence(Qt::Key_PageDown)});
  pPrevious->setShortcuts({QKeySequence(Qt::Key_Left), QKeySequence(Qt::Key_PageUp)});
  pHome->setShortcut(QKeySequence(Qt::Key_Home));
  pStartStop->setShortcut(QKeySequence(Qt::Key_Space));
  pRepeatPhrase->setCheckable(true);

  pRead->addSeparator();
  pRead->addAction(pNext);
  pRead->addAction(pPrevious);
  pRead->addAction(pRepeatPhrase);
  QMenu* pTempo = AddMenu(pRead, kMenuTempo);
  auto* pTempoGroup = new QActionGroup(this);
  pTempoGroup->setExclusive(true);
  int nID = ID_READ_TEMPO_50;
  for (int nTempo : kTempoChoices) {
    QAction* pAction = Action(nID++);
    pAction->setCheckable(true);
    pTempoGroup->addAction(pAction);
    pTempo->addAction(pAction);
    connect(pAction, &QAction::triggered, this, [this, nTempo] { OnSetTempo(nTempo); });
  }

  connect(pNext, &QAction::triggered, this, [this] { OnReadNext(); });
  connect(pPrevious, &QAction::triggered, this, [this] { OnReadPrevious(); });
  connect(pHome, &QAction::triggered, this, [this] { OnReadHome(); });
  connect(pStartStop, &QAction::triggered, this, [this] { OnReadStartStop(); });
  connect(pRepeatPhrase, &QAction::triggered, this, [this] { OnToggleRepeatPhrase(); });
  m_wndView.SetPhraseClickHandler([this](int nPhrase) { OnReadStartAt(nPhrase); });
}

// ふりがな: three radio choices, the reading beside each character of the
// reading page.
void CMainFrame::AddRubyMenu(QMenu* pMenu) {
  QMenu* pRuby = AddMenu(pMenu, kMenuRuby);
  auto* pGroup = new QActionGroup(this);
  pGroup->setExclusive(true);
  const struct {
    int nID;
    int nAid;
  } choices[] = {
      {ID_READ_RUBY_NONE, RubyNone},
      {ID_READ_RUBY_KANA, RubyKana},
      {ID_READ_RUBY_ROMAJI, RubyRomaji},
  };
  for (const auto& c : choices) {
    QAction* pAction = Action(c.nID);
    pAction->setCheckable(true);
    pGroup->addAction(pAction);
    pRuby->addAction(pAction);
    connect(pAction, &QAction::triggered, this, [this, nAid = c.nAid] { OnSelectRuby(nAid); });
  }
}

void CMainFrame::CreateToolBar() {
  m_wndToolBar.setObjectName(QStringLiteral("ToolBar"));
  m_wndToolBar.setIconSize(QSize(16, 15));
  m_wndToolBar.setToolButtonStyle(Qt::ToolButtonIconOnly);
  // The gripper shows; the bar stays docked at the top.
  m_wndToolBar.setMovable(true);
  m_wndToolBar.setFloatable(false);
  m_wndToolBar.setAllowedAreas(Qt::TopToolBarArea);
  m_wndToolBar.setFixedHeight(kToolBarHeight);

  // Bitmap 128 holds the five button images side by side, 16 x 15 each; its
  // light grey is the button face and shows through. On a screen of twice
  // the density the icons take theirs from the same row drawn at twice the
  // size (32 x 30 each).
  auto buttonStrip = [](int nId) {
    QImage strip = LoadBitmapImage(nId).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < strip.height(); ++y) {
      auto* pRow = reinterpret_cast<QRgb*>(strip.scanLine(y));
      for (int x = 0; x < strip.width(); ++x)
        if ((pRow[x] & 0xFFFFFF) == 0xC0C0C0) pRow[x] = 0;
    }
    return strip;
  };
  const QImage strip = buttonStrip(kToolBarBitmapId);
  const QImage strip2 = buttonStrip(BitmapIdAtScale(kToolBarBitmapId, 2));
  const int buttons[] = {ID_READ_START, ID_READ_STOP, ID_READ_MAXIMIZE, ID_READ_REPEAT,
                         ID_APP_ABOUT};
  int nImage = 0;
  for (int nID : buttons) {
    if (nID == ID_READ_MAXIMIZE || nID == ID_APP_ABOUT) m_wndToolBar.addSeparator();
    QAction* pAction = Action(nID);
    if (!strip.isNull() && strip.width() >= 16 * (nImage + 1)) {
      QIcon icon(QPixmap::fromImage(strip.copy(16 * nImage, 0, 16, 15)));
      if (strip2.width() >= 32 * (nImage + 1) && strip2.height() >= 30) {
        QPixmap twice = QPixmap::fromImage(strip2.copy(32 * nImage, 0, 32, 30));
        twice.setDevicePixelRatio(2.0);
        icon.addPixmap(twice);
      }
      pAction->setIcon(icon);
    }
    ++nImage;
    m_wndToolBar.addAction(pAction);
  }
  addToolBar(Qt::TopToolBarArea, &m_wndToolBar);
}

QRect CMainFrame::ClientRect() const {
  const int nTop = menuBar()->isVisible() || !isVisible() ? menuBar()->geometry().bottom() + 1 : 0;
  return QRect(0, nTop, width(), height() - nTop);
}

// The client area below the menu bar is 727 x 457 and cannot be resized by
// dragging; maximizing lifts the limits for as long as it lasts.
void CMainFrame::ApplyNormalSize() {
  const int nMenu = menuBar()->sizeHint().height();
  setFixedSize(kClientWidth, nMenu + kClientHeight);
}

void CMainFrame::LiftSizeLimits() {
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

void CMainFrame::changeEvent(QEvent* pEvent) {
  QMainWindow::changeEvent(pEvent);
  if (pEvent->type() == QEvent::LanguageChange) RetranslateUi();
  if (pEvent->type() != QEvent::WindowStateChange) return;
  if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
    LiftSizeLimits();
  else if (!(windowState() & Qt::WindowMinimized))
    ApplyNormalSize();
}

void CMainFrame::closeEvent(QCloseEvent* pEvent) {
  StopEverything();
  QMainWindow::closeEvent(pEvent);
}

// --- timers and the voice -------------------------------------------------

void CMainFrame::OnTimer(unsigned nIDEvent) {
  if (nIDEvent == TIMER_START && PostponeStartForStretch()) return;
  CReadingSequencer::OnTimer(nIDEvent);
  if (nIDEvent == TIMER_START) PrepareAhead();  // while the first phrase plays
  UpdateCommands();
}

void CMainFrame::OnTitleTimer(unsigned nIDEvent) {
  if (nIDEvent == TIMER_TITLE) {
    m_pTimers->KillTimer(TIMER_TITLE);
    // Six seconds from when the title is seen (with its sound heard), or
    // from now when there is no picture, whatever the title achieved.
    m_wndTitle.ShowTitle(kPictureFileName, kTitleSoundName,
                         [this] { m_pTimers->SetTimer(TIMER_TITLE_END, kTitleShowMs); });
  } else if (nIDEvent == TIMER_TITLE_END) {
    m_pTimers->KillTimer(TIMER_TITLE_END);
    m_wndTitle.hide();
    m_nState = Idle;
  }
}

void CMainFrame::OnDefaultTimer(unsigned) {}

void CMainFrame::OnWomDone() {
  m_bPlayedInHandler = false;
  CReadingSequencer::OnWomDone();
  // The reading ended or turned elsewhere: the voice read ahead is not heard.
  if (!m_bPlayedInHandler) {
    m_wave.DropOutputPrefetch();
    m_strPrefetched.clear();
    m_prefetched.clear();
    m_nStretchWanted = -1;
    m_stretchPoll.stop();
  }
  PrepareAhead();  // while the phrase that has just begun plays
  UpdateCommands();
}

void CMainFrame::OnReadStart() {
  if (m_nState != Idle || m_pRecorder) return;  // enabled only in Idle
  m_nFirstPhrase = 0;  // Start reads the whole text; a click picks a phrase
  CReadingSequencer::OnReadStart();
  PrepareAhead();
  UpdateCommands();
}

void CMainFrame::OnReadStop() {
  if (m_nState != Reading) return;  // enabled only in Reading
  CReadingSequencer::OnReadStop();
  UpdateCommands();
}

std::unique_ptr<IWaveOutDevice> CMainFrame::MakeOutputDevice(IEventPoster* pPoster,
                                                             int nOutputDelayMs) {
  return std::make_unique<CPulseWaveOutDevice>(pPoster, nOutputDelayMs);
}

std::unique_ptr<IWaveInDevice> CMainFrame::MakeInputDevice(IEventPoster* pPoster) {
  return std::make_unique<CPulseWaveInDevice>(pPoster);
}

// The voice of a phrase: one's own take when there is one and it is wanted,
// else the shipped file. The highlight follows the pace of what was loaded.
bool CMainFrame::LoadVoiceSegment(const std::string& path) {
  const int p = m_nPhrase;
  const bool bPhrase = p >= 0 && p <= kLastPhrase && path == GetVoiceSegmentPath(p);
  if (bPhrase) m_dOwnPace[p] = 1.0;
  std::string loaded = path;
  bool bLoaded = false;
  if (bPhrase && m_bOwnVoice) {
    const std::string own = OwnVoiceFile(p);
    if (!own.empty() && LoadVoiceFile(own)) {
      m_dOwnPace[p] = TakePaceFactor(m_wave.GetDataSize() / 2, GetPhraseDuration(p));
      CTrace::Event("own-voice", {p, static_cast<int>(std::lround(m_dOwnPace[p] * 1000))});
      loaded = own;
      bLoaded = true;
    }
  }
  if (!bLoaded && !LoadVoiceFile(path)) return false;
  // As recorded at 100 %: the file's own samples are played. Otherwise the
  // stretch made ahead from the same file is taken.
  return m_nPhraseTempo == 100 || ApplyTempo(loaded);
}

std::string CMainFrame::OwnVoiceFile(int nPhrase) const {
  if (!m_bOwnVoice || nPhrase < 0 || nPhrase > kLastPhrase) return {};
  const QString strOwn =
      m_strOwnVoiceDir + QLatin1Char('/') + QString::fromStdString(OwnVoiceFileName(nPhrase));
  return QFileInfo::exists(strOwn) ? strOwn.toStdString() : std::string();
}

std::string CMainFrame::VoiceFileOf(int nPhrase) const {
  std::string own = OwnVoiceFile(nPhrase);
  return own.empty() ? GetVoiceSegmentPath(nPhrase) : own;
}

bool CMainFrame::LoadVoiceFile(const std::string& path) {
  // The voice read ahead is the file's sound as it was read a phrase ago.
  if (!m_strPrefetched.empty() && path == m_strPrefetched) {
    const std::vector<std::uint8_t> pcm = std::move(m_prefetched);
    m_strPrefetched.clear();
    m_prefetched.clear();
    return LoadVoiceSegmentBytes(m_wave, pcm.data(), static_cast<std::uint32_t>(pcm.size())) != 0;
  }
  m_strPrefetched.clear();
  m_prefetched.clear();
  return solvari::LoadVoiceSegment(m_wave, path) != 0;
}

bool CMainFrame::ApplyTempo(const std::string& path) {
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::uint8_t> stretched;
  const std::uint8_t* pLoaded = m_wave.LockData();
  const CStretchAhead::Source source =
      m_stretch.Take(path, m_nPhraseTempo, pLoaded, m_wave.m_dwDataSize, stretched);
  m_wave.UnlockData();
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  CTrace::Event("stretch",
                {m_nPhrase, m_nPhraseTempo, static_cast<long>(source), static_cast<long>(us)});
  if (source == CStretchAhead::Source::Failed || stretched.size() > 0x7FFFFFFF) return false;
  // The format stays the voice's; only the samples change.
  const auto nBytes = static_cast<std::uint32_t>(stretched.size());
  if (m_wave.AllocData(nBytes) == nullptr && nBytes != 0) return false;
  if (std::uint8_t* p = m_wave.LockData()) {
    std::copy(stretched.begin(), stretched.end(), p);
    m_wave.UnlockData();
  }
  m_wave.m_dwDataSize = nBytes;
  return true;
}

void CMainFrame::PrefetchNextVoice() {
  m_strPrefetched.clear();
  m_prefetched.clear();
  m_nStretchWanted = -1;
  m_stretchPoll.stop();
  const int nNext = PhraseFollowingAtOnce();
  if (nNext < 0) return;
  if (m_nTempo != kDefaultTempo) {
    m_nStretchWanted = nNext;
    m_nStretchPolls = 0;
    PrefetchStretchedWhenReady();
    return;
  }
  const std::string path = VoiceFileOf(nNext);
  std::vector<std::uint8_t> pcm;
  if (!ReadVoiceSegmentFile(path, &pcm)) return;
  if (!m_wave.PrefetchOutput(pcm.data(), static_cast<std::uint32_t>(pcm.size()))) return;
  m_strPrefetched = path;
  m_prefetched = std::move(pcm);
}

void CMainFrame::PrefetchStretchedWhenReady() {
  const int nNext = m_nStretchWanted;
  // The reading went elsewhere, or the tempo changed, since it was asked for.
  if (nNext < 0 || nNext != PhraseFollowingAtOnce() || m_nTempo == kDefaultTempo) {
    m_nStretchWanted = -1;
    return;
  }
  const std::string path = VoiceFileOf(nNext);
  if (!m_stretch.IsReady(path, m_nTempo)) {
    // Asked for right after this phrase began, made within seconds; one that
    // failed is not looked for again.
    const bool bPending = m_stretch.IsPending(path, m_nTempo);
    if (bPending || m_nStretchPolls++ < 2) m_stretchPoll.start();
    return;
  }
  m_nStretchWanted = -1;
  std::vector<std::uint8_t> pcm;
  std::vector<std::uint8_t> stretched;
  if (!ReadVoiceSegmentFile(path, &pcm)) return;
  if (m_stretch.Take(path, m_nTempo, pcm.data(), pcm.size(), stretched) !=
          CStretchAhead::Source::Ready ||
      stretched.size() > 0x7FFFFFFF)
    return;
  if (!m_wave.PrefetchOutput(stretched.data(), static_cast<std::uint32_t>(stretched.size())))
    return;
  // The phrase's load finds these bytes and stretches them again from the
  // entry at hand: the same samples, which the device takes up where they are.
  m_strPrefetched = path;
  m_prefetched = std::move(pcm);
}

bool CMainFrame::GetHeardMs(std::int64_t* pMs) {
  WaveClock clock;
  if (!m_wave.GetOutputClock(&clock)) return false;
  const std::int64_t d = clock.nHeardUs - clock.nBufferStartUs;
  *pMs = d >= 0 ? d / 1000 : -((-d + 999) / 1000);
  return true;
}

void CMainFrame::WantHeardAt(std::int64_t nMs) { m_wave.WantOutputClockAt(nMs * 1000); }

int CMainFrame::CharDurationMs(int nPhrase, int nChar) const {
  const int nMs = CReadingSequencer::CharDurationMs(nPhrase, nChar);
  const double dPace = OwnVoicePace(nPhrase);
  return dPace == 1.0 ? nMs : std::max(1, static_cast<int>(std::lround(nMs * dPace)));
}

double CMainFrame::OwnVoicePace(int nPhrase) const {
  return nPhrase >= 0 && nPhrase <= kLastPhrase ? m_dOwnPace[nPhrase] : 1.0;
}

bool CMainFrame::HasOwnVoice() const {
  for (int p = 0; p <= kLastPhrase; ++p) {
    if (QFileInfo::exists(m_strOwnVoiceDir + QLatin1Char('/') +
                          QString::fromStdString(OwnVoiceFileName(p))))
      return true;
  }
  return false;
}

void CMainFrame::ReadOwnVoiceSetting() {
  m_bOwnVoice = m_pProfile->GetProfileInt("Reading", "OwnVoice", HasOwnVoice() ? 1 : 0) == 1;
}

int CMainFrame::OpenOutput() {
  return m_wave.OpenOutput(this, kVoiceSamplesPerSec, kVoiceBitsPerSample, kVoiceChannels);
}

int CMainFrame::PlayAll() {
  const int nResult = m_wave.PlayAll();
  m_bPlayedInHandler = true;
  if (nResult == 1) {
    CTrace::Event("phrase", {m_nPhrase, CTrace::ResidentKiB()});
    PrefetchNextVoice();
  }
  return nResult;
}

void CMainFrame::ResetOutput() { m_wave.ResetOutput(); }

void CMainFrame::CloseOutput() { m_wave.CloseOutput(); }

bool CMainFrame::IsZoomed() { return isMaximized(); }

void CMainFrame::ShowMaximized() {
  LiftSizeLimits();
  showMaximized();
  // Where the window system does not resize the frame (no window manager)
  // the view still has to show the reading page.
  m_wndView.InvalidateView();
}

bool CMainFrame::ShowNormal() {
  if (!isMaximized()) return false;
  showNormal();
  ApplyNormalSize();
  m_wndView.InvalidateView();
  return true;
}

void CMainFrame::ShowMessage(const std::string& text) {
  m_pMessageBoxes->Show(this, TranslateWaveMessage(text.c_str()), QMessageBox::Warning);
}

// --- settings commands ----------------------------------------------------

QStringList CMainFrame::PictureFilters() {
  return {tr("画像ﾌｧｲﾙ (*.bmp)"), tr("写真・画像ﾌｧｲﾙ (%1)").arg(CQtPictureDecoder::FilePatterns())};
}

void CMainFrame::SetPictureFile(const QString& strFile) {
  const std::string strPath = strFile.toStdString();
  m_pProfile->WriteProfileString("Reading", "Picture", strPath);
  LoadBackgroundPicture(strPath);
}

struct CMainFrame::LoadedPicture {
  bool bOpened = false;
  CPictureHolder holder;
};

void CMainFrame::LoadBackgroundPicture(const std::string& strPath) {
  const int nLoad = ++m_nPictureLoad;  // any load still under way is outdated now
  std::error_code error;
  const std::uintmax_t nBytes = std::filesystem::file_size(strPath, error);
  if (error || (nBytes <= kPictureReadAtOnceBytes &&
                CQtPictureDecoder::DecodesQuickly(QString::fromStdString(strPath)))) {
    LoadPicture(strPath);
    return;
  }
  auto pLoaded = std::make_shared<LoadedPicture>();
  try {
    m_pictureLoads[nLoad] = std::thread([this, nLoad, strPath, pLoaded] {
      CQtPictureDecoder decoder;  // one of its own: the frame's stays on this thread
      pLoaded->holder.SetPictureDecoder(&decoder);
      pLoaded->bOpened = pLoaded->holder.LoadPicture(strPath) || [&] {
        CDiskFile probe;
        return probe.Open(strPath);
      }();
      pLoaded->holder.SetPictureDecoder(nullptr);
      QMetaObject::invokeMethod(
          this, [this, nLoad, pLoaded] { TakeLoadedPicture(nLoad, pLoaded); },
          Qt::QueuedConnection);
    });
  } catch (const std::system_error&) {
    m_pictureLoads.erase(nLoad);
    LoadPicture(strPath);  // no thread to be had: at once after all
  }
}

void CMainFrame::TakeLoadedPicture(int nLoad, const std::shared_ptr<LoadedPicture>& pLoaded) {
  const auto it = m_pictureLoads.find(nLoad);
  if (it != m_pictureLoads.end()) {
    it->second.join();  // it has posted its result: done, or about to end
    m_pictureLoads.erase(it);
  }
  if (nLoad != m_nPictureLoad || !pLoaded->bOpened) return;
  m_hPicture = std::move(pLoaded->holder.m_hPicture);
  m_pPalette = std::move(pLoaded->holder.m_pPalette);
  m_nPictureWidth = pLoaded->holder.m_nPictureWidth;
  m_nPictureHeight = pLoaded->holder.m_nPictureHeight;
  // A page on the screen shows it at once.
  if (m_nState == Starting || m_nState == Reading) m_wndView.InvalidateView();
}

void CMainFrame::OnPictureSettings() {
  if (m_nState != Idle) return;
  const IPictureDialog::Result result = m_pPictureDialog->Run(this);
  if (result.bChosen) {
    SetPictureFile(result.strPath);
  } else if (result.nError != 0) {
    m_pMessageBoxes->Show(this,
                          tr("ファイル名の読み込みでエラー #%1 が発生しました")
                              .arg(static_cast<qlonglong>(result.nError)),
                          QMessageBox::Critical);
  }
  UpdateCommands();
}

// A file dropped on the window is taken as the picture command takes the
// file chosen in its dialog, and only while that command is available.
QString CMainFrame::DroppedPicturePath(const QMimeData* pData) const {
  if (m_nState != Idle || pData == nullptr || !pData->hasUrls()) return {};
  const QList<QUrl> urls = pData->urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) return {};
  const QFileInfo info(urls.front().toLocalFile());
  if (!info.isFile()) return {};
  return info.absoluteFilePath();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* pEvent) {
  if (!DroppedPicturePath(pEvent->mimeData()).isEmpty()) pEvent->acceptProposedAction();
}

void CMainFrame::dragMoveEvent(QDragMoveEvent* pEvent) {
  if (!DroppedPicturePath(pEvent->mimeData()).isEmpty()) pEvent->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* pEvent) {
  const QString strPath = DroppedPicturePath(pEvent->mimeData());
  if (strPath.isEmpty()) return;
  pEvent->acceptProposedAction();
  SetPictureFile(strPath);
  UpdateCommands();
}

void CMainFrame::OnToggleMaximize() {
  if (m_nState == Idle) {
    m_bMaximizeOnReading = m_bMaximizeOnReading == 0 ? 1 : 0;
    m_pProfile->WriteProfileInt("Reading", "Maximized", m_bMaximizeOnReading);
  }
  UpdateCommands();
}

void CMainFrame::OnToggleRepeat() {
  if (m_nState == Idle) m_bRepeat = m_bRepeat == 0 ? 1 : 0;
  UpdateCommands();
}

void CMainFrame::OnSelectRuby(int nAid) {
  if (m_nState == Idle && ToReadingAid(nAid) == nAid && nAid != m_nRuby) {
    m_nRuby = nAid;
    m_pProfile->WriteProfileInt("Reading", "Ruby", m_nRuby);
  }
  UpdateCommands();
}

void CMainFrame::OnRecordVoice() {
  if (m_nState != Idle || m_pRecorder) return;
  RecorderServices services;
  services.pWave = &m_wave;
  services.pRelay = m_pRecordRelay.get();
  services.pProfile = m_pProfile;
  services.pMessages = m_pMessageBoxes;
  services.strVoiceDir = m_strOwnVoiceDir;
  services.strProgramDir = GetExeDirectory();
  // The reading of the phrase, character by character, from the sutra tables.
  services.reading = [](int nPhrase) {
    QStringList parts;
    for (int c = 0; c < GetPhraseCharCount(nPhrase); ++c)
      parts << QString::fromUtf8(GetCharReading(nPhrase, c));
    return parts.join(QLatin1Char(' '));
  };
  // The first phrase not yet recorded, else the first.
  int nFirst = 0;
  for (int p = 0; p <= kLastPhrase; ++p) {
    if (!QFileInfo::exists(m_strOwnVoiceDir + QLatin1Char('/') +
                           QString::fromStdString(OwnVoiceFileName(p)))) {
      nFirst = p;
      break;
    }
  }
  m_pRecorder = new CRecordWnd(std::move(services), nFirst, this);
  m_pRecorder->setAttribute(Qt::WA_DeleteOnClose);
  m_pRecorder->setWindowModality(Qt::WindowModal);
  connect(m_pRecorder, &QObject::destroyed, this, [this] {
    m_pRecorder = nullptr;
    ReadOwnVoiceSetting();
    UpdateCommands();
  });
  m_pRecorder->show();
  UpdateCommands();
}

void CMainFrame::CloseRecorder() {
  if (!m_pRecorder) return;
  disconnect(m_pRecorder, nullptr, this, nullptr);
  delete m_pRecorder;
  m_pRecorder = nullptr;
}

void CMainFrame::OnToggleOwnVoice() {
  if (m_nState == Idle && !m_pRecorder) {
    m_bOwnVoice = !m_bOwnVoice;
    m_pProfile->WriteProfileInt("Reading", "OwnVoice", m_bOwnVoice ? 1 : 0);
  }
  UpdateCommands();
}

void CMainFrame::OnAppAbout() {
  CAboutDlg dialog(this);
  dialog.exec();
  UpdateCommands();
}

QString CMainFrame::HelpFilePath() { return HelpFilePath(QString::fromLatin1(kLanguageJapanese)); }

QString CMainFrame::HelpFilePath(const QString& strLanguage) {
  const QString strBase = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
  const QString strSuffix = strLanguage == QLatin1String(kLanguageJapanese)
                                ? QStringLiteral(".html")
                                : QStringLiteral(".") + strLanguage + QStringLiteral(".html");
  return QString::fromStdString(GetExeDirectory()) + strBase + strSuffix;
}

void CMainFrame::OnHelpFinder() {
  m_openUrl(QUrl::fromLocalFile(HelpFilePath(m_pLanguage->Current())));
}

void CMainFrame::OnLanguage(const QString& strChoice) {
  StoreLanguage(*m_pProfile, strChoice);
  m_pLanguage->Apply(strChoice.isEmpty() ? SystemLanguage() : strChoice);
  RetranslateUi();  // at once; the application's own language event follows
  UpdateCommands();
}

void CMainFrame::OnContextHelp() { QWhatsThis::enterWhatsThisMode(); }

// --- command states -------------------------------------------------------

void CMainFrame::UpdateCommands() {
  OnUpdateReadStart(Action(ID_READ_START));
  OnUpdateReadStop(Action(ID_READ_STOP));
  OnUpdateFilePicture(Action(ID_FILE_PICTURE));
  OnUpdateReadMaximize(Action(ID_READ_MAXIMIZE));
  OnUpdateReadRepeat(Action(ID_READ_REPEAT));
  OnUpdateReadRuby(Action(ID_READ_RUBY_NONE), RubyNone);
  OnUpdateReadRuby(Action(ID_READ_RUBY_KANA), RubyKana);
  OnUpdateReadRuby(Action(ID_READ_RUBY_ROMAJI), RubyRomaji);
  UpdatePracticeCommands();
  OnUpdateFileRecord(Action(ID_FILE_RECORD));
  OnUpdateFileOwnVoice(Action(ID_FILE_OWN_VOICE));
  OnUpdateLanguage();
  if (m_nState != m_nTracedState) {
    m_nTracedState = m_nState;
    CTrace::Event("state", {m_nState});
  }
}

void CMainFrame::OnUpdateReadStart(QAction* pAction) {
  pAction->setEnabled(m_nState == Idle && !m_pRecorder);
}

void CMainFrame::OnUpdateReadStop(QAction* pAction) {
  pAction->setEnabled(CReadingSequencer::OnUpdateReadStop());
}

void CMainFrame::OnUpdateFilePicture(QAction* pAction) { pAction->setEnabled(m_nState == Idle); }

void CMainFrame::OnUpdateReadMaximize(QAction* pAction) {
  pAction->setChecked(m_bMaximizeOnReading != 0);
  pAction->setEnabled(m_nState == Idle);
}

void CMainFrame::OnUpdateReadRepeat(QAction* pAction) {
  pAction->setChecked(m_bRepeat != 0);
  pAction->setEnabled(m_nState == Idle);
}

void CMainFrame::OnUpdateReadRuby(QAction* pAction, int nAid) {
  pAction->setChecked(m_nRuby == nAid);
  pAction->setEnabled(m_nState == Idle);
}

// --- practice commands ----------------------------------------------------

void CMainFrame::OnReadStartAt(int nPhrase) {
  if (m_nState != Idle || nPhrase < 0 || nPhrase > kLastPhrase) return;
  CReadingSequencer::OnReadStartAt(nPhrase);
  PrepareAhead();
  UpdateCommands();
}

void CMainFrame::OnReadStartStop() {
  if (m_nState == Idle)
    OnReadStart();
  else if (m_nState == Reading)
    OnReadStop();
}

void CMainFrame::OnReadNext() {
  CReadingSequencer::OnReadNext();
  PrepareAhead();
  UpdateCommands();
}

void CMainFrame::OnReadPrevious() {
  CReadingSequencer::OnReadPrevious();
  PrepareAhead();
  UpdateCommands();
}

void CMainFrame::OnReadHome() {
  CReadingSequencer::OnReadHome();
  PrepareAhead();
  UpdateCommands();
}

void CMainFrame::OnToggleRepeatPhrase() {
  if (m_nState != Title) m_bRepeatPhrase = m_bRepeatPhrase == 0 ? 1 : 0;
  PrepareAhead();
  UpdateCommands();
}

void CMainFrame::OnSetTempo(int nTempoPercent) {
  if (m_nState != Title && IsTempoChoice(nTempoPercent) && nTempoPercent != m_nTempo) {
    m_nTempo = nTempoPercent;  // from the next phrase on
    m_pProfile->WriteProfileInt("Reading", "Tempo", m_nTempo);
    PrepareAhead();
    // What was handed ahead is at the old tempo: the next phrase is handed
    // ahead again (the device takes the new one while the old is not yet
    // playing; else the next phrase starts after the output's latency).
    if (m_nState == Reading && m_wave.IsOutputOpen()) PrefetchNextVoice();
  }
  UpdateCommands();
}

bool CMainFrame::PostponeStartForStretch() {
  constexpr unsigned kPollMs = 10;
  constexpr int kMaxPolls = 200;  // two seconds; then it is taken as it comes
  if (m_nState == Starting && m_nTempo != 100 && !IsShutDown() && m_nPhrase >= 0 &&
      m_nPhrase <= kLastPhrase && m_nStartPostponed < kMaxPolls &&
      m_stretch.IsPending(VoiceFileOf(m_nPhrase), m_nTempo)) {
    ++m_nStartPostponed;
    m_pTimers->KillTimer(TIMER_START);
    m_pTimers->SetTimer(TIMER_START, kPollMs);
    return true;
  }
  m_nStartPostponed = 0;
  return false;
}

void CMainFrame::PrepareAhead() {
  if (m_nTempo == 100 || IsShutDown()) return;
  // The newest request is made first: the next phrase is asked for last.
  if (m_nState == Reading && m_nPhrase > 0 && m_nPhrase <= kLastPhrase)
    m_stretch.Prepare(VoiceFileOf(m_nPhrase - 1), m_nTempo);
  // Where Home and a repeat go, kept at hand.
  if (m_nState == Reading) {
    m_stretch.Prepare(VoiceFileOf(0), m_nTempo);
    if (m_nFirstPhrase >= 0 && m_nFirstPhrase <= kLastPhrase)
      m_stretch.Prepare(VoiceFileOf(m_nFirstPhrase), m_nTempo);
  }
  const int nNext = NextPhraseToPlay();
  if (nNext >= 0) m_stretch.Prepare(VoiceFileOf(nNext), m_nTempo);
}

void CMainFrame::UpdatePracticeCommands() {
  OnUpdateReadStep(Action(ID_READ_NEXT));
  OnUpdateReadStep(Action(ID_READ_PREVIOUS));
  OnUpdateReadStep(Action(ID_READ_HOME));
  Action(ID_READ_START_STOP)->setEnabled(m_nState == Idle || m_nState == Reading);
  OnUpdateRepeatPhrase(Action(ID_READ_REPEAT_PHRASE));
  int nID = ID_READ_TEMPO_50;
  for (int nTempo : kTempoChoices) OnUpdateTempo(Action(nID++), nTempo);
  m_wndView.UpdateCursor();
}

void CMainFrame::OnUpdateReadStep(QAction* pAction) {
  pAction->setEnabled(CReadingSequencer::OnUpdateReadStep());
}

void CMainFrame::OnUpdateRepeatPhrase(QAction* pAction) {
  pAction->setChecked(m_bRepeatPhrase != 0);
  pAction->setEnabled(m_nState != Title);
}

void CMainFrame::OnUpdateTempo(QAction* pAction, int nTempoPercent) {
  pAction->setChecked(m_nTempo == nTempoPercent);
  pAction->setEnabled(m_nState != Title);
}

}  // namespace solvari::app

namespace solvari::app {

void CMainFrame::OnUpdateFileRecord(QAction* pAction) {
  pAction->setEnabled(m_nState == Idle && !m_pRecorder);
}

void CMainFrame::OnUpdateFileOwnVoice(QAction* pAction) {
  pAction->setChecked(m_bOwnVoice);
  pAction->setEnabled(m_nState == Idle && !m_pRecorder);
}

// The choice stored, not the language in effect: "the system's" stays
// checked whatever the system's language is.
void CMainFrame::OnUpdateLanguage() {
  const QString strStored = StoredLanguage(*m_pProfile);
  for (const LanguageItem& item : kLanguageItems)
    Action(item.nID)->setChecked(strStored == QLatin1String(item.pszChoice));
}

}  // namespace solvari::app

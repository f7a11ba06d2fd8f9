#include "app/main_frame.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenuBar>
#include <QWhatsThis>

#include "app/about_dlg.h"
#include "app/dib_image.h"
#include "app/qt_timer_service.h"
#include "app/title_sound.h"
#include "app/trace.h"
#include "audio/qt/qt_wave_device.h"
#include "audio/voice_segment.h"
#include "core/exe_directory.h"

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
    QFileDialog dialog(pOwner, CMainFrame::PictureDialogTitle(), QString(),
                       CMainFrame::PictureDialogFilter());
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

// The menus: a title and its commands, 0 for a separator.
struct MenuLayout {
  const char* pszTitle;
  std::vector<int> items;
};

const std::vector<MenuLayout>& Menus() {
  static const std::vector<MenuLayout> menus = {
      {QT_TRANSLATE_NOOP("CMainFrame", "ﾌｧｲﾙ(&F)"), {ID_FILE_PICTURE, 0, ID_APP_EXIT}},
      {QT_TRANSLATE_NOOP("CMainFrame", "読経"),
       {ID_READ_START, ID_READ_STOP, 0, ID_READ_MAXIMIZE, 0, ID_READ_REPEAT}},
      {QT_TRANSLATE_NOOP("CMainFrame", "言語"),
       {ID_LANGUAGE_SYSTEM, 0, ID_LANGUAGE_JAPANESE, ID_LANGUAGE_ENGLISH}},
      {QT_TRANSLATE_NOOP("CMainFrame", "ﾍﾙﾌﾟ(&H)"), {ID_HELP_FINDER, 0, ID_APP_ABOUT}},
  };
  return menus;
}

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

}  // namespace

// A new command needs one row here, its place in Menus() and its handler in
// CreateMenus(); the translation tools find its texts here.
const std::vector<CommandText>& CMainFrame::CommandTexts() {
  static const std::vector<CommandText> texts = {
      {ID_FILE_PICTURE, QT_TRANSLATE_NOOP("CMainFrame", "画像の設定(&P)"),
       QT_TRANSLATE_NOOP("CMainFrame", "読経するときに表示する画像"), nullptr},
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
  return texts;
}

const std::vector<const char*>& CMainFrame::MenuTitles() {
  static const std::vector<const char*> titles = [] {
    std::vector<const char*> v;
    for (const MenuLayout& menu : Menus()) v.push_back(menu.pszTitle);
    return v;
  }();
  return titles;
}

QString CMainFrame::PictureDialogTitle() { return tr("画像ファイルの設定"); }

QString CMainFrame::PictureDialogFilter() { return tr("画像ﾌｧｲﾙ (*.bmp)"); }

namespace detail {

CFrameTimers::CFrameTimers(ITimerService* pTimers)
    : m_pOwnTimers(pTimers ? nullptr : std::make_unique<CQtTimerService>()),
      m_pTimers(pTimers ? pTimers : m_pOwnTimers.get()) {}

CFrameTimers::~CFrameTimers() = default;

}  // namespace detail

CMainFrame::CMainFrame(FrameServices services)
    : QMainWindow(nullptr),
      detail::CFrameTimers(services.pTimers),
      CReadingSequencer(SequencerPlatform{m_pTimers, this, this, this}, 0),
      m_pProfile(services.pProfile),
      m_pOwnPictureDialog(services.pPictureDialog ? nullptr : std::make_unique<CQtPictureDialog>()),
      m_pPictureDialog(services.pPictureDialog ? services.pPictureDialog
                                               : m_pOwnPictureDialog.get()),
      m_pOwnMessageBoxes(services.pMessageBoxes ? nullptr : std::make_unique<CQtMessageBoxes>()),
      m_pMessageBoxes(services.pMessageBoxes ? services.pMessageBoxes : m_pOwnMessageBoxes.get()),
      m_pOwnTitleSound(services.pTitleSound ? nullptr : std::make_unique<CTitleSound>()),
      m_pTitleSound(services.pTitleSound ? services.pTitleSound : m_pOwnTitleSound.get()),
      m_openUrl(services.openUrl ? std::move(services.openUrl)
                                 : [](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      m_pOwnLanguage(services.pLanguage ? nullptr : std::make_unique<CLanguage>()),
      m_pLanguage(services.pLanguage ? services.pLanguage : m_pOwnLanguage.get()),
      m_wndView(static_cast<const ISutraViewHost&>(*this)),
      m_wave(services.pWaveOut              ? std::move(services.pWaveOut)
             : services.bDefaultWaveDevices ? std::make_unique<CQtWaveOutDevice>()
                                            : nullptr,
             services.pWaveIn               ? std::move(services.pWaveIn)
             : services.bDefaultWaveDevices ? std::make_unique<CQtWaveInDevice>()
                                            : nullptr,
             services.pProfile, this) {
  if (m_pOwnTimers) m_pOwnTimers->SetHandler([this](unsigned nIDEvent) { OnTimer(nIDEvent); });

  // The settings: the background picture (beside the executable unless one
  // was chosen) and the Maximized toggle. Repeat always starts off.
  const std::string strDefault = GetExeDirectory() + "default.bmp";
  const std::string strPicture = m_pProfile->GetProfileString("Reading", "Picture", strDefault);
  LoadPicture(strPicture);
  m_bMaximizeOnReading = m_pProfile->GetProfileInt("Reading", "Maximized", 0);
  m_bRepeat = 0;

  OnCreate();
}

CMainFrame::~CMainFrame() {
  StopEverything();
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
  Shutdown();
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

QAction* CMainFrame::Action(int nID) const {
  auto it = m_actions.find(nID);
  return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::CreateMenus() {
  for (const CommandText& command : CommandTexts()) AddCommand(command.nID);
  Action(ID_READ_MAXIMIZE)->setCheckable(true);
  Action(ID_READ_REPEAT)->setCheckable(true);
  Action(ID_HELP)->setShortcut(QKeySequence(Qt::Key_F1));
  Action(ID_CONTEXT_HELP)->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1));
  auto* pLanguages = new QActionGroup(this);
  for (const LanguageItem& item : kLanguageItems) {
    QAction* pAction = Action(item.nID);
    pAction->setCheckable(true);
    pLanguages->addAction(pAction);
    const QString strChoice = QString::fromLatin1(item.pszChoice);
    connect(pAction, &QAction::triggered, this, [this, strChoice] { OnLanguage(strChoice); });
  }

  for (const MenuLayout& layout : Menus()) {
    QMenu* pMenu = menuBar()->addMenu(QString());
    for (int nID : layout.items) {
      if (nID == 0)
        pMenu->addSeparator();
      else
        pMenu->addAction(Action(nID));
    }
    m_menus.push_back(pMenu);
  }

  const auto on = [this](int nID, void (CMainFrame::*pHandler)()) {
    connect(Action(nID), &QAction::triggered, this, [this, pHandler] { (this->*pHandler)(); });
  };
  on(ID_FILE_PICTURE, &CMainFrame::OnPictureSettings);
  connect(Action(ID_APP_EXIT), &QAction::triggered, this, [this] { close(); });
  on(ID_READ_START, &CMainFrame::OnReadStart);
  on(ID_READ_STOP, &CMainFrame::OnReadStop);
  on(ID_READ_MAXIMIZE, &CMainFrame::OnToggleMaximize);
  on(ID_READ_REPEAT, &CMainFrame::OnToggleRepeat);
  on(ID_HELP_FINDER, &CMainFrame::OnHelpFinder);
  on(ID_DEFAULT_HELP, &CMainFrame::OnHelpFinder);
  on(ID_HELP, &CMainFrame::OnHelpFinder);
  on(ID_CONTEXT_HELP, &CMainFrame::OnContextHelp);
  on(ID_APP_ABOUT, &CMainFrame::OnAppAbout);
}

void CMainFrame::RetranslateUi() {
  setWindowTitle(tr("Kelvane"));
  for (const CommandText& command : CommandTexts()) {
    QAction* pAction = Action(command.nID);
    pAction->setText(tr(command.pszText));
    const QString strStatus = command.pszStatus ? tr(command.pszStatus) : QString();
    pAction->setStatusTip(strStatus);
    pAction->setWhatsThis(strStatus);
    // Without a tool tip of its own an action shows its text.
    pAction->setToolTip(command.pszToolTip ? tr(command.pszToolTip) : QString());
  }
  const std::vector<const char*>& titles = MenuTitles();
  for (std::size_t i = 0; i < m_menus.size() && i < titles.size(); ++i)
    m_menus[i]->setTitle(tr(titles[i]));
  m_wndToolBar.setWindowTitle(tr("ﾂｰﾙﾊﾞｰ"));
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
  // light grey is the button face and shows through.
  QImage strip = LoadBitmapImage(kToolBarBitmapId).convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < strip.height(); ++y) {
    auto* pRow = reinterpret_cast<QRgb*>(strip.scanLine(y));
    for (int x = 0; x < strip.width(); ++x)
      if ((pRow[x] & 0xFFFFFF) == 0xC0C0C0) pRow[x] = 0;
  }
  const int buttons[] = {ID_READ_START, ID_READ_STOP, ID_READ_MAXIMIZE, ID_READ_REPEAT,
                         ID_APP_ABOUT};
  int nImage = 0;
  for (int nID : buttons) {
    if (nID == ID_READ_MAXIMIZE || nID == ID_APP_ABOUT) m_wndToolBar.addSeparator();
    QAction* pAction = Action(nID);
    if (!strip.isNull() && strip.width() >= 16 * (nImage + 1))
      pAction->setIcon(QIcon(QPixmap::fromImage(strip.copy(16 * nImage, 0, 16, 15))));
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
  CReadingSequencer::OnTimer(nIDEvent);
  UpdateCommands();
}

void CMainFrame::OnTitleTimer(unsigned nIDEvent) {
  if (nIDEvent == TIMER_TITLE) {
    m_pTimers->KillTimer(TIMER_TITLE);
    m_wndTitle.ShowTitle(kPictureFileName, kTitleSoundName);
    // Six seconds from now, whatever the title achieved.
    m_pTimers->SetTimer(TIMER_TITLE_END, kTitleShowMs);
  } else if (nIDEvent == TIMER_TITLE_END) {
    m_pTimers->KillTimer(TIMER_TITLE_END);
    m_wndTitle.hide();
    m_nState = Idle;
  }
}

void CMainFrame::OnDefaultTimer(unsigned) {}

void CMainFrame::OnWomDone() {
  CReadingSequencer::OnWomDone();
  UpdateCommands();
}

void CMainFrame::OnReadStart() {
  if (m_nState != Idle) return;  // the command is enabled only in Idle
  CReadingSequencer::OnReadStart();
  UpdateCommands();
}

void CMainFrame::OnReadStop() {
  if (m_nState != Reading) return;  // enabled only in Reading
  CReadingSequencer::OnReadStop();
  UpdateCommands();
}

bool CMainFrame::LoadVoiceSegment(const std::string& path) {
  return solvari::LoadVoiceSegment(m_wave, path) != 0;
}

int CMainFrame::OpenOutput() {
  return m_wave.OpenOutput(this, kVoiceSamplesPerSec, kVoiceBitsPerSample, kVoiceChannels);
}

int CMainFrame::PlayAll() {
  const int nResult = m_wave.PlayAll();
  if (nResult == 1) CTrace::Event("phrase", {m_nPhrase, CTrace::ResidentKiB()});
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
  // The sound layer's messages are marked for translation in context "CWaveBuffer".
  m_pMessageBoxes->Show(this, QCoreApplication::translate("CWaveBuffer", text.c_str()),
                        QMessageBox::Warning);
}

// --- settings commands ----------------------------------------------------

void CMainFrame::OnPictureSettings() {
  if (m_nState != Idle) return;
  const IPictureDialog::Result result = m_pPictureDialog->Run(this);
  if (result.bChosen) {
    const std::string strPath = result.strPath.toStdString();
    m_pProfile->WriteProfileString("Reading", "Picture", strPath);
    LoadPicture(strPath);
  } else if (result.nError != 0) {
    m_pMessageBoxes->Show(this,
                          tr("ファイル名の読み込みでエラー #%1 が発生しました")
                              .arg(static_cast<qlonglong>(result.nError)),
                          QMessageBox::Critical);
  }
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
  OnUpdateLanguage();
  if (m_nState != m_nTracedState) {
    m_nTracedState = m_nState;
    CTrace::Event("state", {m_nState});
  }
}

void CMainFrame::OnUpdateReadStart(QAction* pAction) { pAction->setEnabled(m_nState == Idle); }

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

// The choice stored, not the language in effect: "the system's" stays
// checked whatever the system's language is.
void CMainFrame::OnUpdateLanguage() {
  const QString strStored = StoredLanguage(*m_pProfile);
  for (const LanguageItem& item : kLanguageItems)
    Action(item.nID)->setChecked(strStored == QLatin1String(item.pszChoice));
}

}  // namespace solvari::app

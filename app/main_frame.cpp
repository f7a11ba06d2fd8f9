// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenuBar>
#include <QMimeData>
#include <QStandardPaths>
#include <QWhatsThis>

#include "app/about_dlg.h"
#include "app/picture_loader.h"
#include "app/practice_record_wnd.h"
#include "app/qt_event_poster.h"
#include "app/qt_timer_service.h"
#include "app/record_wnd.h"
#include "app/sound_devices.h"
#include "app/title_sound.h"
#include "app/trace.h"
#include "core/exe_directory.h"
#include "core/sutra_readings.h"
#include "core/sutra_tables.h"

namespace solvari::app {

namespace {

const char* const kPictureFileName = "Copyright.bmp";
const char* const kTitleSoundName = "Title.WAV";

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

// The folder of one's own takes: the one given, else the user's data folder.
std::string OwnVoiceDirOf(const QString& strGiven) {
  const QString strDir = strGiven.isEmpty()
                             ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                                   QStringLiteral("/voice")
                             : strGiven;
  return strDir.toStdString();
}

// The practice record file: the one given, else one in the user's data
// folder (made when missing, so that the first entry can be written).
std::string PracticeRecordOf(const QString& strGiven) {
  if (!strGiven.isEmpty()) return strGiven.toStdString();
  const QString strDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  if (strDir.isEmpty()) return {};
  QDir().mkpath(strDir);
  return (strDir + QStringLiteral("/practice.txt")).toStdString();
}

// A count typed in a small dialog; 0 when cancelled.
int AskCountInDialog(QWidget* pOwner, int nCurrent) {
  bool bOk = false;
  const int n = QInputDialog::getInt(
      pOwner, QCoreApplication::translate("CMainFrame", "回数"),
      QCoreApplication::translate("CMainFrame", "読経する回数 (1〜%1):").arg(kMaxRecitationCount),
      nCurrent, 1, kMaxRecitationCount, 1, &bOk);
  return bOk ? n : 0;
}

}  // namespace

namespace detail {

CFrameTimers::CFrameTimers(ITimerService* pTimers)
    : m_pOwnTimers(pTimers ? nullptr : std::make_unique<CQtTimerService>()),
      m_pTimers(pTimers ? pTimers : m_pOwnTimers.get()),
      m_pPoster(std::make_unique<CQtEventPoster>()),
      m_pTrace(std::make_unique<CTraceSink>()),
      m_pRecordRelay(std::make_unique<CWaveNotifyRelay>()) {}

CFrameTimers::~CFrameTimers() = default;

}  // namespace detail

// The devices given (tests), or the program's own.
static WaveDeviceMaker DevicesOf(FrameServices& services, IEventPoster* pPoster) {
  return [&services, pPoster](const ReadingSettings& settings) {
    WaveDevices devices;
    devices.pOut = services.pWaveOut ? std::move(services.pWaveOut)
                   : services.bDefaultWaveDevices
                       ? MakeOutputDevice(pPoster, settings.nOutputDelayMs)
                       : nullptr;
    devices.pIn = services.pWaveIn               ? std::move(services.pWaveIn)
                  : services.bDefaultWaveDevices ? MakeInputDevice(pPoster)
                                                 : nullptr;
    return devices;
  };
}

CMainFrame::CMainFrame(FrameServices services)
    : QMainWindow(nullptr),
      detail::CFrameTimers(services.pTimers),
      CRecitation(RecitationPlatform{m_pTimers, &m_wndView, this, m_pPoster.get(),
                                     services.pProfile, this, m_pTrace.get()},
                  DevicesOf(services, m_pPoster.get()), OwnVoiceDirOf(services.strOwnVoiceDir)),
      m_pOwnPictureDialog(services.pPictureDialog ? nullptr : std::make_unique<CQtPictureDialog>()),
      m_pPictureDialog(services.pPictureDialog ? services.pPictureDialog
                                               : m_pOwnPictureDialog.get()),
      m_pOwnMessageBoxes(services.pMessageBoxes ? nullptr : std::make_unique<CQtMessageBoxes>()),
      m_pMessageBoxes(services.pMessageBoxes ? services.pMessageBoxes : m_pOwnMessageBoxes.get()),
      m_pOwnTitleSound(services.pTitleSound ? nullptr
                                            : std::make_unique<CTitleSound>(MakeOutputDevice(
                                                  m_pPoster.get(), Settings().nOutputDelayMs))),
      m_pTitleSound(services.pTitleSound ? services.pTitleSound : m_pOwnTitleSound.get()),
      m_openUrl(services.openUrl ? std::move(services.openUrl)
                                 : [](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      m_pOwnLanguage(services.pLanguage ? nullptr : std::make_unique<CLanguage>()),
      m_pLanguage(services.pLanguage ? services.pLanguage : m_pOwnLanguage.get()),
      m_wndView(static_cast<const ISutraViewHost&>(*this)),
      m_pPictureLoader(std::make_unique<CPictureLoader>(
          *this, [this](CPictureHolder& loaded) { TakeLoadedPicture(loaded); })) {
  if (m_pOwnTimers) m_pOwnTimers->SetHandler([this](unsigned nIDEvent) { OnTimer(nIDEvent); });
  m_askCount = services.askCount ? std::move(services.askCount) : AskCountInDialog;
  SetPracticeRecordPath(PracticeRecordOf(services.strPracticeRecord));
  SetPictureDecoder(&m_pictureDecoder);
  LoadBackgroundPicture(Settings().strPicture);
  OnCreate();
  if (services.bDesktopSession) StartDesktopSession();
}

CMainFrame::~CMainFrame() {
  StopEverything();
  m_pPictureLoader.reset();  // a picture still being read is waited for
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
  m_pDesktop.reset();  // the screen handed back, the media controls gone
  CloseRecorder();
  if (m_pPracticeWnd) {
    disconnect(m_pPracticeWnd, nullptr, this, nullptr);
    delete m_pPracticeWnd;
    m_pPracticeWnd = nullptr;
  }
  StopAll();
  m_pTimers->KillTimer(TIMER_TITLE);
  m_pTimers->KillTimer(TIMER_TITLE_END);
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

void CMainFrame::StartDesktopSession() {
  RecitationLink link;
  link.state = [this] { return static_cast<int>(m_nState); };
  link.phrase = [this] { return static_cast<int>(m_nPhrase); };
  // Not while a dialog of the program is open (the picture dialog, About).
  link.canStart = [this] {
    return Action(ID_READ_START)->isEnabled() && !QApplication::activeModalWidget();
  };
  link.canStop = [this] { return Action(ID_READ_STOP)->isEnabled(); };
  link.canStep = [this] { return Action(ID_READ_NEXT)->isEnabled(); };
  link.start = [this] { OnReadStart(); };
  link.stop = [this] { OnReadStop(); };
  link.next = [this] { OnReadNext(); };
  link.previous = [this] { OnReadPrevious(); };
  link.raise = [this] {
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
  };
  m_pDesktop = std::make_unique<CDesktopSession>(std::move(link));
  UpdateCommands();
}

// --- the window -------------------------------------------------------------

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

// --- timers and the voice: the recitation's, with the command states after -----

void CMainFrame::OnTimer(unsigned nIDEvent) {
  CRecitation::OnTimer(nIDEvent);
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

void CMainFrame::OnWomDone() {
  CRecitation::OnWomDone();
  UpdateCommands();
}

void CMainFrame::OnReadStart() {
  CRecitation::OnReadStart();
  UpdateCommands();
}

void CMainFrame::OnReadStop() {
  CRecitation::OnReadStop();
  UpdateCommands();
}

void CMainFrame::OnReadStartAt(int nPhrase) {
  CRecitation::OnReadStartAt(nPhrase);
  UpdateCommands();
}

void CMainFrame::OnReadStartStop() {
  CRecitation::OnReadStartStop();
  UpdateCommands();
}

void CMainFrame::OnReadNext() {
  CRecitation::OnReadNext();
  UpdateCommands();
}

void CMainFrame::OnReadPrevious() {
  CRecitation::OnReadPrevious();
  UpdateCommands();
}

void CMainFrame::OnReadHome() {
  CRecitation::OnReadHome();
  UpdateCommands();
}

void CMainFrame::OnToggleRepeatPhrase() {
  CRecitation::OnToggleRepeatPhrase();
  UpdateCommands();
}

void CMainFrame::OnSetTempo(int nTempoPercent) {
  CRecitation::OnSetTempo(nTempoPercent);
  UpdateCommands();
}

void CMainFrame::OnToggleMaximize() {
  CRecitation::OnToggleMaximize();
  UpdateCommands();
}

void CMainFrame::OnToggleRepeat() {
  CRecitation::OnToggleRepeat();
  UpdateCommands();
}

void CMainFrame::OnSelectRuby(int nAid) {
  CRecitation::OnSelectRuby(nAid);
  UpdateCommands();
}

void CMainFrame::OnToggleOwnVoice() {
  CRecitation::OnToggleOwnVoice();
  UpdateCommands();
}

// --- the temple instruments, the count and the practice record ----------------

void CMainFrame::OnSetMokugyo(int nMode) {
  CRecitation::OnSetMokugyo(nMode);
  UpdateCommands();
}

void CMainFrame::OnSetMokugyoVolume(int nStep) {
  CRecitation::OnSetMokugyoVolume(nStep);
  UpdateCommands();
}

void CMainFrame::OnSetBell(int nPattern) {
  CRecitation::OnSetBell(nPattern);
  UpdateCommands();
}

void CMainFrame::OnSetCount(int nCount) {
  CRecitation::OnSetCount(nCount);
  UpdateCommands();
}

void CMainFrame::OnTypeCount() {
  if (CanChangeSettings()) {
    const int nCurrent = Instrument().nCount;
    const int n = m_askCount(this, nCurrent > 0 ? nCurrent : 1);
    if (n > 0) CRecitation::OnSetCount(n);
  }
  UpdateCommands();
}

void CMainFrame::OnToggleVoice() {
  CRecitation::OnToggleVoice();
  UpdateCommands();
}

void CMainFrame::OnPracticeRecord() {
  CPracticeRecord* pRecord = PracticeRecord();
  if (pRecord == nullptr || m_pPracticeWnd) return;
  QString strNotice;
  switch (pRecord->Load()) {
    case CPracticeRecord::Status::SetAside:
      strNotice = tr("記録ファイルが壊れていたため %1 に移しました。")
                      .arg(QString::fromStdString(pRecord->SetAsidePath()));
      break;
    case CPracticeRecord::Status::Failed:
      strNotice = tr("記録ファイル %1 を読めません。").arg(QString::fromStdString(pRecord->Path()));
      break;
    case CPracticeRecord::Status::Ok:
      break;
  }
  m_pPracticeWnd =
      new CPracticeRecordWnd(pRecord->Entries(), QDate::currentDate(), strNotice, this);
  m_pPracticeWnd->setAttribute(Qt::WA_DeleteOnClose);
  connect(m_pPracticeWnd, &QObject::destroyed, this, [this] { m_pPracticeWnd = nullptr; });
  m_pPracticeWnd->show();
}

void CMainFrame::OnPracticeRecordSetAside(const std::string& strSetAsidePath) {
  m_pMessageBoxes->Show(this,
                        tr("記録ファイルが壊れていたため %1 に移しました。")
                            .arg(QString::fromStdString(strSetAsidePath)),
                        QMessageBox::Warning);
}

void CMainFrame::OnPracticeRecordFailed() {
  const CPracticeRecord* pRecord = PracticeRecord();
  m_pMessageBoxes->Show(this,
                        tr("記録ファイル %1 に書き込めません。")
                            .arg(QString::fromStdString(pRecord ? pRecord->Path() : "")),
                        QMessageBox::Warning);
}

// --- the background picture -------------------------------------------------

void CMainFrame::SetPictureFile(const QString& strFile) {
  const std::string strPath = strFile.toStdString();
  SetPicturePath(strPath);
  LoadBackgroundPicture(strPath);
}

void CMainFrame::LoadBackgroundPicture(const std::string& strPath) {
  m_pPictureLoader->Load(strPath);
}

bool CMainFrame::IsPictureLoading() const { return m_pPictureLoader->IsLoading(); }

void CMainFrame::TakeLoadedPicture(CPictureHolder& loaded) {
  m_hPicture = std::move(loaded.m_hPicture);
  m_pPalette = std::move(loaded.m_pPalette);
  m_nPictureWidth = loaded.m_nPictureWidth;
  m_nPictureHeight = loaded.m_nPictureHeight;
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

// --- one's own voice --------------------------------------------------------

void CMainFrame::OnRecordVoice() {
  if (!CanUseOwnVoice() || m_pRecorder) return;
  RecorderServices services;
  services.pWave = &Wave();
  services.pRelay = m_pRecordRelay.get();
  services.pProfile = &Profile();
  services.pMessages = m_pMessageBoxes;
  services.strVoiceDir = OwnVoiceDir();
  services.strProgramDir = GetExeDirectory();
  // The reading of the phrase, character by character, from the sutra tables.
  services.reading = [](int nPhrase) {
    QStringList parts;
    for (int c = 0; c < GetPhraseCharCount(nPhrase); ++c)
      parts << QString::fromUtf8(GetCharReading(nPhrase, c));
    return parts.join(QLatin1Char(' '));
  };
  // The first phrase not yet recorded, else the first.
  m_pRecorder = new CRecordWnd(std::move(services), OwnVoice().FirstUnrecorded(), this);
  m_pRecorder->setAttribute(Qt::WA_DeleteOnClose);
  m_pRecorder->setWindowModality(Qt::WindowModal);
  connect(m_pRecorder, &QObject::destroyed, this, [this] {
    m_pRecorder = nullptr;
    SetRecorderOpen(false);
    UpdateCommands();
  });
  SetRecorderOpen(true);
  m_pRecorder->show();
  UpdateCommands();
}

void CMainFrame::CloseRecorder() {
  if (!m_pRecorder) return;
  disconnect(m_pRecorder, nullptr, this, nullptr);
  delete m_pRecorder;
  m_pRecorder = nullptr;
  SetRecorderOpen(false);
}

// --- help, About and the language ---------------------------------------------

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
  StoreLanguage(Profile(), strChoice);
  m_pLanguage->Apply(strChoice.isEmpty() ? SystemLanguage() : strChoice);
  RetranslateUi();  // at once; the application's own language event follows
  UpdateCommands();
}

void CMainFrame::OnContextHelp() { QWhatsThis::enterWhatsThisMode(); }

}  // namespace solvari::app

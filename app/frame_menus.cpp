// SPDX-License-Identifier: GPL-3.0-or-later
// The frame's commands: their texts, menus, tool bar and keys, and the
// enable handlers that keep every command's state.
#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>

#include "app/dib_image.h"
#include "app/main_frame.h"
#include "app/qt_picture_decoder.h"
#include "app/record_wnd.h"
#include "app/trace.h"
#include "core/instrument_settings.h"
#include "core/sutra_readings.h"
#include "core/tempo.h"

namespace solvari::app {

namespace {

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
const char* const kMenuMokugyo = QT_TRANSLATE_NOOP("CMainFrame", "木魚");
const char* const kMenuBell = QT_TRANSLATE_NOOP("CMainFrame", "鏧子");
const char* const kMenuCount = QT_TRANSLATE_NOOP("CMainFrame", "回数");
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
        // The temple instruments, the count, the voice and the record.
        {ID_READ_MOKUGYO_OFF, QT_TRANSLATE_NOOP("CMainFrame", "なし"), nullptr, nullptr},
        {ID_READ_MOKUGYO_EVERY_CHAR, QT_TRANSLATE_NOOP("CMainFrame", "全文"),
         QT_TRANSLATE_NOOP("CMainFrame", "木魚を一字ごとに打ちます"), nullptr},
        {ID_READ_MOKUGYO_AFTER_OPENING, QT_TRANSLATE_NOOP("CMainFrame", "二句目から"),
         QT_TRANSLATE_NOOP("CMainFrame", "最初の句は独唱し、二句目から木魚を打ちます"), nullptr},
        {ID_READ_MOKUGYO_SOFT, QT_TRANSLATE_NOOP("CMainFrame", "小さく"), nullptr, nullptr},
        {ID_READ_MOKUGYO_MEDIUM, QT_TRANSLATE_NOOP("CMainFrame", "普通"), nullptr, nullptr},
        {ID_READ_MOKUGYO_LOUD, QT_TRANSLATE_NOOP("CMainFrame", "大きく"), nullptr, nullptr},
        {ID_READ_BELL_NONE, QT_TRANSLATE_NOOP("CMainFrame", "なし"), nullptr, nullptr},
        {ID_READ_BELL_TWO_THREE, QT_TRANSLATE_NOOP("CMainFrame", "二下三下"),
         QT_TRANSLATE_NOOP("CMainFrame", "読経の前に二下、後に三下打ちます"), nullptr},
        {ID_READ_BELL_ONE_EACH, QT_TRANSLATE_NOOP("CMainFrame", "前後に一下ずつ"), nullptr,
         nullptr},
        {ID_READ_COUNT_ENDLESS, QT_TRANSLATE_NOOP("CMainFrame", "限りなく"),
         QT_TRANSLATE_NOOP("CMainFrame", "停止するまで繰り返します"), nullptr},
        {ID_READ_COUNT_TYPED, QT_TRANSLATE_NOOP("CMainFrame", "回数を指定..."), nullptr, nullptr},
        {ID_READ_VOICE_OFF, QT_TRANSLATE_NOOP("CMainFrame", "声なし"),
         QT_TRANSLATE_NOOP("CMainFrame", "声を出さずに木魚と表示だけで読経します"), nullptr},
        {ID_FILE_PRACTICE_RECORD, QT_TRANSLATE_NOOP("CMainFrame", "記録..."),
         QT_TRANSLATE_NOOP("CMainFrame", "読経した日と回数の記録"), nullptr},
        // Each language is named in its own language, in either interface.
        {ID_LANGUAGE_JAPANESE, QT_TRANSLATE_NOOP("CMainFrame", "日本語"), nullptr, nullptr},
        {ID_LANGUAGE_ENGLISH, QT_TRANSLATE_NOOP("CMainFrame", "English"), nullptr, nullptr},
    };
    // 速さ: one item per tempo, "50 %" and so on.
    int nID = ID_READ_TEMPO_50;
    for (int nTempo : kTempoChoices)
      v.push_back({nID++, QT_TRANSLATE_NOOP("CMainFrame", "%1 %"), nullptr, nullptr, nTempo});
    // 回数: "3 回" and so on.
    nID = ID_READ_COUNT_ENDLESS + 1;
    for (int nCount : kCountChoices)
      v.push_back({nID++, QT_TRANSLATE_NOOP("CMainFrame", "%1 回"), nullptr, nullptr, nCount});
    return v;
  }();
  return texts;
}

const std::vector<const char*>& CMainFrame::MenuTitles() {
  static const std::vector<const char*> titles = {kMenuFile,  kMenuRuby,     kMenuRead,
                                                  kMenuTempo, kMenuMokugyo,  kMenuBell,
                                                  kMenuCount, kMenuLanguage, kMenuHelp};
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

QStringList CMainFrame::PictureFilters() {
  return {tr("画像ﾌｧｲﾙ (*.bmp)"), tr("写真・画像ﾌｧｲﾙ (%1)").arg(CQtPictureDecoder::FilePatterns())};
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
  pFile->addAction(Action(ID_FILE_PRACTICE_RECORD));
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

  CreateTempleCommands(pRead);
  CreatePracticeCommands(pRead);
}

// The temple's ways, in 読経 after 繰り返す: its count, the wooden fish and
// its volume, the bell and the voice off; and ﾌｧｲﾙ → 記録....
void CMainFrame::CreateTempleCommands(QMenu* pRead) {
  // A submenu of radio items from nFirstID on, each calling set(its value).
  auto radios = [this](QMenu* pMenu, int nFirstID, std::initializer_list<int> values,
                       void (CMainFrame::*set)(int)) {
    auto* pGroup = new QActionGroup(this);
    pGroup->setExclusive(true);
    int nID = nFirstID;
    for (int nValue : values) {
      QAction* pAction = Action(nID++);
      pAction->setCheckable(true);
      pGroup->addAction(pAction);
      pMenu->addAction(pAction);
      connect(pAction, &QAction::triggered, this, [this, set, nValue] { (this->*set)(nValue); });
    }
    return pGroup;
  };
  QMenu* pCount = AddMenu(pRead, kMenuCount);
  QActionGroup* pCounts =
      radios(pCount, ID_READ_COUNT_ENDLESS,
             {kCountEndless, kCountChoices[0], kCountChoices[1], kCountChoices[2]},
             &CMainFrame::OnSetCount);
  QAction* pTyped = Action(ID_READ_COUNT_TYPED);
  pTyped->setCheckable(true);  // checked for a count none of the others is
  pCounts->addAction(pTyped);
  pCount->addSeparator();
  pCount->addAction(pTyped);
  connect(pTyped, &QAction::triggered, this, [this] { OnTypeCount(); });

  pRead->addSeparator();
  QMenu* pMokugyo = AddMenu(pRead, kMenuMokugyo);
  radios(pMokugyo, ID_READ_MOKUGYO_OFF, {MokugyoOff, MokugyoEveryChar, MokugyoAfterOpening},
         &CMainFrame::OnSetMokugyo);
  pMokugyo->addSeparator();
  radios(pMokugyo, ID_READ_MOKUGYO_SOFT, {MokugyoSoft, MokugyoMedium, MokugyoLoud},
         &CMainFrame::OnSetMokugyoVolume);
  QMenu* pBell = AddMenu(pRead, kMenuBell);
  radios(pBell, ID_READ_BELL_NONE, {BellNone, BellTwoThree, BellOneEach}, &CMainFrame::OnSetBell);
  QAction* pVoiceOff = Action(ID_READ_VOICE_OFF);
  pVoiceOff->setCheckable(true);
  pRead->addAction(pVoiceOff);
  connect(pVoiceOff, &QAction::triggered, this, [this] { OnToggleVoice(); });
  connect(Action(ID_FILE_PRACTICE_RECORD), &QAction::triggered, this,
          [this] { OnPracticeRecord(); });
}

void CMainFrame::RetranslateUi() {
  m_strTitle.clear();
  UpdateWindowTitle();
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
  UpdateTempleCommands();
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
  UpdateTempleCommands();
  UpdateWindowTitle();
  if (m_pDesktop) m_pDesktop->Update();
  if (m_nState != m_nTracedState) {
    m_nTracedState = m_nState;
    CTrace::Event("state", {m_nState});
  }
}

void CMainFrame::OnUpdateReadStart(QAction* pAction) { pAction->setEnabled(CanStart()); }

void CMainFrame::OnUpdateReadStop(QAction* pAction) {
  pAction->setEnabled(CReadingSequencer::OnUpdateReadStop());
}

void CMainFrame::OnUpdateFilePicture(QAction* pAction) { pAction->setEnabled(CanChangeSettings()); }

void CMainFrame::OnUpdateReadMaximize(QAction* pAction) {
  pAction->setChecked(m_bMaximizeOnReading != 0);
  pAction->setEnabled(CanChangeSettings());
}

void CMainFrame::OnUpdateReadRepeat(QAction* pAction) {
  pAction->setChecked(m_bRepeat != 0);
  pAction->setEnabled(CanChangeSettings());
}

void CMainFrame::OnUpdateReadRuby(QAction* pAction, int nAid) {
  pAction->setChecked(m_nRuby == nAid);
  pAction->setEnabled(CanChangeSettings());
}

void CMainFrame::UpdatePracticeCommands() {
  OnUpdateReadStep(Action(ID_READ_NEXT));
  OnUpdateReadStep(Action(ID_READ_PREVIOUS));
  OnUpdateReadStep(Action(ID_READ_HOME));
  Action(ID_READ_START_STOP)->setEnabled(CanStartStop());
  OnUpdateRepeatPhrase(Action(ID_READ_REPEAT_PHRASE));
  int nID = ID_READ_TEMPO_50;
  for (int nTempo : kTempoChoices) OnUpdateTempo(Action(nID++), nTempo);
  // Only the overview points at phrases: while reciting the cursor changes
  // with the state alone, and the pointer is not asked for at every step.
  if (m_nState == Idle || m_nState != m_nCursorState) {
    m_nCursorState = m_nState;
    m_wndView.UpdateCursor();
  }
}

void CMainFrame::OnUpdateReadStep(QAction* pAction) {
  pAction->setEnabled(CReadingSequencer::OnUpdateReadStep());
}

void CMainFrame::OnUpdateRepeatPhrase(QAction* pAction) {
  pAction->setChecked(m_bRepeatPhrase != 0);
  pAction->setEnabled(CanPractice());
}

void CMainFrame::OnUpdateTempo(QAction* pAction, int nTempoPercent) {
  pAction->setChecked(m_nTempo == nTempoPercent);
  pAction->setEnabled(CanPractice());
}

void CMainFrame::OnUpdateFileRecord(QAction* pAction) { pAction->setEnabled(CanUseOwnVoice()); }

void CMainFrame::OnUpdateFileOwnVoice(QAction* pAction) {
  pAction->setChecked(IsOwnVoiceOn());
  pAction->setEnabled(CanUseOwnVoice());
}

void CMainFrame::UpdateTempleCommands() {
  const InstrumentSettings& in = Instrument();
  const bool bEnabled = CanChangeSettings();
  auto radio = [this, bEnabled](int nID, bool bChecked) {
    QAction* pAction = Action(nID);
    pAction->setChecked(bChecked);
    pAction->setEnabled(bEnabled);
  };
  for (int m = MokugyoOff; m <= MokugyoAfterOpening; ++m)
    radio(ID_READ_MOKUGYO_OFF + m, in.nMokugyo == m);
  for (int v = MokugyoSoft; v <= MokugyoLoud; ++v)
    radio(ID_READ_MOKUGYO_SOFT + v, in.nMokugyoVolume == v);
  for (int b = BellNone; b <= BellOneEach; ++b) radio(ID_READ_BELL_NONE + b, in.nBell == b);
  bool bChoice = in.nCount == kCountEndless;
  radio(ID_READ_COUNT_ENDLESS, bChoice);
  int nID = ID_READ_COUNT_ENDLESS + 1;
  for (int nCount : kCountChoices) {
    radio(nID++, in.nCount == nCount);
    bChoice = bChoice || in.nCount == nCount;
  }
  radio(ID_READ_COUNT_TYPED, !bChoice);
  // A typed count shows itself in its item.
  Action(ID_READ_COUNT_TYPED)
      ->setText(bChoice ? tr("回数を指定...") : tr("%1 回...").arg(in.nCount));
  radio(ID_READ_VOICE_OFF, !IsVoiceOn());
  Action(ID_FILE_PRACTICE_RECORD)->setEnabled(PracticeRecord() != nullptr);
}

void CMainFrame::UpdateWindowTitle() {
  const std::string strCount = CountText();
  const QString strTitle =
      strCount.empty() ? tr("Kelvane")
                       : tr("Kelvane") + QStringLiteral(" - ") + QString::fromStdString(strCount);
  if (strTitle == m_strTitle) return;
  m_strTitle = strTitle;
  setWindowTitle(strTitle);
}

// The choice stored, not the language in effect: "the system's" stays
// checked whatever the system's language is.
void CMainFrame::OnUpdateLanguage() {
  const QString strStored = StoredLanguage(Profile());
  for (const LanguageItem& item : kLanguageItems)
    Action(item.nID)->setChecked(strStored == QLatin1String(item.pszChoice));
}

}  // namespace solvari::app

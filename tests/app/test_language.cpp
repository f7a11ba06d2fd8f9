// SPDX-License-Identifier: GPL-3.0-or-later
// The interface's languages. ctest runs this under LANG=en_US.UTF-8 and under
// LANG=ja_JP.UTF-8 and names the language the system should give in
// SOLVARI_EXPECT_LANGUAGE. Every text the user can meet (window title, menus,
// commands with their status texts and tool tips, tool bar, About box, picture
// dialog, recording window, messages) is gathered by walking the frame's, the
// About box's and the recording window's widgets, so a text added without a
// translation shows up here; and no Japanese text of the shell's sources may
// bypass the translation.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTranslator>
#include <memory>

#include "app/about_dlg.h"
#include "app/language.h"
#include "app/main_frame.h"
#include "app/qt_profile_store.h"
#include "app/record_wnd.h"
#include "core/exe_directory.h"
#include "shell_fakes.h"

using namespace solvari;
using namespace solvari::app;
using namespace solvari::app::test;

namespace {

struct Rig : ShellRig {
  Rig(IProfileStore* pProfile, CLanguage* pLanguage) {
    Options options;
    options.pLanguage = pLanguage;
    options.strOwnVoiceDir = QDir::tempPath() + QStringLiteral("/solvari-language-test-none");
    Create(pProfile, std::move(options));
  }
};

// One text the user can see, and where.
struct Text {
  QString strWhere;
  QString strText;
  bool bMayBeEmpty = false;  // a status text a command does without
  bool bDerived = false;     // made from another text: Qt's tool tip, a formatted message
};

// The tool tip Qt gives an action that has none of its own.
QString DefaultToolTip(const QAction* pAction) {
  QString str = pAction->text();
  str.remove(QStringLiteral("..."));
  str.remove(QLatin1Char('&'));
  return str.trimmed();
}

QString Where(const QAction* pAction) {
  return QStringLiteral("action \"%1\"").arg(pAction->text());
}

// Every text of the frame: its title, the menu and submenu titles, every
// command's text, status text, What's This text and tool tip, and the tool
// bar's title.
QList<Text> FrameTexts(CMainFrame& frame) {
  QList<Text> texts;
  texts.append({QStringLiteral("window title"), frame.windowTitle()});
  for (QAction* pMenu : frame.menuBar()->actions())
    texts.append({QStringLiteral("menu title"), pMenu->text()});
  QList<QMenu*> menus;
  for (QAction* pMenu : frame.menuBar()->actions()) menus << pMenu->menu();
  for (qsizetype i = 0; i < menus.size(); ++i)
    for (QAction* pAction : menus[i]->actions())
      if (QMenu* pSubmenu = pAction->menu()) {
        texts.append({QStringLiteral("submenu title"), pSubmenu->title()});
        menus << pSubmenu;
      }
  static const QRegularExpression number(QStringLiteral("[0-9]"));
  for (QAction* pAction : frame.findChildren<QAction*>()) {
    if (pAction->isSeparator() || pAction->menu()) continue;
    // The tempo items are made from a text and their number.
    texts.append({Where(pAction), pAction->text(), false, pAction->text().contains(number)});
    texts.append({Where(pAction) + QStringLiteral(" status"), pAction->statusTip(), true});
    texts.append({Where(pAction) + QStringLiteral(" what's this"), pAction->whatsThis(), true});
    texts.append({Where(pAction) + QStringLiteral(" tool tip"), pAction->toolTip(), false,
                  pAction->toolTip() == DefaultToolTip(pAction)});
  }
  texts.append({QStringLiteral("tool bar title"), frame.ToolBar().windowTitle()});
  return texts;
}

QList<Text> AboutTexts() {
  CAboutDlg dialog;
  QList<Text> texts{{QStringLiteral("About caption"), dialog.windowTitle()}};
  for (QLabel* pLabel : dialog.findChildren<QLabel*>())
    if (pLabel->pixmap().isNull()) texts.append({QStringLiteral("About label"), pLabel->text()});
  for (QPushButton* pButton : dialog.findChildren<QPushButton*>())
    texts.append({QStringLiteral("About button"), pButton->text()});
  return texts;
}

// The recording window as it opens: its title, labels, buttons, tool tips,
// the list of phrases, and what it says when there is no input device.
QList<Text> RecordTexts(Rig& rig) {
  QList<Text> texts;
  rig.pFrame->Action(ID_FILE_RECORD)->trigger();
  CRecordWnd* pWnd = rig.pFrame->Recorder();
  if (!pWnd) return texts;
  texts.append({QStringLiteral("recording window title"), pWnd->windowTitle()});
  for (QLabel* pLabel : pWnd->findChildren<QLabel*>()) {
    // The picture of the phrase, the flash, and the reading (the sutra's own kana).
    if (!pLabel->pixmap().isNull() || pLabel == pWnd->ReadingLabel() || pLabel->text().isEmpty())
      continue;
    texts.append({QStringLiteral("recording label"), pLabel->text(), false,
                  pLabel->text().contains(QRegularExpression(QStringLiteral("[0-9]")))});
  }
  for (QPushButton* pButton : pWnd->findChildren<QPushButton*>())
    texts.append({QStringLiteral("recording button"), pButton->text()});
  for (QWidget* pWidget : pWnd->findChildren<QWidget*>())
    if (!pWidget->toolTip().isEmpty())
      texts.append({QStringLiteral("recording tool tip"), pWidget->toolTip()});
  texts.append({QStringLiteral("recording delay unit"), pWnd->DelayBox()->suffix()});
  for (int i = 0; i < pWnd->PhraseList()->count(); i += 17)
    texts.append(
        {QStringLiteral("recording list"), pWnd->PhraseList()->item(i)->text(), false, true});
  const qsizetype nMessages = rig.messages.texts.size();
  pWnd->OnRecord();  // no input device
  for (qsizetype i = nMessages; i < rig.messages.texts.size(); ++i)
    texts.append({QStringLiteral("recording message"), rig.messages.texts[i]});
  rig.messages.texts.resize(nMessages);
  pWnd->close();
  QCoreApplication::processEvents();
  return texts;
}

// The picture dialog's texts and every message the frame can show: the
// failed picture dialog and the sound layer's three.
QList<Text> DialogAndMessageTexts(Rig& rig) {
  QList<Text> texts{{QStringLiteral("picture dialog title"), CMainFrame::PictureDialogTitle()}};
  for (const QString& strFilter : CMainFrame::PictureFilters())
    texts.append({QStringLiteral("picture dialog filter"), strFilter, false,
                  strFilter.contains(QStringLiteral("*.jpg"))});
  rig.timers.Advance(kTitleDelayMs + kTitleShowMs);
  rig.dialog.next.nError = 12290;
  rig.pFrame->OnPictureSettings();
  // Without an open input every recording fails with the invalid-handle message.
  rig.pFrame->Wave().StartRecording(1.0, 11025, 16, 1);
  for (const QString& strMessage : rig.messages.texts)
    texts.append({QStringLiteral("message"), strMessage, false,
                  strMessage.contains(QStringLiteral("12290"))});
  // The other two messages, as the frame shows them.
  for (const char* pszMessage :
       {"No device driver is present.", "Unable to allocate or lock memory."})
    texts.append({QStringLiteral("message"), CMainFrame::TranslateWaveMessage(pszMessage)});
  return texts + RecordTexts(rig);
}

// The string literals of a C++ source that hold anything but ASCII, each
// with the code just before it (comments left out).
struct Literal {
  QString strText;
  QString strBefore;
  int nLine;
};

QList<Literal> NonAsciiLiterals(const QString& strSource) {
  QList<Literal> literals;
  QString strCode;  // the code outside literals and comments, so far
  int nLine = 1;
  for (qsizetype i = 0; i < strSource.size(); ++i) {
    const QChar c = strSource[i];
    if (c == QLatin1Char('\n')) ++nLine;
    if (c == QLatin1Char('/') && i + 1 < strSource.size() && strSource[i + 1] == QLatin1Char('/')) {
      while (i < strSource.size() && strSource[i] != QLatin1Char('\n')) ++i;
      --i;
      continue;
    }
    if (c == QLatin1Char('/') && i + 1 < strSource.size() && strSource[i + 1] == QLatin1Char('*')) {
      const qsizetype nEnd = strSource.indexOf(QStringLiteral("*/"), i + 2);
      nLine += strSource.mid(i, nEnd - i).count(QLatin1Char('\n'));
      i = nEnd < 0 ? strSource.size() : nEnd + 1;
      continue;
    }
    if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
      QString strText;
      qsizetype j = i + 1;
      for (; j < strSource.size() && strSource[j] != c; ++j) {
        if (strSource[j] == QLatin1Char('\\')) strText += strSource[j++];
        strText += strSource[j];
      }
      bool bAscii = true;
      for (QChar t : strText) bAscii = bAscii && t.unicode() < 0x80;
      if (c == QLatin1Char('"') && !bAscii) literals.append({strText, strCode.right(60), nLine});
      strCode += c == QLatin1Char('"') ? QStringLiteral("\"\"") : QStringLiteral("''");
      i = j;
      continue;
    }
    strCode += c;
  }
  return literals;
}

bool HasJapanese(const QString& str) {
  static const QRegularExpression japanese(
      QStringLiteral("[\\x{3000}-\\x{30FF}\\x{4E00}-\\x{9FFF}\\x{FF00}-\\x{FFEF}]"));
  return str.contains(japanese);
}

// Today's Japanese interface, exactly.
const QStringList kJapaneseMenus = {"ﾌｧｲﾙ(&F)", "読経", "言語", "ﾍﾙﾌﾟ(&H)"};

QStringList MenuItems(QMenu* pMenu) {
  QStringList items;
  for (QAction* pAction : pMenu->actions())
    items << (pAction->isSeparator() ? QStringLiteral("(sep)") : pAction->text());
  return items;
}

QStringList MenuTitles(CMainFrame& frame) {
  QStringList titles;
  for (QAction* pMenu : frame.menuBar()->actions()) titles << pMenu->text();
  return titles;
}

void VerifyJapanese(Rig& rig) {
  CMainFrame& frame = *rig.pFrame;
  QCOMPARE(frame.windowTitle(), QStringLiteral("Kelvane"));
  QCOMPARE(MenuTitles(frame), kJapaneseMenus);
  const QList<QAction*> menus = frame.menuBar()->actions();
  QCOMPARE(
      MenuItems(menus[0]->menu()),
      QStringList({"画像の設定(&P)", "ふりがな", "(sep)", "音声の録音...", "録音した声で読経(&V)",
                   "(sep)", "記録...", "(sep)", "ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)"}));
  QCOMPARE(MenuItems(menus[1]->menu()),
           QStringList({"開始(&S)", "停止(T)", "(sep)", "最大化する(&M)", "(sep)", "繰り返す(&R)",
                        "回数", "(sep)", "木魚", "鏧子", "声なし", "(sep)", "次の句へ", "前の句へ",
                        "この句を繰り返す", "速さ"}));
  QCOMPARE(MenuItems(menus[0]->menu()->actions()[1]->menu()),
           QStringList({"なし", "かな", "ローマ字"}));
  QCOMPARE(MenuItems(menus[1]->menu()->actions().back()->menu()),
           QStringList({"50 %", "75 %", "100 %", "125 %", "150 %"}));
  QCOMPARE(MenuItems(menus[2]->menu()),
           QStringList({"システムの言語を使う", "(sep)", "日本語", "English"}));
  QCOMPARE(MenuItems(menus[3]->menu()),
           QStringList({"ﾄﾋﾟｯｸの検索(&H)", "(sep)", "ﾊﾞｰｼﾞｮﾝ情報(&A)..."}));
  const struct {
    int nID;
    const char* pszStatus;
    const char* pszToolTip;
  } prompts[] = {
      {ID_READ_START, "読経を開始します", "読経を開始"},
      {ID_READ_STOP, "読経を停止します", "読経を停止"},
      {ID_FILE_PICTURE, "読経するときに表示する画像", "画像の設定(P)"},
      {ID_READ_MAXIMIZE, "読経のときウィンドーを最大化", "読経時に最大化"},
      {ID_READ_REPEAT, "繰り返す", "繰り返す"},
      {ID_APP_ABOUT, "", "ﾊﾞｰｼﾞｮﾝ情報"},
      {ID_READ_RUBY_NONE, "読み方を表示しません", "なし"},
      {ID_READ_RUBY_KANA, "文字の読み方をかなで横に表示します", "かな"},
      {ID_READ_RUBY_ROMAJI, "文字の読み方をローマ字で横に表示します", "ローマ字"},
      {ID_FILE_RECORD, "自分の声や先生の声を句ごとに録音します", "音声の録音"},
      {ID_FILE_OWN_VOICE, "録音した句は録音した声で読経します", "録音した声で読経(V)"},
      {ID_READ_NEXT, "", "次の句へ"},
      {ID_READ_REPEAT_PHRASE, "", "この句を繰り返す"},
  };
  for (const auto& p : prompts) {
    QCOMPARE(frame.Action(p.nID)->statusTip(), QString::fromUtf8(p.pszStatus));
    QCOMPARE(frame.Action(p.nID)->toolTip(), QString::fromUtf8(p.pszToolTip));
  }
  QCOMPARE(frame.Action(ID_HELP)->text(), QStringLiteral("ﾍﾙﾌﾟ"));
  QCOMPARE(frame.Action(ID_READ_HOME)->text(), QStringLiteral("最初の句から"));
  QCOMPARE(frame.Action(ID_READ_START_STOP)->text(), QStringLiteral("開始/停止"));
  QCOMPARE(frame.ToolBar().windowTitle(), QStringLiteral("ﾂｰﾙﾊﾞｰ"));
}

void VerifyEnglish(CMainFrame& frame) {
  QCOMPARE(MenuTitles(frame), QStringList({"&File", "Recitation", "Language", "&Help"}));
  const QList<QAction*> menus = frame.menuBar()->actions();
  QCOMPARE(MenuItems(menus[0]->menu()),
           QStringList({"Background &Picture...", "Readings", "(sep)", "Record Voice...",
                        "Recite with Recorded &Voice", "(sep)", "Practice Record...", "(sep)",
                        "E&xit"}));
  QCOMPARE(MenuItems(menus[1]->menu()),
           QStringList({"&Start", "S&top", "(sep)", "&Maximize While Reciting", "(sep)", "&Repeat",
                        "Count", "(sep)", "Wooden Fish", "Bell", "Without the Voice", "(sep)",
                        "Next Phrase", "Previous Phrase", "Repeat This Phrase", "Speed"}));
  QCOMPARE(MenuItems(menus[0]->menu()->actions()[1]->menu()),
           QStringList({"None", "Kana", "Romaji"}));
  QCOMPARE(MenuItems(menus[1]->menu()->actions().back()->menu()),
           QStringList({"50%", "75%", "100%", "125%", "150%"}));
  QCOMPARE(frame.Action(ID_READ_START)->toolTip(), QStringLiteral("Start Recitation"));
  QCOMPARE(frame.Action(ID_READ_START)->statusTip(), QStringLiteral("Starts the recitation"));
  for (const Text& text : FrameTexts(frame)) {
    if (text.strText == QStringLiteral("日本語")) continue;  // named in its own language
    QVERIFY2(!HasJapanese(text.strText),
             qPrintable(text.strWhere + QStringLiteral(": ") + text.strText));
  }
}

}  // namespace

class TestLanguage : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> m_pDir;
  std::unique_ptr<CQtProfileStore> m_pProfile;
  QString m_strExpected;

 private slots:
  void initTestCase() {
    m_strExpected = qEnvironmentVariable("SOLVARI_EXPECT_LANGUAGE");
    QVERIFY2(m_strExpected == "ja" || m_strExpected == "en",
             "run through ctest, which sets SOLVARI_EXPECT_LANGUAGE and LANG");
  }
  void init() {
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
    SetExeDirectory(m_pDir->path().toStdString() + "/");
    m_pProfile = std::make_unique<CQtProfileStore>(m_pDir->filePath("Kelvane.conf"));
  }
  void cleanup() {
    m_pProfile.reset();
    m_pDir.reset();
  }

  void localeNames() {
    for (const char* psz : {"ja", "ja_JP", "ja-JP", "ja_JP.UTF-8", "ja_JP.eucJP", "JA_jp"})
      QCOMPARE(LanguageForLocale(QString::fromLatin1(psz)), QStringLiteral("ja"));
    // Javanese and Jamaican Patois are not Japanese.
    for (const char* psz :
         {"en_US.UTF-8", "en", "C", "POSIX", "", "de_DE@euro", "jv_ID", "jam", "j"})
      QCOMPARE(LanguageForLocale(QString::fromLatin1(psz)), QStringLiteral("en"));
  }

  void theSystemDecidesWithoutAChoice() {
    QCOMPARE(SystemLanguage(), m_strExpected);
    QCOMPARE(StoredLanguage(*m_pProfile), QString());
    QCOMPARE(ChosenLanguage(*m_pProfile), m_strExpected);
    // A choice wins over the system; nonsense in the settings counts as none.
    m_pProfile->WriteProfileString("Reading", "Language", "en");
    QCOMPARE(ChosenLanguage(*m_pProfile), QStringLiteral("en"));
    m_pProfile->WriteProfileString("Reading", "Language", "ja");
    QCOMPARE(ChosenLanguage(*m_pProfile), QStringLiteral("ja"));
    m_pProfile->WriteProfileString("Reading", "Language", "fr");
    QCOMPARE(StoredLanguage(*m_pProfile), QString());
    QCOMPARE(ChosenLanguage(*m_pProfile), m_strExpected);
  }

  // The program's start: the chosen language, then the frame.
  void everyTextIsInTheSystemsLanguage() {
    CLanguage language;
    QVERIFY(language.Apply(ChosenLanguage(*m_pProfile)));
    QCOMPARE(language.Current(), m_strExpected);
    Rig rig(m_pProfile.get(), &language);
    QList<Text> texts = FrameTexts(*rig.pFrame) + AboutTexts() + DialogAndMessageTexts(rig);
    QVERIFY(texts.size() > 60);
    for (const Text& text : texts)
      QVERIFY2(text.bMayBeEmpty || !text.strText.trimmed().isEmpty(), qPrintable(text.strWhere));

    if (m_strExpected == "ja") {
      VerifyJapanese(rig);
      QCOMPARE(CMainFrame::PictureDialogTitle(), QStringLiteral("画像ファイルの設定"));
      QCOMPARE(CMainFrame::PictureFilters().front(), QStringLiteral("画像ﾌｧｲﾙ (*.bmp)"));
      QVERIFY(CMainFrame::PictureFilters().back().startsWith(QStringLiteral("写真・画像ﾌｧｲﾙ (")));
      QCOMPARE(rig.messages.texts,
               QStringList({"ファイル名の読み込みでエラー #12290 が発生しました",
                            "pecified device handle is invalid."}));
      CAboutDlg about;
      QCOMPARE(about.windowTitle(), QStringLiteral("Kelvaneのﾊﾞｰｼﾞｮﾝ情報"));
      QCOMPARE(about.VersionLabel()->text(), QStringLiteral("Kelvane Version 2"));
      QCOMPARE(about.OkButton()->text(), QStringLiteral("OK"));
    } else {
      VerifyEnglish(*rig.pFrame);
      for (const Text& text : texts) {
        if (text.strText == QStringLiteral("日本語")) continue;
        QVERIFY2(!HasJapanese(text.strText),
                 qPrintable(text.strWhere + QStringLiteral(": ") + text.strText));
      }
      QCOMPARE(CMainFrame::PictureDialogTitle(), QStringLiteral("Choose a Background Picture"));
      QCOMPARE(CMainFrame::PictureFilters().front(), QStringLiteral("Bitmap pictures (*.bmp)"));
      QVERIFY(
          CMainFrame::PictureFilters().back().startsWith(QStringLiteral("Photos and pictures (")));
      QCOMPARE(rig.messages.texts,
               QStringList({"Error #12290 occurred while reading the file name.",
                            "The specified device handle is invalid."}));
      CAboutDlg about;
      QCOMPARE(about.windowTitle(), QStringLiteral("About Kelvane"));
    }
  }

  // Whatever the interface shows is a text the translation knows: walked
  // in the Japanese interface, every text must be a source of the English
  // translation (a tool tip left to Qt is the action's text without its
  // mnemonic, a formatted message is checked whole above).
  void everyTextIsInTheTranslation() {
    QTranslator translator;
    QVERIFY(translator.load(CLanguage::TranslationPath()));
    QVERIFY(!translator.isEmpty());
    CLanguage language;  // Japanese: the source texts show
    Rig rig(m_pProfile.get(), &language);
    QList<Text> texts = FrameTexts(*rig.pFrame) + DialogAndMessageTexts(rig);
    for (const Text& text : texts) {
      if (text.strText.isEmpty()) continue;
      const QByteArray source = text.strText.toUtf8();
      const QString strFrame = translator.translate("CMainFrame", source.constData());
      const QString strWave = translator.translate("CWaveBuffer", source.constData());
      const QString strRecord = translator.translate("CRecordWnd", source.constData());
      const bool bKnown = !strFrame.isEmpty() || !strWave.isEmpty() || !strRecord.isEmpty();
      QVERIFY2(bKnown || text.bDerived,
               qPrintable(QStringLiteral("not in the translation: ") + text.strWhere +
                          QStringLiteral(": ") + text.strText));
    }
    CAboutDlg about;
    for (const Text& text : AboutTexts())
      QVERIFY2(!translator.translate("CAboutDlg", text.strText.toUtf8().constData()).isEmpty(),
               qPrintable(text.strText));
    // Every command of the frame's table and every menu title is translated.
    for (const CommandText& command : CMainFrame::CommandTexts()) {
      for (const char* psz : {command.pszText, command.pszStatus, command.pszToolTip})
        if (psz) QVERIFY2(!translator.translate("CMainFrame", psz).isEmpty(), psz);
    }
    for (const char* psz : CMainFrame::MenuTitles())
      QVERIFY2(!translator.translate("CMainFrame", psz).isEmpty(), psz);
    // Every message the sound layer can give is one the frame has marked.
    for (int nResult = -1; nResult < 64; ++nResult) {
      const char* psz = CWaveBuffer::ResultText(nResult);
      if (psz) QVERIFY2(!translator.translate("CWaveBuffer", psz).isEmpty(), psz);
    }
  }

  // No Japanese text of the shell reaches the user but through the
  // translation: every literal with Japanese in it is the text of a tr() or
  // of a QT_TRANSLATE_NOOP (whose translations lupdate keeps current, see
  // app_translations_current). Font family names are the only exception.
  void noJapaneseBypassesTheTranslation() {
    const QDir dir(QStringLiteral(SOLVARI_SOURCE_DIR "/app"));
    const QStringList files =
        dir.entryList({QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files);
    QVERIFY(files.contains(QStringLiteral("main_frame.cpp")));
    QVERIFY(files.contains(QStringLiteral("record_wnd.cpp")));
    static const QRegularExpression marked(
        QStringLiteral("(\\btr\\(|QT_TRANSLATE_NOOP\\(\"\",|translate\\(\"\",)\\s*(\"\"\\s*)*$"));
    static const QRegularExpression fonts(QStringLiteral("setFamilies\\(\\{[^;]*$"));
    int nFound = 0;
    for (const QString& strFile : files) {
      QFile file(dir.filePath(strFile));
      QVERIFY(file.open(QIODevice::ReadOnly));
      for (const Literal& literal : NonAsciiLiterals(QString::fromUtf8(file.readAll()))) {
        if (!HasJapanese(literal.strText)) continue;
        ++nFound;
        QVERIFY2(literal.strBefore.contains(marked) || literal.strBefore.contains(fonts),
                 qPrintable(QStringLiteral("%1:%2: \"%3\" is not translated")
                                .arg(strFile)
                                .arg(literal.nLine)
                                .arg(literal.strText)));
      }
    }
    QVERIFY(nFound > 80);
  }

  // The scan itself: it tells a text given to tr() from one that is not.
  void theScanSeesAnUntranslatedText() {
    const QList<Literal> literals = NonAsciiLiterals(
        QStringLiteral("// \"無視\"\nf(tr(\"開始\"));\ng(QStringLiteral(\"停止\"));\n"
                       "h(QT_TRANSLATE_NOOP(\"C\", \"速さ\"));\nk('\"', \"a\" \"録音\");"));
    QCOMPARE(literals.size(), 4);
    QCOMPARE(literals[0].strText, QStringLiteral("開始"));
    QCOMPARE(literals[1].strText, QStringLiteral("停止"));
    QCOMPARE(literals[1].nLine, 3);
    QVERIFY(literals[1].strBefore.endsWith(QStringLiteral("QStringLiteral(")));
    QVERIFY(literals[2].strBefore.endsWith(QStringLiteral("QT_TRANSLATE_NOOP(\"\", ")));
    QCOMPARE(literals[3].strText, QStringLiteral("録音"));
  }

  // The language menu switches at once, stores the choice and leaves the
  // Japanese texts exactly as they were on the way back.
  void theMenuSwitchesAtOnce() {
    CLanguage language;
    QVERIFY(language.Apply(QStringLiteral("ja")));
    Rig rig(m_pProfile.get(), &language);
    CMainFrame& frame = *rig.pFrame;
    QVERIFY(frame.Action(ID_LANGUAGE_SYSTEM)->isChecked());
    // Available in every state, the title screen included.
    QVERIFY(frame.Action(ID_LANGUAGE_ENGLISH)->isEnabled());

    frame.Action(ID_LANGUAGE_ENGLISH)->trigger();
    QCOMPARE(language.Current(), QStringLiteral("en"));
    QCOMPARE(m_pProfile->GetProfileString("Reading", "Language", "?"), std::string("en"));
    QVERIFY(frame.Action(ID_LANGUAGE_ENGLISH)->isChecked());
    QVERIFY(!frame.Action(ID_LANGUAGE_SYSTEM)->isChecked());
    VerifyEnglish(frame);
    frame.Action(ID_HELP)->trigger();
    QCOMPARE(rig.openedUrls.size(), 1);
    QVERIFY2(rig.openedUrls.back().toLocalFile().endsWith(".en.html"),
             qPrintable(rig.openedUrls.back().toString()));
    // Qt's own language event comes later and changes nothing.
    QCoreApplication::processEvents();
    VerifyEnglish(frame);

    frame.Action(ID_LANGUAGE_JAPANESE)->trigger();
    QCOMPARE(language.Current(), QStringLiteral("ja"));
    QCOMPARE(m_pProfile->GetProfileString("Reading", "Language", "?"), std::string("ja"));
    QCoreApplication::processEvents();
    VerifyJapanese(rig);
    frame.Action(ID_HELP_FINDER)->trigger();
    QCOMPARE(rig.openedUrls.back(), QUrl::fromLocalFile(CMainFrame::HelpFilePath("ja")));

    frame.Action(ID_LANGUAGE_SYSTEM)->trigger();
    QCOMPARE(m_pProfile->GetProfileString("Reading", "Language", "?"), std::string());
    QCOMPARE(language.Current(), m_strExpected);
    QVERIFY(frame.Action(ID_LANGUAGE_SYSTEM)->isChecked());
    // The choice is read back by the next start.
    CQtProfileStore again(m_pDir->filePath("Kelvane.conf"));
    QCOMPARE(ChosenLanguage(again), m_strExpected);
  }

  // The help pages lie side by side, one per language.
  void helpPages() {
    QVERIFY(CMainFrame::HelpFilePath("ja").endsWith(".html"));
    QVERIFY(!CMainFrame::HelpFilePath("ja").endsWith(".en.html"));
    QVERIFY(CMainFrame::HelpFilePath("en").endsWith(".en.html"));
    QCOMPARE(CMainFrame::HelpFilePath(), CMainFrame::HelpFilePath("ja"));
    const struct {
      const char* pszPage;
      const char* pszTag;
    } pages[] = {{"/data/Solvari.html", "<html lang=\"ja\">"},
                 {"/data/Solvari.en.html", "<html lang=\"en\">"}};
    for (const auto& p : pages) {
      QFile page(QStringLiteral(SOLVARI_SOURCE_DIR) + QString::fromLatin1(p.pszPage));
      QVERIFY2(page.open(QIODevice::ReadOnly), p.pszPage);
      QVERIFY2(page.readAll().contains(p.pszTag), p.pszPage);
    }
  }
};

QTEST_MAIN(TestLanguage)
#include "test_language.moc"

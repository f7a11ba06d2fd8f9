// SPDX-License-Identifier: GPL-3.0-or-later
// The program's shell on the offscreen platform: command states, menus and
// tool bar, sizes, settings, the picture command, the title screen and
// closing during a recitation. Time is simulated.
#include <QAction>
#include <QBuffer>
#include <QDropEvent>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "app/about_dlg.h"
#include "app/main_frame.h"
#include "app/qt_profile_store.h"
#include "app/qt_timer_service.h"
#include "app/title_sound.h"
#include "audio/voice_segment.h"
#include "core/exe_directory.h"
#include "core/sutra_readings.h"
#include "shell_fakes.h"

using namespace solvari;
using namespace solvari::app;
using namespace solvari::app::test;

namespace {

using Rig = ShellRig;

struct CommandState {
  bool start, stop, picture, maximize, repeat;
};

CommandState StatesOf(const CMainFrame& frame) {
  return {frame.Action(ID_READ_START)->isEnabled(), frame.Action(ID_READ_STOP)->isEnabled(),
          frame.Action(ID_FILE_PICTURE)->isEnabled(), frame.Action(ID_READ_MAXIMIZE)->isEnabled(),
          frame.Action(ID_READ_REPEAT)->isEnabled()};
}

QString EnabledString(const CommandState& s) {
  return QStringLiteral("%1%2%3%4%5")
      .arg(s.start ? 'S' : '-')
      .arg(s.stop ? 'T' : '-')
      .arg(s.picture ? 'P' : '-')
      .arg(s.maximize ? 'M' : '-')
      .arg(s.repeat ? 'R' : '-');
}

QStringList MenuTexts(QMenu* pMenu) {
  QStringList texts;
  for (QAction* pAction : pMenu->actions())
    texts << (pAction->isSeparator() ? QStringLiteral("(sep)") : pAction->text());
  return texts;
}

}  // namespace

class TestShell : public QObject {
  Q_OBJECT

 private:
  // Every test gets a folder of its own as the program's folder.
  std::unique_ptr<QTemporaryDir> m_pDir;
  std::unique_ptr<CQtProfileStore> m_pProfile;
  QString Path(const char* pszName) const { return m_pDir->filePath(QString::fromLatin1(pszName)); }
  void WriteVoices(int nCount) {
    const std::vector<std::uint8_t> pcm(2205 * 2, 0);
    for (int i = 0; i < nCount; ++i)
      QVERIFY(WriteVoiceSegment(GetVoiceSegmentPath(i), pcm.data(),
                                static_cast<std::uint32_t>(pcm.size())));
  }

 private slots:
  void init() {
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
    SetExeDirectory(m_pDir->path().toStdString() + "/");
    m_pProfile = std::make_unique<CQtProfileStore>(Path("Kelvane.conf"));
  }
  void cleanup() {
    m_pProfile.reset();
    m_pDir.reset();
  }

  void commandStatesFollowTheState() {
    WriteVoices(2);
    Rig rig;
    rig.Create(m_pProfile.get());
    CMainFrame& frame = *rig.pFrame;
    QCOMPARE(frame.m_nState, int(Title));
    QCOMPARE(EnabledString(StatesOf(frame)), QStringLiteral("-----"));
    rig.timers.Advance(kTitleDelayMs);
    QCOMPARE(EnabledString(StatesOf(frame)), QStringLiteral("-----"));
    rig.timers.Advance(kTitleShowMs);
    QCOMPARE(frame.m_nState, int(Idle));
    QCOMPARE(EnabledString(StatesOf(frame)), QStringLiteral("S-PMR"));

    frame.Action(ID_READ_START)->trigger();
    QCOMPARE(frame.m_nState, int(Starting));
    QCOMPARE(EnabledString(StatesOf(frame)), QStringLiteral("-----"));
    rig.timers.Advance(300);
    QCOMPARE(frame.m_nState, int(Reading));
    QCOMPARE(EnabledString(StatesOf(frame)), QStringLiteral("-T---"));
    // The About box and Exit stay available in every state.
    QVERIFY(frame.Action(ID_APP_ABOUT)->isEnabled());
    QVERIFY(frame.Action(ID_APP_EXIT)->isEnabled());

    frame.Action(ID_READ_STOP)->trigger();
    QCOMPARE(frame.m_nState, int(Reading));  // until the returned buffer's event
    QTRY_COMPARE(frame.m_nState, int(Idle));
    QCOMPARE(EnabledString(StatesOf(frame)), QStringLiteral("S-PMR"));
    QCOMPARE(rig.log.nDonesDelivered, 1);
  }

  void theVoiceCarriesOnPhraseByPhrase() {
    WriteVoices(2);
    Rig rig;
    rig.Create(m_pProfile.get());
    rig.PastTitle();
    rig.pFrame->OnReadStart();
    rig.timers.Advance(300);
    QCOMPARE(rig.pFrame->m_nPhrase, 0);
    rig.pDevice->Finish();
    QTRY_COMPARE(rig.pFrame->m_nPhrase, 1);
    QCOMPARE(rig.pFrame->m_nState, int(Reading));
    rig.pDevice->Finish();  // V02.SGM is missing: the reading ends
    QTRY_COMPARE(rig.pFrame->m_nState, int(Idle));
    QVERIFY(rig.pFrame->Action(ID_READ_START)->isEnabled());
  }

  void noSoundDeviceEndsTheReadingQuietly() {
    WriteVoices(1);
    Rig rig;
    rig.Create(m_pProfile.get(), kWaveNoDriver);
    rig.PastTitle();
    rig.pFrame->OnReadStart();
    rig.timers.Advance(300);
    QCOMPARE(rig.pFrame->m_nState, int(Idle));
    QVERIFY(rig.messages.texts.isEmpty());
  }

  void menusAndToolBar() {
    Rig rig;
    rig.Create(m_pProfile.get());
    CMainFrame& frame = *rig.pFrame;
    const QList<QAction*> menus = frame.menuBar()->actions();
    // The three menus of old, with the language menu before Help.
    QCOMPARE(menus.size(), 4);
    QCOMPARE(menus[0]->text(), QStringLiteral("ﾌｧｲﾙ(&F)"));
    QCOMPARE(menus[1]->text(), QStringLiteral("読経"));
    QCOMPARE(menus[2]->text(), QStringLiteral("言語"));
    QCOMPARE(menus[3]->text(), QStringLiteral("ﾍﾙﾌﾟ(&H)"));
    QCOMPARE(
        MenuTexts(menus[0]->menu()),
        QStringList({"画像の設定(&P)", "ふりがな", "(sep)", "音声の録音...", "録音した声で読経(&V)",
                     "(sep)", "記録...", "(sep)", "ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)"}));
    QCOMPARE(MenuTexts(menus[1]->menu()),
             QStringList({"開始(&S)", "停止(T)", "(sep)", "最大化する(&M)", "(sep)", "繰り返す(&R)",
                          "回数", "(sep)", "木魚", "鏧子", "声なし", "(sep)", "次の句へ",
                          "前の句へ", "この句を繰り返す", "速さ"}));
    QCOMPARE(MenuTexts(menus[3]->menu()),
             QStringList({"ﾄﾋﾟｯｸの検索(&H)", "(sep)", "ﾊﾞｰｼﾞｮﾝ情報(&A)..."}));

    const QList<QAction*> buttons = frame.ToolBar().actions();
    QCOMPARE(buttons.size(), 7);
    const int order[] = {ID_READ_START, ID_READ_STOP, 0, ID_READ_MAXIMIZE, ID_READ_REPEAT, 0,
                         ID_APP_ABOUT};
    for (int i = 0; i < 7; ++i) {
      if (order[i] == 0)
        QVERIFY(buttons[i]->isSeparator());
      else
        QCOMPARE(buttons[i], frame.Action(order[i]));
      if (order[i] != 0) QVERIFY2(!buttons[i]->icon().isNull(), qPrintable(buttons[i]->text()));
    }
    QCOMPARE(frame.Action(ID_READ_START)->toolTip(), QStringLiteral("読経を開始"));
    QCOMPARE(frame.Action(ID_READ_STOP)->toolTip(), QStringLiteral("読経を停止"));
    QCOMPARE(frame.Action(ID_READ_MAXIMIZE)->toolTip(), QStringLiteral("読経時に最大化"));
    QCOMPARE(frame.Action(ID_READ_REPEAT)->toolTip(), QStringLiteral("繰り返す"));
    QCOMPARE(frame.Action(ID_READ_START)->statusTip(), QStringLiteral("読経を開始します"));
    QCOMPARE(frame.Action(ID_HELP)->shortcut(), QKeySequence(Qt::Key_F1));
    QCOMPARE(frame.Action(ID_CONTEXT_HELP)->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F1));
    QCOMPARE(frame.windowTitle(), QStringLiteral("Kelvane"));
    QVERIFY(QFile::exists(QStringLiteral(":/solvari.png")));  // the window icon
  }

  void readingAidCommand() {
    WriteVoices(1);
    {
      Rig rig;
      rig.Create(m_pProfile.get());
      CMainFrame& frame = *rig.pFrame;
      // ﾌｧｲﾙ → ふりがな: three radio choices, none by default.
      QMenu* pRuby = frame.menuBar()->actions()[0]->menu()->actions()[1]->menu();
      QVERIFY(pRuby != nullptr);
      QCOMPARE(MenuTexts(pRuby), QStringList({"なし", "かな", "ローマ字"}));
      const int ids[] = {ID_READ_RUBY_NONE, ID_READ_RUBY_KANA, ID_READ_RUBY_ROMAJI};
      for (int i = 0; i < 3; ++i) {
        QCOMPARE(pRuby->actions()[i], frame.Action(ids[i]));
        QVERIFY(frame.Action(ids[i])->isCheckable());
        QVERIFY(!frame.Action(ids[i])->isEnabled());  // not during the title
      }
      QCOMPARE(frame.m_nRuby, int(RubyNone));
      QVERIFY(frame.Action(ID_READ_RUBY_NONE)->isChecked());
      rig.PastTitle();
      QVERIFY(frame.Action(ID_READ_RUBY_KANA)->isEnabled());
      QVERIFY(!m_pProfile->Settings().contains("Reading/Ruby"));  // nothing written unasked

      frame.Action(ID_READ_RUBY_ROMAJI)->trigger();
      QCOMPARE(frame.m_nRuby, int(RubyRomaji));
      QCOMPARE(m_pProfile->GetProfileInt("Reading", "Ruby", -1), 2);  // stored at once
      frame.Action(ID_READ_RUBY_KANA)->trigger();
      QCOMPARE(m_pProfile->GetProfileInt("Reading", "Ruby", -1), 1);
      QVERIFY(frame.Action(ID_READ_RUBY_KANA)->isChecked());
      QVERIFY(!frame.Action(ID_READ_RUBY_NONE)->isChecked());
      QVERIFY(!frame.Action(ID_READ_RUBY_ROMAJI)->isChecked());

      // During a recitation the choice stands and the page shows the kana in
      // the free strip right of the first column, lit with its character.
      frame.show();
      QVERIFY(QTest::qWaitForWindowExposed(&frame));
      frame.OnReadStart();
      QVERIFY(!frame.Action(ID_READ_RUBY_NONE)->isEnabled());
      frame.OnSelectRuby(RubyNone);  // refused outside Idle
      QCOMPARE(frame.m_nRuby, int(RubyKana));
      QTRY_VERIFY(!frame.View().IsFullPaintPending());
      rig.timers.Advance(300);
      QCOMPARE(frame.m_nState, int(Reading));
      const CSurface& s = frame.View().Surface();
      int nGreen = 0;
      for (int y = 13; y < 53; ++y)
        for (int x = 609 + 70; x < 609 + 114; ++x) nGreen += s.GetPixel(x, y) == RGB(0, 255, 0);
      QVERIFY2(nGreen > 10, qPrintable(QString::number(nGreen)));
      frame.OnReadStop();
      QTRY_COMPARE(frame.m_nState, int(Idle));
    }
    // The choice survives a restart; a stored value that means nothing is none.
    m_pProfile = std::make_unique<CQtProfileStore>(Path("Kelvane.conf"));
    {
      Rig again;
      again.Create(m_pProfile.get());
      QCOMPARE(again.pFrame->m_nRuby, int(RubyKana));
      QVERIFY(again.pFrame->Action(ID_READ_RUBY_KANA)->isChecked());
    }
    m_pProfile->WriteProfileInt("Reading", "Ruby", 7);
    Rig odd;
    odd.Create(m_pProfile.get());
    QCOMPARE(odd.pFrame->m_nRuby, int(RubyNone));
    QVERIFY(odd.pFrame->Action(ID_READ_RUBY_NONE)->isChecked());
  }

  void helpCommandsOpenThePageBesideTheProgram() {
    Rig rig;
    rig.Create(m_pProfile.get());
    rig.pFrame->Action(ID_HELP_FINDER)->trigger();
    rig.pFrame->Action(ID_HELP)->trigger();
    rig.pFrame->Action(ID_DEFAULT_HELP)->trigger();
    QCOMPARE(rig.openedUrls.size(), 3);
    const QString strPath = rig.openedUrls[0].toLocalFile();
    QVERIFY(strPath.startsWith(m_pDir->path() + "/"));
    QVERIFY(strPath.endsWith(".html"));
  }

  void frameAndViewSizes() {
    Rig rig;
    rig.Create(m_pProfile.get());
    CMainFrame& frame = *rig.pFrame;
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    QCOMPARE(frame.ClientRect().size(), QSize(727, 457));
    QCOMPARE(frame.ToolBar().height(), 28);
    QCOMPARE(frame.View().size(), QSize(727, 429));
    QCOMPARE(frame.View().ClientSize(), QSize(723, 425));
    QCOMPARE(frame.View().ColumnsPerPage(), 6);
    QCOMPARE(frame.minimumSize(), frame.maximumSize());  // no resizing by dragging
    QTRY_VERIFY(frame.View().FullPaintCount() >= 1);
    QCOMPARE(frame.View().Surface().Width(), 723);
    // The overview is white at the top right corner.
    QCOMPARE(frame.View().Surface().GetPixel(722, 0), RGB(255, 255, 255));
  }

  void maximizeAtStartAndRestoreAtTheEnd() {
    m_pProfile->WriteProfileInt("Reading", "Maximized", 1);
    Rig rig;
    rig.Create(m_pProfile.get());
    CMainFrame& frame = *rig.pFrame;
    frame.showNormal();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    rig.PastTitle();
    frame.OnReadStart();  // no voice files: the reading ends after 300 ms
    QVERIFY(frame.isMaximized());
    rig.timers.Advance(300);
    QCOMPARE(frame.m_nState, int(Idle));
    QVERIFY(!frame.isMaximized());
    QTRY_COMPARE(frame.ClientRect().size(), QSize(727, 457));
  }

  void settingsPersistAcrossRuns() {
    {
      Rig first;
      first.Create(m_pProfile.get());
      QCOMPARE(first.pFrame->m_bMaximizeOnReading, 0);  // first run: nothing stored
      QCOMPARE(m_pProfile->GetProfileInt("WAV Config", "WavOutDevice", -1), -1);
      first.PastTitle();
      first.pFrame->Action(ID_READ_MAXIMIZE)->trigger();
      first.pFrame->Action(ID_READ_REPEAT)->trigger();
      QVERIFY(first.pFrame->Action(ID_READ_MAXIMIZE)->isChecked());
      QVERIFY(first.pFrame->Action(ID_READ_REPEAT)->isChecked());
      QCOMPARE(first.pFrame->m_bRepeat, 1);
    }
    m_pProfile = std::make_unique<CQtProfileStore>(Path("Kelvane.conf"));
    Rig second;
    second.Create(m_pProfile.get());
    QCOMPARE(second.pFrame->m_bMaximizeOnReading, 1);
    QCOMPARE(second.pFrame->m_bRepeat, 0);
    QVERIFY(second.pFrame->Action(ID_READ_MAXIMIZE)->isChecked());
    QVERIFY(!second.pFrame->Action(ID_READ_REPEAT)->isChecked());
    second.PastTitle();
    second.pFrame->Action(ID_READ_MAXIMIZE)->trigger();
    QCOMPARE(m_pProfile->GetProfileInt("Reading", "Maximized", -5), 0);  // stored at once
  }

  void firstRunUsesTheDefaultPicture() {
    WriteBmp(Path("default.bmp"), 64, 48);
    Rig rig;
    rig.Create(m_pProfile.get());
    QVERIFY(!rig.pFrame->m_hPicture.IsNull());
    QCOMPARE(GetDibWidth(rig.pFrame->m_hPicture), 64);
    QVERIFY(!m_pProfile->Settings().contains("Reading/Picture"));  // read, not written
  }

  void pictureCommand_data() {
    QTest::addColumn<bool>("chosen");
    QTest::addColumn<long>("error");
    QTest::addColumn<QString>("message");
    QTest::newRow("a file chosen") << true << 0L << QString();
    QTest::newRow("cancel") << false << 0L << QString();
    QTest::newRow("dialog error") << false << 12290L
                                  << QStringLiteral(
                                         "ファイル名の読み込みでエラー #12290 が発生しました");
  }
  void pictureCommand() {
    QFETCH(bool, chosen);
    QFETCH(long, error);
    QFETCH(QString, message);
    WriteBmp(Path("mine.bmp"), 30, 20);
    Rig rig;
    rig.Create(m_pProfile.get());
    rig.PastTitle();
    rig.dialog.next = {chosen, chosen ? Path("mine.bmp") : QString(), error};
    rig.pFrame->Action(ID_FILE_PICTURE)->trigger();
    QCOMPARE(rig.dialog.nRuns, 1);
    if (chosen) {
      QCOMPARE(QString::fromStdString(m_pProfile->GetProfileString("Reading", "Picture", "")),
               Path("mine.bmp"));
      QCOMPARE(GetDibWidth(rig.pFrame->m_hPicture), 30);
    } else {
      QVERIFY(!m_pProfile->Settings().contains("Reading/Picture"));
      QVERIFY(rig.pFrame->m_hPicture.IsNull());
    }
    if (message.isEmpty()) {
      QVERIFY(rig.messages.texts.isEmpty());
    } else {
      QCOMPARE(rig.messages.texts, QStringList{message});
      QCOMPARE(rig.messages.icons.front(), QMessageBox::Critical);
    }
  }

  void pictureDialogFilters() {
    const QStringList filters = CMainFrame::PictureFilters();
    QCOMPARE(filters.size(), 2);
    QCOMPARE(filters[0], QStringLiteral("画像ﾌｧｲﾙ (*.bmp)"));
    for (const char* p : {"*.jpg", "*.jpeg", "*.png", "*.webp", "*.gif", "*.tif", "*.tiff"})
      QVERIFY2(filters[1].contains(QLatin1String(p)), p);
  }

  // Dropping a file on the window does what the picture command does with a
  // chosen file, and only while that command is available.
  void droppingAPicture() {
    QImage image(12, 9, QImage::Format_RGB32);
    image.fill(qRgb(10, 120, 230));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(image.save(&buffer, "PNG"));
    WriteBytes(Path("photo.png"), png);
    WriteBmp(Path("mine.bmp"), 30, 20);
    Rig rig;
    rig.Create(m_pProfile.get());
    rig.pFrame->show();
    QVERIFY(rig.pFrame->acceptDrops());

    const auto drop = [&](const QList<QUrl>& urls) {
      QMimeData data;
      data.setUrls(urls);
      const QPoint at = rig.pFrame->View().geometry().center();
      QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(rig.pFrame.get(), &enter);
      const bool bAccepted = enter.isAccepted();
      if (bAccepted) {
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(rig.pFrame.get(), &dropped);
      }
      return bAccepted;
    };
    const QUrl photo = QUrl::fromLocalFile(Path("photo.png"));

    QVERIFY(!drop({photo}));  // the title screen: the picture command is off
    QVERIFY(!m_pProfile->Settings().contains("Reading/Picture"));
    rig.PastTitle();
    QVERIFY(drop({photo}));
    QCOMPARE(QString::fromStdString(m_pProfile->GetProfileString("Reading", "Picture", "")),
             Path("photo.png"));
    QCOMPARE(GetDibWidth(rig.pFrame->m_hPicture), 12);
    QCOMPARE(GetDibHeight(rig.pFrame->m_hPicture), 9);
    QVERIFY(drop({QUrl::fromLocalFile(Path("mine.bmp"))}));
    QCOMPARE(GetDibWidth(rig.pFrame->m_hPicture), 30);
    // Two files, a folder, a remote address: refused, nothing changes.
    QVERIFY(!drop({photo, photo}));
    QVERIFY(!drop({QUrl::fromLocalFile(m_pDir->path())}));
    QVERIFY(!drop({QUrl(QStringLiteral("https://example.org/a.png"))}));
    QCOMPARE(GetDibWidth(rig.pFrame->m_hPicture), 30);
    // A file that is not a picture is taken like one chosen in the dialog:
    // no picture afterwards.
    WriteBytes(Path("notes.txt"), "not a picture");
    QVERIFY(drop({QUrl::fromLocalFile(Path("notes.txt"))}));
    QVERIFY(rig.pFrame->m_hPicture.IsNull());
    // During a recitation the command is off again.
    WriteVoices(1);
    rig.pFrame->OnReadStart();
    QVERIFY(!drop({photo}));
    QVERIFY(rig.pFrame->m_hPicture.IsNull());
  }

  void titlePosition_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<QSize>("size");
    QTest::newRow("400 x 300") << 400 << 300 << QPoint(163, 78) << QSize(408, 308);
    QTest::newRow("wider than the client area")
        << 800 << 100 << QPoint(-36, 178) << QSize(808, 108);
    QTest::newRow("not a bitmap") << 0 << 0 << QPoint(363, 228) << QSize(8, 8);
  }
  void titlePosition() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QPoint, pos);
    QFETCH(QSize, size);
    if (width > 0)
      WriteBmp(Path("Copyright.bmp"), width, height);
    else
      WriteBytes(Path("Copyright.bmp"), "this is no bitmap");
    Rig rig;
    rig.Create(m_pProfile.get());
    rig.pFrame->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.pFrame.get()));
    QVERIFY(rig.pFrame->TitleWnd().isHidden());
    rig.timers.Advance(kTitleDelayMs);
    QCOMPARE(rig.sound.played, QStringList{Path("Title.WAV")});
    QVERIFY(rig.pFrame->TitleWnd().isVisible());
    QCOMPARE(rig.pFrame->TitleWnd().PositionInClient(), pos);
    QCOMPARE(rig.pFrame->TitleWnd().size(), size);
    QCOMPARE(rig.pFrame->m_nState, int(Title));
    rig.timers.Advance(kTitleShowMs - 1);
    QCOMPARE(rig.pFrame->m_nState, int(Title));
    rig.timers.Advance(1);
    QVERIFY(rig.pFrame->TitleWnd().isHidden());
    QCOMPARE(rig.pFrame->m_nState, int(Idle));
  }

  void idleAtTitleEndWithoutAPicture() {
    Rig rig;  // no Copyright.bmp
    rig.Create(m_pProfile.get());
    rig.timers.Advance(kTitleDelayMs);
    QVERIFY(rig.pFrame->TitleWnd().isHidden());
    QVERIFY(rig.timers.IsPending(31));
    rig.timers.Advance(kTitleShowMs);
    QCOMPARE(rig.pFrame->m_nState, int(Idle));
    QVERIFY(!rig.timers.IsPending(30) && !rig.timers.IsPending(31));
  }

  void closingDuringARecitation() {
    WriteVoices(1);
    DeviceLog log;
    {
      Rig rig;
      rig.Create(m_pProfile.get());
      rig.pFrame->show();
      rig.PastTitle();
      rig.pFrame->OnReadStart();
      rig.timers.Advance(300);
      QCOMPARE(rig.pFrame->m_nState, int(Reading));
      rig.pFrame->close();
      rig.pFrame.reset();
      log = rig.log;
      QVERIFY(!rig.timers.IsPending(10) && !rig.timers.IsPending(20));
    }
    // Reset and close came before the device went, and the done event that the
    // reset posted never arrives.
    const auto& c = log.calls;
    const auto reset = std::find(c.begin(), c.end(), "reset");
    const auto close = std::find(reset, c.end(), "close");
    QVERIFY(reset != c.end() && close != c.end());
    QCOMPARE(c.back(), std::string("destroyed"));
    QTest::qWait(20);
    QCOMPARE(log.nDonesDelivered, 0);
  }

  void aboutBox() {
    CAboutDlg dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Kelvaneのﾊﾞｰｼﾞｮﾝ情報"));
    QCOMPARE(dialog.VersionLabel()->text(), QStringLiteral("Kelvane Version 2"));
    QVERIFY(!dialog.MakerLabel()->text().isEmpty());
    QVERIFY(dialog.PictureLabel()->pixmap().size() == QSize(240, 240));
    QCOMPARE(dialog.OkButton()->text(), QStringLiteral("OK"));
    QVERIFY(dialog.OkButton()->isDefault());
    QVERIFY(dialog.ReadingAidLabel()->text().contains(QStringLiteral("ふりがな")));
    QVERIFY(!dialog.ReadingAidLabel()->geometry().intersects(dialog.OkButton()->geometry()));
    QVERIFY(!dialog.ReadingAidLabel()->geometry().intersects(dialog.PictureLabel()->geometry()));
    // Everything lies inside the dialog.
    for (QWidget* pChild : dialog.findChildren<QWidget*>())
      QVERIFY2(dialog.rect().contains(pChild->geometry()), qPrintable(pChild->objectName()));
  }

  void qtTimerService() {
    std::vector<unsigned> fired;
    CQtTimerService timers([&](unsigned nId) {
      fired.push_back(nId);
      timers.KillTimer(nId);
    });
    timers.KillTimer(20);  // idle: nothing happens
    timers.SetTimer(20, 5000);
    timers.SetTimer(20, 10);  // replaces the pending one
    timers.SetTimer(31, 30);
    QTRY_COMPARE(fired.size(), size_t(2));
    QCOMPARE(fired, (std::vector<unsigned>{20, 31}));
    QVERIFY(!timers.IsPending(20) && !timers.IsPending(31));
  }

  void wavParsing() {
    const auto wav = [](quint16 tag, quint16 channels, quint16 bits, quint32 claimed, int actual) {
      QByteArray b("RIFF\0\0\0\0WAVEfmt ", 16);
      const auto u32 = [&](quint32 v) { b.append(reinterpret_cast<const char*>(&v), 4); };
      const auto u16 = [&](quint16 v) { b.append(reinterpret_cast<const char*>(&v), 2); };
      u32(16), u16(tag), u16(channels), u32(22050), u32(44100), u16(2), u16(bits);
      b.append("data", 4);
      u32(claimed);
      b.append(QByteArray(actual, '\x01'));
      return b;
    };
    WavSound sound;
    QVERIFY(ParseWav(wav(1, 1, 16, 100, 100), &sound));
    QCOMPARE(sound.pcm.size(), 100);
    QCOMPARE(sound.nSamplesPerSec, 22050);
    QVERIFY(ParseWav(wav(1, 1, 16, 100000, 51), &sound));  // lying length: what is there
    QCOMPARE(sound.pcm.size(), 50);
    QVERIFY(!ParseWav(wav(3, 1, 16, 100, 100), &sound));  // not PCM
    QVERIFY(!ParseWav(wav(1, 1, 24, 100, 100), &sound));
    QVERIFY(!ParseWav(wav(1, 1, 16, 0, 0), &sound));
    QVERIFY(!ParseWav(QByteArray("RIFF"), &sound));
  }
};

QTEST_MAIN(TestShell)
#include "test_shell.moc"

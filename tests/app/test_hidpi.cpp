// SPDX-License-Identifier: GPL-3.0-or-later
// The shell on a screen of twice the density (QT_SCALE_FACTOR=2 on the
// offscreen platform): the frame, tool bar and view take twice the screen
// pixels, and the view paints at scale 2, pixel for pixel on the screen.
#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/dib_image.h"
#include "app/main_frame.h"
#include "app/qt_profile_store.h"
#include "audio/voice_segment.h"
#include "core/exe_directory.h"
#include "core/reading_state.h"
#include "render/fixed_view_host.h"
#include "render/resource_bitmaps.h"
#include "render/sutra_view.h"
#include "shell_fakes.h"

using namespace solvari;
using namespace solvari::app;
using namespace solvari::app::test;

namespace {

using Rig = ShellRig;

// The view's pixels as render/ paints them on their own at scale 2.
CSurface PaintedAlone(int nState, int nPhrase) {
  CFixedViewHost host;
  host.nState = nState;
  host.nPhrase = nPhrase;
  solvari::CSutraView view(host, MakeResourceBitmapFinder());
  view.SetClientSize(1446, 850, 2);
  view.OnPaint();
  return view.Surface();
}

}  // namespace

class TestHiDpi : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> m_pDir;
  std::unique_ptr<CQtProfileStore> m_pProfile;

 private slots:
  void init() {
    m_pDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_pDir->isValid());
    SetExeDirectory(m_pDir->path().toStdString() + "/");
    m_pProfile = std::make_unique<CQtProfileStore>(m_pDir->filePath("Kelvane.conf"));
    const std::vector<std::uint8_t> pcm(2205 * 2, 0);
    QVERIFY(WriteVoiceSegment(GetVoiceSegmentPath(0), pcm.data(),
                              static_cast<std::uint32_t>(pcm.size())));
  }
  void cleanup() {
    m_pProfile.reset();
    m_pDir.reset();
  }

  void frameToolBarAndViewAreTwiceTheSize() {
    Rig rig;
    rig.Create(m_pProfile.get());
    CMainFrame& frame = *rig.pFrame;
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    QCOMPARE(frame.devicePixelRatio(), 2);
    const int r = 2;
    // The same geometry in the widgets' own pixels, twice as many screen pixels.
    QCOMPARE(frame.ClientRect().size() * r, QSize(1454, 914));
    QCOMPARE(frame.ToolBar().height() * r, 56);
    QCOMPARE(frame.View().size() * r, QSize(1454, 858));
    QCOMPARE(frame.minimumSize(), frame.maximumSize());
    QCOMPARE(frame.View().Scale(), 2);
    QTRY_VERIFY(frame.View().FullPaintCount() >= 1);
    QCOMPARE(frame.View().Surface().Width(), 1446);
    QCOMPARE(frame.View().Surface().Height(), 850);
    QCOMPARE(frame.View().ColumnsPerPage(), 6);
    const QPixmap shot = frame.grab();
    QCOMPARE(shot.size(), frame.size() * r);
  }

  // The tool bar's icons at twice the density are the buttons drawn at that
  // size (bitmap 1128), not the 16 x 15 ones enlarged; at ratio 1 they stay
  // the 16 x 15 ones.
  void toolBarIconsAreDrawnAtTwiceTheSize() {
    Rig rig;
    rig.Create(m_pProfile.get());
    const QImage strip1 = LoadBitmapImage(128).convertToFormat(QImage::Format_ARGB32);
    const QImage strip2 = LoadBitmapImage(1128).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(strip2.size(), QSize(160, 30));
    const int buttons[] = {ID_READ_START, ID_READ_STOP, ID_READ_MAXIMIZE, ID_READ_REPEAT,
                           ID_APP_ABOUT};
    for (int i = 0; i < 5; ++i) {
      const QIcon icon = rig.pFrame->Action(buttons[i])->icon();
      const QImage big =
          icon.pixmap(QSize(16, 15), 2.0).toImage().convertToFormat(QImage::Format_ARGB32);
      const QImage small =
          icon.pixmap(QSize(16, 15), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
      QCOMPARE(big.size(), QSize(32, 30));
      QCOMPARE(small.size(), QSize(16, 15));
      int nDifferFromDoubled = 0;
      for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 32; ++x) {
          const QRgb want = strip2.pixel(32 * i + x, y);
          // The button face shows through.
          QCOMPARE(big.pixel(x, y), (want & 0xFFFFFF) == 0xC0C0C0 ? QRgb(0) : want);
          if ((strip1.pixel(16 * i + x / 2, y / 2) & 0xFFFFFF) != (want & 0xFFFFFF))
            ++nDifferFromDoubled;
        }
      for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 16; ++x) {
          const QRgb want = strip1.pixel(16 * i + x, y);
          QCOMPARE(small.pixel(x, y), (want & 0xFFFFFF) == 0xC0C0C0 ? QRgb(0) : want);
        }
      // Shapes with slanted or round edges are drawn finer than doubled pixels.
      if (buttons[i] != ID_READ_STOP && buttons[i] != ID_READ_MAXIMIZE)
        QVERIFY2(nDifferFromDoubled > 0, qPrintable(QString::number(i)));
    }
  }

  void viewPaintsAtScaleTwoPixelForPixel() {
    Rig rig;
    rig.Create(m_pProfile.get());
    CMainFrame& frame = *rig.pFrame;
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    QTRY_VERIFY(frame.View().FullPaintCount() >= 1);
    // The overview, with 54 x 54 squares 58 pixels apart.
    QVERIFY(frame.View().Surface() == PaintedAlone(Title, 0));

    rig.timers.Advance(kTitleDelayMs + kTitleShowMs);
    frame.OnReadStart();
    QTRY_VERIFY(!frame.View().IsFullPaintPending());
    QVERIFY(frame.View().Surface() == PaintedAlone(Starting, 0));
    rig.timers.Advance(300);
    QCOMPARE(frame.m_nState, int(Reading));
    // The first character lit: green ink in the 128 x 80 cell of slot 0.
    const CSurface& s = frame.View().Surface();
    int nGreen = 0;
    for (int y = 26; y < 106; ++y)
      for (int x = 1218 + 6; x < 1218 + 134; ++x) nGreen += s.GetPixel(x, y) == RGB(0, 255, 0);
    QVERIFY2(nGreen > 400, qPrintable(QString::number(nGreen)));

    // What reaches the screen is the surface itself, not an enlargement of a
    // smaller picture: every screen pixel inside the edge is its pixel.
    const QImage shot = frame.View().grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shot.size(), QSize(1454, 858));
    int nDiffer = 0;
    for (int y = 0; y < 850; y += 3)
      for (int x = 0; x < 1446; x += 3)
        nDiffer += (shot.pixel(x + 4, y + 4) & 0xFFFFFF) != (s.Row(y)[x] & 0xFFFFFF);
    QCOMPARE(nDiffer, 0);
    frame.OnReadStop();
    QTRY_COMPARE(frame.m_nState, int(Idle));
  }
};

int main(int argc, char** argv) {
  qputenv("QT_SCALE_FACTOR", "2");
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  TestHiDpi test;
  return QTest::qExec(&test, argc, argv);
}

#include "test_hidpi.moc"

// SPDX-License-Identifier: GPL-3.0-or-later
// Large background pictures are read off the user-interface thread: the
// frame keeps what it showed until the new picture is ready, a later choice
// wins over one still being read, bad files leave no picture as before, and
// the frame can go while a picture is being read.
#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <memory>

#include "app/main_frame.h"
#include "app/picture_loader.h"
#include "app/qt_profile_store.h"
#include "core/exe_directory.h"
#include "core/reading_state.h"
#include "shell_fakes.h"

using namespace solvari;
using namespace solvari::app;
using namespace solvari::app::test;

namespace {

QByteArray PngOf(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

QByteArray Png(int w, int h) {
  // Noise, so that the file is large too.
  QImage image(w, h, QImage::Format_RGB32);
  quint32 v = 12345;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      v = v * 1103515245u + 12345u;
      image.setPixel(x, y, v >> 8);
    }
  return PngOf(image);
}

// One colour: a file of a few kilobytes however many pixels it holds.
QByteArray SolidPng(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(qRgb(40, 90, 160));
  return PngOf(image);
}

// A GIF of one pixel whose screen and image both claim w x h: 35 bytes.
QByteArray GifClaiming(quint16 w, quint16 h) {
  QByteArray size(4, '\0');
  qToLittleEndian(w, size.data());
  qToLittleEndian(h, size.data() + 2);
  const QByteArray colours("\x80\0\0\0\0\0\xFF\xFF\xFF", 9);  // black and white
  return QByteArray("GIF89a") + size + colours + QByteArray("\x2C\0\0\0\0", 5) + size +
         QByteArray("\0\x02\x02\x44\x01\0\x3B", 7);
}

}  // namespace

class TestPictureLoad : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> m_pDir;
  std::unique_ptr<CQtProfileStore> m_pProfile;
  ShellRig m_rig;
  QString Path(const char* psz) const { return m_pDir->filePath(QString::fromLatin1(psz)); }
  std::unique_ptr<CMainFrame> Frame() { return m_rig.NewFrame(m_pProfile.get()); }

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

  void smallPicturesAreTakenAtOnceLargeOnesWhenReady() {
    WriteBmp(Path("small.bmp"), 30, 20);    // 1.8 kB
    WriteBmp(Path("large.bmp"), 400, 300);  // 360 kB
    WriteBytes(Path("photo.png"), Png(700, 500));
    QVERIFY(QFileInfo(Path("photo.png")).size() > qint64(CPictureLoader::kReadAtOnceBytes));
    auto pFrame = Frame();
    CMainFrame& frame = *pFrame;
    QVERIFY(frame.m_hPicture.IsNull());  // no default.bmp here

    frame.SetPictureFile(Path("small.bmp"));
    QVERIFY(!frame.IsPictureLoading());
    QCOMPARE(GetDibWidth(frame.m_hPicture), 30);

    frame.SetPictureFile(Path("large.bmp"));
    // The old picture stands until the new one is ready.
    QCOMPARE(GetDibWidth(frame.m_hPicture), 30);
    QTRY_VERIFY(!frame.IsPictureLoading());
    QCOMPARE(GetDibWidth(frame.m_hPicture), 400);
    QCOMPARE(frame.m_nPictureHeight, 300);

    frame.SetPictureFile(Path("photo.png"));
    QTRY_VERIFY(!frame.IsPictureLoading());
    QCOMPARE(GetDibWidth(frame.m_hPicture), 700);
    QCOMPARE(GetDibHeight(frame.m_hPicture), 500);
  }

  // A small file that unpacks to many pixels takes as long to decode as a
  // photo: it is read on the thread too, not at once.
  void smallFilesThatUnpackToManyPixelsAreReadOffTheWindow() {
    WriteBmp(Path("small.bmp"), 30, 20);
    WriteBytes(Path("icon.png"), SolidPng(250, 250));
    WriteBytes(Path("wide.png"), SolidPng(4000, 3000));
    WriteBytes(Path("bomb.gif"), GifClaiming(4000, 4000));
    WriteBytes(Path("dot.gif"), GifClaiming(1, 1));
    for (const char* psz : {"icon.png", "wide.png", "bomb.gif"})
      QVERIFY(QFileInfo(Path(psz)).size() <= qint64(CPictureLoader::kReadAtOnceBytes));
    auto pFrame = Frame();
    CMainFrame& frame = *pFrame;

    frame.SetPictureFile(Path("icon.png"));  // 62,500 pixels: at once
    QVERIFY(!frame.IsPictureLoading());
    QCOMPARE(GetDibWidth(frame.m_hPicture), 250);

    frame.SetPictureFile(Path("wide.png"));
    QVERIFY(frame.IsPictureLoading());
    QCOMPARE(GetDibWidth(frame.m_hPicture), 250);
    QTRY_VERIFY(!frame.IsPictureLoading());
    QCOMPARE(GetDibWidth(frame.m_hPicture), 4000);
    QCOMPARE(GetDibHeight(frame.m_hPicture), 3000);

    // A GIF's canvas may be larger than its header says: never at once.
    frame.SetPictureFile(Path("dot.gif"));
    QVERIFY(frame.IsPictureLoading());
    QTRY_VERIFY(!frame.IsPictureLoading());
    QCOMPARE(GetDibWidth(frame.m_hPicture), 1);
    frame.SetPictureFile(Path("bomb.gif"));
    QVERIFY(frame.IsPictureLoading());
    QTRY_VERIFY_WITH_TIMEOUT(!frame.IsPictureLoading(), 30000);

    // A .bmp is the program's own to read, and unpacks nothing: at once.
    frame.SetPictureFile(Path("small.bmp"));
    QVERIFY(!frame.IsPictureLoading());
    QCOMPARE(GetDibWidth(frame.m_hPicture), 30);
  }

  void aLaterChoiceWinsOverOneStillBeingRead() {
    WriteBmp(Path("small.bmp"), 30, 20);
    WriteBytes(Path("photo.png"), Png(900, 700));
    auto pFrame = Frame();
    CMainFrame& frame = *pFrame;
    QVERIFY(QFileInfo(Path("photo.png")).size() > qint64(CPictureLoader::kReadAtOnceBytes));
    frame.SetPictureFile(Path("photo.png"));
    QVERIFY(frame.IsPictureLoading());
    frame.SetPictureFile(Path("small.bmp"));
    QCOMPARE(GetDibWidth(frame.m_hPicture), 30);
    QTRY_VERIFY(!frame.IsPictureLoading());
    QCOMPARE(GetDibWidth(frame.m_hPicture), 30);  // the photo came late and was dropped
    QCOMPARE(m_pProfile->GetProfileString("Reading", "Picture", ""),
             Path("small.bmp").toStdString());
  }

  void badLargeFilesLeaveNoPictureAndMissingOnesKeepIt() {
    WriteBmp(Path("large.bmp"), 400, 300);
    QByteArray cut = Png(700, 500);
    cut.truncate(cut.size() * 2 / 3);
    WriteBytes(Path("cut.png"), cut);
    WriteBytes(Path("noise.jpg"), QByteArray(200 * 1024, 'x'));
    auto pFrame = Frame();
    CMainFrame& frame = *pFrame;
    for (const char* psz : {"cut.png", "noise.jpg"}) {
      frame.SetPictureFile(Path("large.bmp"));
      QTRY_VERIFY(!frame.IsPictureLoading());
      QVERIFY(!frame.m_hPicture.IsNull());
      frame.SetPictureFile(Path(psz));
      QTRY_VERIFY(!frame.IsPictureLoading());
      QVERIFY2(frame.m_hPicture.IsNull(), psz);
      QVERIFY(frame.m_pPalette == nullptr);
    }
    frame.SetPictureFile(Path("large.bmp"));
    QTRY_VERIFY(!frame.IsPictureLoading());
    frame.SetPictureFile(Path("gone.png"));  // does not open: the picture stays
    QTRY_VERIFY(!frame.IsPictureLoading());
    QCOMPARE(GetDibWidth(frame.m_hPicture), 400);
  }

  void theStartUpPictureAndAFrameThatGoesWhileReading() {
    WriteBmp(Path("default.bmp"), 500, 400);
    {
      auto pFrame = Frame();
      QTRY_VERIFY(!pFrame->IsPictureLoading());
      QCOMPARE(GetDibWidth(pFrame->m_hPicture), 500);
    }
    WriteBytes(Path("photo.png"), Png(1500, 1000));
    for (int i = 0; i < 3; ++i) {
      auto pFrame = Frame();
      pFrame->SetPictureFile(Path("photo.png"));
      pFrame.reset();  // waits for the reading; what it posts goes with the frame
      QCoreApplication::processEvents();
    }
  }
};

QTEST_MAIN(TestPictureLoad)
#include "test_picture_load.moc"

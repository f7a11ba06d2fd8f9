// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/title_wnd.h"

#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "app/dib_image.h"
#include "app/edge_ring.h"
#include "app/title_sound.h"
#include "app/trace.h"
#include "core/exe_directory.h"

namespace solvari::app {

namespace {

// A disk file that remembers whether a read failed, so that a read error can
// be told from a file that is simply not a bitmap.
class CCheckedFile : public CFile {
 public:
  explicit CCheckedFile(CDiskFile& file) : m_file(file) {}
  std::int64_t GetLength() override { return m_file.GetLength(); }
  std::int64_t Read(void* pBuffer, std::size_t nCount) override {
    const std::int64_t n = m_file.Read(pBuffer, nCount);
    if (n < 0) m_bReadError = true;
    return n;
  }
  bool ReadError() const { return m_bReadError; }

 private:
  CDiskFile& m_file;
  bool m_bReadError = false;
};

}  // namespace

CTitleWnd::CTitleWnd() {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::ArrowCursor);
  hide();
}

bool CTitleWnd::Create(QWidget* pParent, std::function<QRect()> clientArea, ITitleSound* pSound) {
  setParent(pParent);
  m_clientArea = std::move(clientArea);
  m_pSound = pSound;
  setGeometry(0, 0, 0, 0);
  hide();
  return pParent != nullptr;
}

void CTitleWnd::ShowTitle(const char* pszPicture, const char* pszSound,
                          std::function<void()> onShown) {
  const std::string& dir = GetExeDirectory();
  if (m_pSound) m_pSound->Play(QString::fromStdString(dir + pszSound));
  CTrace::Event("title-sound");
  m_onShown = std::move(onShown);

  CDiskFile file;
  bool bRead = file.Open(dir + pszPicture);
  if (bRead) {
    CCheckedFile checked(file);
    m_hPicture = ReadBmpFile(checked);
    file.Close();
    if (checked.ReadError()) {
      m_hPicture.Free();
      bRead = false;
    }
  }
  if (!bRead) {
    if (auto done = std::exchange(m_onShown, {})) done();
    return;
  }
  PreparePicture();
  m_image = DibToImage(m_hPicture);

  const QRect client = m_clientArea ? m_clientArea() : QRect();
  const int cw = client.width();
  const int ch = client.height();
  // The picture's size is centred, not the window's, so the window sits one
  // frame width right of and below the exact centre.
  const int x = (cw - m_nPictureWidth) / 2;
  const int y = (ch - m_nPictureHeight) / 2;
  setGeometry(client.left() + x, client.top() + y, m_nPictureWidth + 2 * SM_CXFRAME,
              m_nPictureHeight + 2 * SM_CYFRAME);
  m_showAt = QPoint(x, y);
  m_waitForSound.start();
  ShowWhenHeard();
}

// The picture and the sound begin together as they are seen and heard: the
// window waits (a second at most) until the sound's first sample is heard.
void CTitleWnd::ShowWhenHeard() {
  constexpr int kMaxWaitMs = 1000;
  const int nMs = m_pSound ? m_pSound->MsUntilHeard() : -1;
  if (nMs > 0 && m_waitForSound.elapsed() < kMaxWaitMs) {
    QTimer::singleShot(std::min(nMs, 10), Qt::PreciseTimer, this, [this] { ShowWhenHeard(); });
    return;
  }
  raise();
  show();
  CTrace::Event("title-show", {m_showAt.x(), m_showAt.y(), width(), height()});
  if (auto done = std::exchange(m_onShown, {})) done();
}

QPoint CTitleWnd::PositionInClient() const {
  const QRect client = m_clientArea ? m_clientArea() : QRect();
  return pos() - client.topLeft();
}

void CTitleWnd::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // The class background: the client area is white before the picture.
  painter.fillRect(rect().adjusted(SM_CXDLGFRAME, SM_CYDLGFRAME, -SM_CXDLGFRAME, -SM_CYDLGFRAME),
                   Qt::white);
  painter.save();
  painter.translate(SM_CXDLGFRAME, SM_CYDLGFRAME);
  painter.setClipRect(QRect(0, 0, width() - 2 * SM_CXDLGFRAME, height() - 2 * SM_CYDLGFRAME));
  OnDraw(painter);
  painter.restore();
  DrawDialogFrame(painter);
}

// The whole picture, pixel for pixel, at the client origin.
void CTitleWnd::OnDraw(QPainter& painter) {
  if (m_hPicture.IsNull() || m_image.isNull()) return;
  painter.drawImage(QPoint(0, 0), m_image);
}

// A 3-pixel raised frame: light grey and black, then white and grey, then
// the face colour.
void CTitleWnd::DrawDialogFrame(QPainter& painter) {
  DrawEdgeRing(painter, size(), 0, QColor(192, 192, 192), QColor(0, 0, 0));
  DrawEdgeRing(painter, size(), 1, QColor(255, 255, 255), QColor(128, 128, 128));
  DrawEdgeRing(painter, size(), 2, QColor(192, 192, 192), QColor(192, 192, 192));
}

}  // namespace solvari::app

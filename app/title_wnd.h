// SPDX-License-Identifier: GPL-3.0-or-later
// The title window: a hidden child of the frame with a raised dialog frame,
// shown once after start-up with the title picture centred over the frame's
// client area while the title sound plays.
#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QString>
#include <QWidget>
#include <functional>

#include "render/picture_holder.h"

class QPainter;

namespace solvari::app {

class ITitleSound;

class CTitleWnd : public QWidget, public CPictureHolder {
 public:
  // Classic system metrics at 96 dpi.
  static constexpr int SM_CXFRAME = 4;
  static constexpr int SM_CYFRAME = 4;
  static constexpr int SM_CXDLGFRAME = 3;
  static constexpr int SM_CYDLGFRAME = 3;

  CTitleWnd();

  // Makes the window a hidden child of pParent. clientArea gives the
  // parent's client rectangle (in pParent's coordinates) that the window is
  // centred over; pSound plays the title sound (may be null).
  bool Create(QWidget* pParent, std::function<QRect()> clientArea, ITitleSound* pSound);

  // Starts the sound, reads the picture beside the executable and shows the
  // window centred over the parent's client area when the sound is heard.
  // onShown runs then (at once when there is no picture to show).
  void ShowTitle(const char* pszPicture, const char* pszSound, std::function<void()> onShown = {});

  // Where ShowTitle put the window, relative to the client area's origin.
  QPoint PositionInClient() const;

 protected:
  void paintEvent(QPaintEvent* pEvent) override;

 private:
  void ShowWhenHeard();
  void OnDraw(QPainter& painter);
  void DrawDialogFrame(QPainter& painter);

  std::function<QRect()> m_clientArea;
  ITitleSound* m_pSound = nullptr;
  QImage m_image;  // the picture as drawn by the packed-DIB library
  QPoint m_showAt;
  std::function<void()> m_onShown;
  QElapsedTimer m_waitForSound;
};

}  // namespace solvari::app

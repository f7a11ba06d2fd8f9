// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/about_dlg.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "app/dib_image.h"

namespace solvari::app {

namespace {

constexpr int kBaseUnitX = 7;   // average character width of the dialog font
constexpr int kBaseUnitY = 12;  // its height

}  // namespace

QRect CAboutDlg::MapDialogRect(int x, int y, int w, int h) {
  const auto mx = [](int n) { return (n * kBaseUnitX + 2) / 4; };
  const auto my = [](int n) { return (n * kBaseUnitY + 4) / 8; };
  return {mx(x), my(y), mx(w), my(h)};
}

CAboutDlg::CAboutDlg(QWidget* pParent) : QDialog(pParent) {
  setWindowTitle(tr("Kelvaneのﾊﾞｰｼﾞｮﾝ情報"));
  setModal(true);
  QFont font;
  font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                    QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic")});
  font.setPointSize(9);
  setFont(font);

  m_pVersion = new QLabel(tr("Kelvane Version 2"), this);
  m_pVersion->setTextFormat(Qt::PlainText);
  m_pVersion->setGeometry(MapDialogRect(6, 5, 119, 8));

  m_pMaker = new QLabel(tr("(C) 1997-2025 Orvell Craft"), this);
  m_pMaker->setTextFormat(Qt::PlainText);
  m_pMaker->setGeometry(MapDialogRect(6, 16, 112, 8));

  // A picture control takes the size of its bitmap.
  m_pPicture = new QLabel(this);
  const QRect rcPicture = MapDialogRect(3, 29, 141, 164);
  const QImage image = LoadBitmapImage(kPictureId);
  if (!image.isNull()) {
    m_pPicture->setPixmap(QPixmap::fromImage(image));
    m_pPicture->setGeometry(QRect(rcPicture.topLeft(), image.size()));
  } else {
    m_pPicture->setGeometry(rcPicture);
  }

  // Left of the OK button, below the picture.
  m_pReadingAid = new QLabel(tr("ふりがな（かな・ローマ字）で読み方を表示できます"), this);
  m_pReadingAid->setTextFormat(Qt::PlainText);
  m_pReadingAid->setWordWrap(true);
  m_pReadingAid->setGeometry(MapDialogRect(6, 195, 80, 18));

  m_pOk = new QPushButton(tr("OK"), this);
  m_pOk->setGeometry(MapDialogRect(90, 197, 50, 14));
  m_pOk->setDefault(true);
  m_pOk->setAutoDefault(true);
  connect(m_pOk, &QPushButton::clicked, this, &QDialog::accept);

  const QRect rcDialog = MapDialogRect(0, 0, 150, 215);
  setFixedSize(rcDialog.size());
  m_pOk->setFocus();
}

}  // namespace solvari::app

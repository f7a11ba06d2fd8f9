// SPDX-License-Identifier: GPL-3.0-or-later
// The About box: the program's name and version, the maker line, the About
// picture (bitmap 240), a line on the reading aid and an OK button, laid out
// in dialog units.
#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QRect>

class QLabel;
class QPushButton;

namespace solvari::app {

class CAboutDlg : public QDialog {
  Q_DECLARE_TR_FUNCTIONS(CAboutDlg)

 public:
  static constexpr int IDD = 100;
  static constexpr int kPictureId = 240;

  explicit CAboutDlg(QWidget* pParent = nullptr);

  // Dialog units to pixels, with the base units of the dialog font (a 9-point
  // proportional Gothic at 96 dpi: 7 × 12 pixels per 4 × 8 units).
  static QRect MapDialogRect(int x, int y, int w, int h);

  QLabel* VersionLabel() const { return m_pVersion; }
  QLabel* MakerLabel() const { return m_pMaker; }
  QLabel* PictureLabel() const { return m_pPicture; }
  QPushButton* OkButton() const { return m_pOk; }
  // The line beside the OK button that names the reading aid.
  QLabel* ReadingAidLabel() const { return m_pReadingAid; }

 private:
  QLabel* m_pVersion;
  QLabel* m_pMaker;
  QLabel* m_pPicture;
  QPushButton* m_pOk;
  QLabel* m_pReadingAid;
};

}  // namespace solvari::app

// SPDX-License-Identifier: GPL-3.0-or-later
// Stand-ins for the frame's services: a simulated clock for the timers, a
// wave-output device that plays nothing, a stub file dialog, recorded
// message boxes and title sounds, and small .bmp and voice files.
#pragma once

#include <QCoreApplication>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/main_frame.h"
#include "app/title_sound.h"
#include "audio/wave_device.h"
#include "core/sequencer_platform.h"
#include "tests/fakes/fake_timers.h"
#include "tests/fakes/fake_wave_device.h"

namespace solvari::app::test {

// The done notifications of the fake devices go through Qt's event loop.
struct DeviceLog : solvari::test::DeviceLog {
  DeviceLog() {
    post = [](std::function<void()> fn) {
      QMetaObject::invokeMethod(qApp, std::move(fn), Qt::QueuedConnection);
    };
  }
};
using solvari::test::CFakeTimers;
using solvari::test::CFakeWaveOut;

class CStubPictureDialog : public IPictureDialog {
 public:
  Result next;
  int nRuns = 0;
  Result Run(QWidget*) override {
    ++nRuns;
    return next;
  }
};

class CRecordedMessages : public IMessageBoxes {
 public:
  QStringList texts;
  std::vector<QMessageBox::Icon> icons;
  void Show(QWidget*, const QString& strText, QMessageBox::Icon icon) override {
    texts << strText;
    icons.push_back(icon);
  }
};

class CRecordedSound : public ITitleSound {
 public:
  QStringList played;
  void Play(const QString& strPath) override { played << strPath; }
};

// One frame with fakes around it: the rig of every shell test. The rig
// must stay where it is made (its timers call back into it).
struct ShellRig {
  struct Options {
    int nOpenResult = kWaveNoError;  // what opening the output device gives
    CLanguage* pLanguage = nullptr;
    QString strOwnVoiceDir;     // empty: the user's data folder
    QString strPracticeRecord;  // empty: one in a folder of the rig's own
    std::unique_ptr<IWaveInDevice> pWaveIn;
  };

  CFakeTimers timers;
  CStubPictureDialog dialog;
  CRecordedMessages messages;
  CRecordedSound sound;
  DeviceLog log;
  CFakeWaveOut* pDevice = nullptr;  // the output device of the frame made last
  QList<QUrl> openedUrls;
  // The count "typed" when the frame asks for one (0: cancelled), and how
  // often it asked.
  int nCountToType = 0;
  int nCountAsked = 0;
  // The practice record of a frame stays out of the user's data folder.
  QTemporaryDir recordDir;
  std::unique_ptr<CMainFrame> pFrame;

  // A frame over the rig's fakes, its timers left to the test.
  std::unique_ptr<CMainFrame> NewFrame(IProfileStore* pProfile, Options options);
  std::unique_ptr<CMainFrame> NewFrame(IProfileStore* pProfile);
  // The rig's frame, its timers firing into it.
  void Create(IProfileStore* pProfile, Options options);
  void Create(IProfileStore* pProfile);
  void Create(IProfileStore* pProfile, int nOpenResult);
  // Through the title screen to Idle.
  void PastTitle() { timers.Advance(kTitleDelayMs + kTitleShowMs); }
  CMainFrame& Frame() { return *pFrame; }
};

// A 24-bit .bmp file of the size, or (bBad) a file that is not a bitmap.
void WriteBmp(const QString& strPath, int nWidth, int nHeight);
void WriteBytes(const QString& strPath, const QByteArray& bytes);

}  // namespace solvari::app::test

// SPDX-License-Identifier: GPL-3.0-or-later
// The recording window (ﾌｧｲﾙ → 音声の録音...): one phrase at a time in large
// outlined characters, Record / Stop / Play / Keep / Next / Previous, a level
// meter, the list of the 54 phrases with the ones already recorded, and the
// output delay with a test tone and a flash. A kept take is trimmed,
// normalised and saved in the user's own voice folder; the recitation then
// plays it for that phrase.
#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/main_frame.h"
#include "audio/own_voice_folder.h"
#include "audio/wave_buffer.h"
#include "render/sutra_view.h"

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace solvari::app {

// Hands the wave devices' notifications on to whoever listens at the moment.
// The frame owns it, so that a notification still on its way after the
// recording window has gone reaches nobody instead of a freed window.
class CWaveNotifyRelay : public IWaveNotify {
 public:
  IWaveNotify* pTarget = nullptr;
  void OnWomDone() override {
    if (pTarget) pTarget->OnWomDone();
  }
  void OnWimData() override {
    if (pTarget) pTarget->OnWimData();
  }
};

struct RecorderServices {
  CWaveBuffer* pWave = nullptr;  // the frame's wave buffer; its devices are closed
  CWaveNotifyRelay* pRelay = nullptr;
  IProfileStore* pProfile = nullptr;
  IMessageBoxes* pMessages = nullptr;
  QString strVoiceDir;        // where the takes are kept
  std::string strProgramDir;  // the shipped voice's folder, never written
  // The reading of a phrase in kana; none when not given or empty.
  std::function<QString(int nPhrase)> reading;
};

class CRecordWnd : public QDialog, private IWaveNotify, private ISutraViewHost {
  Q_DECLARE_TR_FUNCTIONS(CRecordWnd)

 public:
  enum State { kIdle, kRecording, kTake, kPlaying, kTesting };
  enum Button { kRecord, kStop, kPlay, kKeep, kNext, kPrevious, kTest, kButtonCount };
  static constexpr double kMaxTakeSeconds = 30.0;
  static constexpr int kMeterFloorDb = -60;
  static constexpr int kMeterIntervalMs = 50;
  // The test tone: beeps of 60 ms every 750 ms from 500 ms on.
  static constexpr int kBeepCount = 4;
  static constexpr int kBeepFirstMs = 500;
  static constexpr int kBeepPeriodMs = 750;
  static constexpr int kFlashMs = 80;

  CRecordWnd(RecorderServices services, int nPhrase, QWidget* pParent);
  ~CRecordWnd() override;

  State GetState() const { return m_nState; }
  int Phrase() const { return m_nPhrase; }
  void SetPhrase(int nPhrase);
  bool IsRecorded(int nPhrase) const;
  int KeptCount() const { return m_nKept; }
  // The take since the last Stop, trimmed and normalised; empty when none.
  const std::vector<std::int16_t>& Take() const { return m_take; }
  QString OwnVoicePath(int nPhrase) const;

  void OnRecord();
  void OnStop();
  void OnPlay();
  void OnKeep();
  void OnNext();
  void OnPrevious();
  void OnTestDelay();

  QPushButton* ButtonOf(Button b) const { return m_buttons[b]; }
  QProgressBar* Meter() const { return m_pMeter; }
  QListWidget* PhraseList() const { return m_pList; }
  QSpinBox* DelayBox() const { return m_pDelay; }
  QLabel* ReadingLabel() const { return m_pReading; }
  QLabel* StatusLabel() const { return m_pStatus; }
  bool IsFlashOn() const { return m_bFlashOn; }
  const QImage& PhraseImage() const { return m_phraseImage; }

 protected:
  void closeEvent(QCloseEvent* pEvent) override;
  void reject() override;

 private:
  // IWaveNotify
  void OnWomDone() override;
  void OnWimData() override;
  // ISutraViewHost: the page painter shows the current phrase's column.
  int GetReadingState() const override;
  int GetCurrentPhrase() const override { return m_nPhrase; }
  const CPackedDib& GetPicture() const override { return m_noPicture; }
  const CPalette* GetPalette() const override { return nullptr; }

  void BuildControls();
  void UpdateControls();
  void UpdateList();
  void DrawPhrase();
  void HighlightNext();
  void OnMeter();
  void SetMeter(int nPeak);
  void SetFlash(bool bOn);
  bool PlaySamples(const std::vector<std::int16_t>& samples);
  void Cancel();
  void Message(const QString& strText);

  RecorderServices m_services;
  COwnVoiceFolder m_ownVoice;
  CPackedDib m_noPicture;
  solvari::CSutraView m_painter;
  QImage m_phraseImage;
  State m_nState = kIdle;
  int m_nPhrase = 0;
  int m_nKept = 0;
  std::vector<std::int16_t> m_take;
  QTimer m_meterTimer;
  QTimer m_charTimer;  // the highlight while a take plays
  int m_nLitChar = 0;
  std::vector<int> m_playOnsets;  // ms from the start of the take played back
  QElapsedTimer m_playClock;
  std::vector<QTimer*> m_flashTimers;
  bool m_bFlashOn = false;

  QPushButton* m_buttons[kButtonCount] = {};
  QLabel* m_pGlyphs = nullptr;
  QLabel* m_pTitle = nullptr;
  QLabel* m_pReading = nullptr;
  QLabel* m_pStatus = nullptr;
  QProgressBar* m_pMeter = nullptr;
  QListWidget* m_pList = nullptr;
  QSpinBox* m_pDelay = nullptr;
  QLabel* m_pFlash = nullptr;
};

}  // namespace solvari::app

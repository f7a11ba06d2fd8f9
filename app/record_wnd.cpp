// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/record_wnd.h"

#include <QCloseEvent>
#include <QFile>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/take_align.h"
#include "audio/take_onsets.h"
#include "audio/voice_segment.h"
#include "audio/voice_take.h"
#include "core/reading_settings.h"
#include "core/reading_state.h"
#include "core/sutra_tables.h"
#include "res/resources.h"

namespace solvari::app {

namespace {

constexpr int kPhraseImageWidth = solvari::CSutraView::kSlotWidth;
constexpr int kPhraseImageHeight = 390;  // nine characters and their frames

DibBytes FindResourceBytes(int nId) {
  const ResourceBlob blob = FindBitmapResource(nId);
  if (blob.data == nullptr) return {};
  return DibBytes(blob.data, blob.size);
}

// A take as the device wants it, and back.
void CopyIntoWave(CWaveBuffer& wave, const std::vector<std::int16_t>& samples) {
  const auto nBytes = static_cast<std::uint32_t>(samples.size() * 2);
  wave.AllocData(nBytes);
  if (!wave.IsReady()) return;
  std::uint8_t* p = wave.LockData();
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const auto v = static_cast<std::uint16_t>(samples[i]);
    p[2 * i] = static_cast<std::uint8_t>(v & 0xFF);
    p[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
  }
  wave.UnlockData();
  wave.m_dwDataSize = nBytes;
}

std::vector<std::int16_t> SamplesOfWave(CWaveBuffer& wave, std::uint32_t nFrom = 0,
                                        std::uint32_t nCount = 0xFFFFFFFFu) {
  std::vector<std::int16_t> samples;
  const std::uint32_t nTotal = wave.GetDataSize() / 2;
  if (nFrom >= nTotal) return samples;
  nCount = std::min(nCount, nTotal - nFrom);
  const std::uint8_t* p = wave.LockData();
  if (!p) return samples;
  samples.resize(nCount);
  for (std::uint32_t i = 0; i < nCount; ++i) {
    const std::uint32_t k = 2 * (nFrom + i);
    samples[i] = static_cast<std::int16_t>(p[k] | p[k + 1] << 8);
  }
  wave.UnlockData();
  return samples;
}

// The test tone: short beeps on silence.
std::vector<std::int16_t> MakeTestTone() {
  const int nTotalMs =
      CRecordWnd::kBeepFirstMs + CRecordWnd::kBeepPeriodMs * CRecordWnd::kBeepCount;
  std::vector<std::int16_t> v(static_cast<std::size_t>(11025) * nTotalMs / 1000, 0);
  const int nBeep = 11025 * 60 / 1000;
  for (int b = 0; b < CRecordWnd::kBeepCount; ++b) {
    const int nStart = 11025 * (CRecordWnd::kBeepFirstMs + b * CRecordWnd::kBeepPeriodMs) / 1000;
    for (int i = 0; i < nBeep && nStart + i < static_cast<int>(v.size()); ++i) {
      const double env = std::min(1.0, std::min(i, nBeep - 1 - i) / 20.0);
      v[static_cast<std::size_t>(nStart + i)] =
          static_cast<std::int16_t>(12000 * env * std::sin(2 * M_PI * 1000.0 * i / 11025.0));
    }
  }
  return v;
}

}  // namespace

CRecordWnd::CRecordWnd(RecorderServices services, int nPhrase, QWidget* pParent)
    : QDialog(pParent),
      m_services(std::move(services)),
      m_ownVoice(m_services.strVoiceDir.toStdString()),
      m_painter(static_cast<const ISutraViewHost&>(*this), &FindResourceBytes),
      m_nPhrase(std::clamp(nPhrase, 0, kLastPhrase)) {
  setWindowTitle(tr("音声の録音"));
  if (m_services.pRelay) m_services.pRelay->pTarget = this;
  m_painter.SetClientSize(kPhraseImageWidth, kPhraseImageHeight);
  m_meterTimer.setInterval(kMeterIntervalMs);
  connect(&m_meterTimer, &QTimer::timeout, this, [this] { OnMeter(); });
  m_charTimer.setSingleShot(true);
  connect(&m_charTimer, &QTimer::timeout, this, [this] { HighlightNext(); });
  BuildControls();
  for (int p = 0; p <= kLastPhrase; ++p) m_nKept += IsRecorded(p) ? 1 : 0;
  SetPhrase(m_nPhrase);
}

CRecordWnd::~CRecordWnd() {
  Cancel();
  if (m_services.pRelay && m_services.pRelay->pTarget == this) m_services.pRelay->pTarget = nullptr;
}

void CRecordWnd::BuildControls() {
  m_pGlyphs = new QLabel(this);
  m_pGlyphs->setFixedSize(kPhraseImageWidth, kPhraseImageHeight);
  m_pTitle = new QLabel(this);
  QFont big = m_pTitle->font();
  big.setPointSize(big.pointSize() + 4);
  m_pTitle->setFont(big);
  m_pReading = new QLabel(this);
  m_pReading->setFont(big);
  m_pReading->setWordWrap(true);
  m_pStatus = new QLabel(this);
  m_pStatus->setWordWrap(true);
  m_pMeter = new QProgressBar(this);
  m_pMeter->setRange(kMeterFloorDb, 0);
  m_pMeter->setValue(kMeterFloorDb);
  m_pMeter->setTextVisible(false);
  m_pMeter->setToolTip(tr("録音の音量"));

  const QString texts[kButtonCount] = {tr("録音(&R)"),  tr("停止(&S)"), tr("再生(&P)"),
                                       tr("保存(&K)"),  tr("次へ(&N)"), tr("前へ(&B)"),
                                       tr("テスト(&T)")};
  for (int b = 0; b < kButtonCount; ++b) {
    m_buttons[b] = new QPushButton(texts[b], this);
    m_buttons[b]->setAutoDefault(false);
  }
  connect(m_buttons[kRecord], &QPushButton::clicked, this, [this] { OnRecord(); });
  connect(m_buttons[kStop], &QPushButton::clicked, this, [this] { OnStop(); });
  connect(m_buttons[kPlay], &QPushButton::clicked, this, [this] { OnPlay(); });
  connect(m_buttons[kKeep], &QPushButton::clicked, this, [this] { OnKeep(); });
  connect(m_buttons[kNext], &QPushButton::clicked, this, [this] { OnNext(); });
  connect(m_buttons[kPrevious], &QPushButton::clicked, this, [this] { OnPrevious(); });
  connect(m_buttons[kTest], &QPushButton::clicked, this, [this] { OnTestDelay(); });

  m_pList = new QListWidget(this);
  m_pList->setFixedWidth(150);
  for (int p = 0; p <= kLastPhrase; ++p) m_pList->addItem(QString());
  connect(m_pList, &QListWidget::currentRowChanged, this, [this](int nRow) {
    if (nRow >= 0 && nRow != m_nPhrase) {
      if (m_nState == kIdle || m_nState == kTake) {
        SetPhrase(nRow);
      } else {
        m_pList->setCurrentRow(m_nPhrase);  // not while recording or playing
      }
    }
  });

  m_pDelay = new QSpinBox(this);
  m_pDelay->setRange(-500, 2000);
  m_pDelay->setSingleStep(10);
  m_pDelay->setSuffix(tr(" ms"));
  m_pDelay->setValue(m_services.pProfile ? m_services.pProfile->GetProfileInt(
                                               settings::kWavConfig, settings::kOutputDelayMs, 0)
                                         : 0);
  m_pDelay->setToolTip(tr("音が聞こえるまでの遅れ。テストで、音と光が同時になるように合わせます"));
  connect(m_pDelay, &QSpinBox::valueChanged, this, [this](int nValue) {
    if (m_services.pProfile)
      m_services.pProfile->WriteProfileInt(settings::kWavConfig, settings::kOutputDelayMs, nValue);
  });
  m_pFlash = new QLabel(this);
  m_pFlash->setFixedSize(40, 24);
  m_pFlash->setAutoFillBackground(true);
  SetFlash(false);

  auto* pButtons = new QGridLayout;
  pButtons->addWidget(m_buttons[kRecord], 0, 0);
  pButtons->addWidget(m_buttons[kStop], 0, 1);
  pButtons->addWidget(m_buttons[kPlay], 0, 2);
  pButtons->addWidget(m_buttons[kKeep], 0, 3);
  pButtons->addWidget(m_buttons[kPrevious], 1, 0);
  pButtons->addWidget(m_buttons[kNext], 1, 1);

  auto* pDelayRow = new QHBoxLayout;
  pDelayRow->addWidget(new QLabel(tr("音の遅れ:"), this));
  pDelayRow->addWidget(m_pDelay);
  pDelayRow->addWidget(m_buttons[kTest]);
  pDelayRow->addWidget(m_pFlash);
  pDelayRow->addStretch();

  auto* pClose = new QPushButton(tr("閉じる"), this);
  pClose->setAutoDefault(false);
  connect(pClose, &QPushButton::clicked, this, [this] { reject(); });

  auto* pMiddle = new QVBoxLayout;
  pMiddle->addWidget(m_pTitle);
  pMiddle->addWidget(m_pReading);
  pMiddle->addSpacing(8);
  pMiddle->addWidget(m_pMeter);
  pMiddle->addLayout(pButtons);
  pMiddle->addWidget(m_pStatus);
  pMiddle->addStretch();
  pMiddle->addLayout(pDelayRow);
  pMiddle->addWidget(pClose, 0, Qt::AlignRight);

  auto* pMain = new QHBoxLayout(this);
  pMain->addWidget(m_pGlyphs, 0, Qt::AlignTop);
  pMain->addLayout(pMiddle, 1);
  pMain->addWidget(m_pList);
  resize(640, kPhraseImageHeight + 24);
}

QString CRecordWnd::OwnVoicePath(int nPhrase) const {
  return QString::fromStdString(m_ownVoice.PathOf(nPhrase));
}

bool CRecordWnd::IsRecorded(int nPhrase) const { return m_ownVoice.Has(nPhrase); }

int CRecordWnd::GetReadingState() const { return Reading; }

void CRecordWnd::SetPhrase(int nPhrase) {
  if (m_nState != kIdle && m_nState != kTake) return;
  m_nPhrase = std::clamp(nPhrase, 0, kLastPhrase);
  m_take.clear();  // a take not kept belongs to the phrase it was made for
  m_nState = kIdle;
  m_pTitle->setText(tr("第%1句 / 54  (%2)")
                        .arg(m_nPhrase + 1)
                        .arg(QString::fromStdString(OwnVoiceFileName(m_nPhrase))));
  const QString strReading = m_services.reading ? m_services.reading(m_nPhrase) : QString();
  m_pReading->setText(strReading);
  m_pReading->setVisible(!strReading.isEmpty());
  m_pStatus->setText(IsRecorded(m_nPhrase) ? tr("この句は録音してあります")
                                           : tr("この句はまだ録音していません"));
  DrawPhrase();
  UpdateList();
  UpdateControls();
}

void CRecordWnd::DrawPhrase() {
  m_painter.OnPaint();
  const CSurface& s = m_painter.Surface();
  m_phraseImage = QImage(reinterpret_cast<const uchar*>(s.Bits()), s.Width(), s.Height(),
                         s.BytesPerLine(), QImage::Format_RGB32)
                      .copy();
  m_pGlyphs->setPixmap(QPixmap::fromImage(m_phraseImage));
}

void CRecordWnd::UpdateList() {
  for (int p = 0; p <= kLastPhrase; ++p) {
    const bool bRecorded = IsRecorded(p);
    m_pList->item(p)->setText(tr("%1  %2字  %3")
                                  .arg(p, 2, 10, QLatin1Char('0'))
                                  .arg(GetPhraseCharCount(p))
                                  .arg(bRecorded ? tr("● 録音済み") : QString()));
  }
  QSignalBlocker block(m_pList);
  m_pList->setCurrentRow(m_nPhrase);
}

void CRecordWnd::UpdateControls() {
  const bool bIdle = m_nState == kIdle || m_nState == kTake;
  m_buttons[kRecord]->setEnabled(bIdle);
  m_buttons[kStop]->setEnabled(!bIdle);
  m_buttons[kPlay]->setEnabled(bIdle && (!m_take.empty() || IsRecorded(m_nPhrase)));
  m_buttons[kKeep]->setEnabled(m_nState == kTake);
  m_buttons[kNext]->setEnabled(bIdle && m_nPhrase < kLastPhrase);
  m_buttons[kPrevious]->setEnabled(bIdle && m_nPhrase > 0);
  m_buttons[kTest]->setEnabled(bIdle);
  m_pDelay->setEnabled(m_nState != kRecording);
}

void CRecordWnd::Message(const QString& strText) {
  if (m_services.pMessages) m_services.pMessages->Show(this, strText, QMessageBox::Warning);
}

// --- recording ---------------------------------------------------------------

void CRecordWnd::OnRecord() {
  if (m_nState != kIdle && m_nState != kTake) return;
  CWaveBuffer& wave = *m_services.pWave;
  m_take.clear();
  m_nState = kIdle;
  wave.AllocData(static_cast<std::uint32_t>(kMaxTakeSeconds * kVoiceBytesPerSec));
  const int nOpen =
      wave.OpenInput(m_services.pRelay, kVoiceSamplesPerSec, kVoiceBitsPerSample, kVoiceChannels);
  if (nOpen != kWaveNoError) {
    const char* pText = CWaveBuffer::ResultText(nOpen);
    Message(pText ? CMainFrame::TranslateWaveMessage(pText)
                  : tr("録音用のデバイスを開けません (エラー %1)").arg(nOpen));
    UpdateControls();
    return;
  }
  const int nStart = wave.StartRecording(kMaxTakeSeconds, kVoiceSamplesPerSec, kVoiceBitsPerSample,
                                         kVoiceChannels);
  if (nStart != 0) {
    wave.CloseInput();
    // A buffer that could not be prepared has had its message already.
    if (nStart != 1) Message(tr("録音を始められません (エラー %1)").arg(nStart));
    UpdateControls();
    return;
  }
  m_nState = kRecording;
  m_pStatus->setText(tr("録音中… 唱え終わったら停止を押してください"));
  m_meterTimer.start();
  UpdateControls();
}

void CRecordWnd::OnMeter() {
  if (m_nState != kRecording) return;
  CWaveBuffer& wave = *m_services.pWave;
  const std::uint32_t nPos = wave.GetInputPosition();
  const std::uint32_t nWindow = kVoiceSamplesPerSec * kMeterIntervalMs / 1000;
  const std::uint32_t nFrom = nPos > nWindow ? nPos - nWindow : 0;
  // The samples are in the block up to the device's position.
  const std::uint32_t nSaved = wave.m_dwDataSize;
  wave.m_dwDataSize = std::min<std::uint32_t>(nPos * 2, wave.GetCapacity());
  const std::vector<std::int16_t> recent = SamplesOfWave(wave, nFrom, nPos - nFrom);
  wave.m_dwDataSize = nSaved;
  int nPeak = 0;
  for (std::int16_t v : recent) nPeak = std::max(nPeak, std::abs(static_cast<int>(v)));
  SetMeter(nPeak);
}

void CRecordWnd::SetMeter(int nPeak) {
  const double dDb = nPeak > 0 ? 20.0 * std::log10(nPeak / 32768.0) : kMeterFloorDb;
  m_pMeter->setValue(std::clamp(static_cast<int>(std::lround(dDb)), kMeterFloorDb, 0));
}

void CRecordWnd::OnWimData() {
  // The buffer is full (or was returned by a stop): the take ends here.
  if (m_nState == kRecording) OnStop();
}

void CRecordWnd::OnStop() {
  CWaveBuffer& wave = *m_services.pWave;
  if (m_nState == kRecording) {
    m_meterTimer.stop();
    wave.StopRecording();
    wave.UseRecordedData();
    wave.CloseInput();
    const std::vector<std::int16_t> raw = SamplesOfWave(wave);
    m_take = PrepareTake(raw.data(), raw.size());
    SetMeter(0);
    if (m_take.empty()) {
      m_nState = kIdle;
      m_pStatus->setText(tr("声が録音されていません"));
      Message(
          tr("声が録音されていません (無音です)。\n"
             "マイクを確かめて、もう一度録音してください。"));
    } else {
      m_nState = kTake;
      m_pStatus->setText(
          tr("録音しました (%1 秒)。再生して確かめ、よければ保存してください")
              .arg(static_cast<double>(m_take.size()) / kVoiceSamplesPerSec, 0, 'f', 1));
    }
    UpdateControls();
  } else if (m_nState == kPlaying || m_nState == kTesting) {
    wave.ResetOutput();  // the done notification ends the playing
  }
}

// --- playing -------------------------------------------------------------------

bool CRecordWnd::PlaySamples(const std::vector<std::int16_t>& samples) {
  CWaveBuffer& wave = *m_services.pWave;
  CopyIntoWave(wave, samples);
  if (!wave.IsReady()) {
    Message(CMainFrame::TranslateWaveMessage(CWaveBuffer::ResultText(kWaveNoMemory)));
    return false;
  }
  const int nOpen =
      wave.OpenOutput(m_services.pRelay, kVoiceSamplesPerSec, kVoiceBitsPerSample, kVoiceChannels);
  if (nOpen != kWaveNoError) {
    const char* pText = CWaveBuffer::ResultText(nOpen);
    Message(pText ? CMainFrame::TranslateWaveMessage(pText)
                  : tr("再生用のデバイスを開けません (エラー %1)").arg(nOpen));
    return false;
  }
  if (wave.PlayAll() != 1) {
    wave.CloseOutput();
    Message(tr("再生できません"));
    return false;
  }
  return true;
}

void CRecordWnd::OnPlay() {
  if (m_nState != kIdle && m_nState != kTake) return;
  std::vector<std::int16_t> samples = m_take;
  if (samples.empty()) {
    // The take kept before.
    CWaveBuffer& wave = *m_services.pWave;
    if (!LoadVoiceSegment(wave, OwnVoicePath(m_nPhrase).toStdString())) return;
    samples = SamplesOfWave(wave);
  }
  // The characters light up where the recitation will light them: at the
  // take's onsets, found by aligning it to the shipped phrase.
  const std::string shipped = GetVoiceSegmentPath(m_nPhrase);
  m_playOnsets = AlignTakeToShipped(samples, m_nPhrase, shipped).onsetsMs;
  if (static_cast<int>(m_playOnsets.size()) != GetPhraseCharCount(m_nPhrase))
    m_playOnsets = ScaledOnsets(samples.size(), m_nPhrase);
  if (!PlaySamples(samples)) return;
  m_nState = kPlaying;
  m_nLitChar = -1;
  m_playClock.start();
  HighlightNext();
  UpdateControls();
}

void CRecordWnd::HighlightNext() {
  if (m_nState != kPlaying) return;
  const int nCount = static_cast<int>(m_playOnsets.size());
  const qint64 nElapsed = m_playClock.elapsed();
  // Every character whose onset has come, then a wait for the next one.
  bool bLit = false;
  while (m_nLitChar + 1 < nCount &&
         m_playOnsets[static_cast<std::size_t>(m_nLitChar + 1)] <= nElapsed) {
    ++m_nLitChar;
    m_painter.HighlightChar(m_nPhrase, m_nLitChar);
    bLit = true;
  }
  if (bLit) {
    const CSurface& s = m_painter.Surface();
    m_phraseImage = QImage(reinterpret_cast<const uchar*>(s.Bits()), s.Width(), s.Height(),
                           s.BytesPerLine(), QImage::Format_RGB32)
                        .copy();
    m_pGlyphs->setPixmap(QPixmap::fromImage(m_phraseImage));
  }
  if (m_nLitChar + 1 < nCount)
    m_charTimer.start(static_cast<int>(
        std::max<qint64>(1, m_playOnsets[static_cast<std::size_t>(m_nLitChar + 1)] - nElapsed)));
}

void CRecordWnd::OnWomDone() {
  m_services.pWave->CloseOutput();
  if (m_nState != kPlaying && m_nState != kTesting) return;
  m_charTimer.stop();
  for (QTimer* pTimer : m_flashTimers) delete pTimer;
  m_flashTimers.clear();
  SetFlash(false);
  m_nState = m_take.empty() ? kIdle : kTake;
  DrawPhrase();
  UpdateControls();
}

// --- keeping -------------------------------------------------------------------

void CRecordWnd::OnKeep() {
  if (m_nState != kTake || m_take.empty()) return;
  const bool bWasRecorded = IsRecorded(m_nPhrase);
  const SaveTakeResult r = SaveVoiceTake(m_services.strVoiceDir.toStdString(), m_nPhrase, m_take,
                                         m_services.strProgramDir);
  switch (r) {
    case SaveTakeResult::kSaved:
      // Its onsets, stored beside it for the recitation (a moment's work).
      StoreTakeOnsets(OwnVoicePath(m_nPhrase).toStdString(), m_nPhrase,
                      GetVoiceSegmentPath(m_nPhrase));
      m_take.clear();
      m_nState = kIdle;
      if (!bWasRecorded) ++m_nKept;
      m_pStatus->setText(tr("保存しました。読経ではこの録音が流れます"));
      UpdateList();
      break;
    case SaveTakeResult::kNoFolder:
      Message(tr("録音を保存するフォルダー %1 を作れません。録音は保存されていません。")
                  .arg(m_services.strVoiceDir));
      break;
    case SaveTakeResult::kNotWritable:
      Message(tr("フォルダー %1 に書き込めません。録音は保存されていません。")
                  .arg(m_services.strVoiceDir));
      break;
    case SaveTakeResult::kDiskFull:
      Message(
          tr("ディスクがいっぱいです。録音は保存されていません。\n"
             "空きを作ってから、もう一度保存してください。"));
      break;
    case SaveTakeResult::kRefused:
      Message(tr("プログラムのフォルダーには保存できません。録音は保存されていません。"));
      break;
  }
  UpdateControls();
}

void CRecordWnd::OnNext() {
  if (m_nPhrase < kLastPhrase) SetPhrase(m_nPhrase + 1);
}

void CRecordWnd::OnPrevious() {
  if (m_nPhrase > 0) SetPhrase(m_nPhrase - 1);
}

// --- output delay --------------------------------------------------------------

void CRecordWnd::SetFlash(bool bOn) {
  m_bFlashOn = bOn;
  QPalette pal = m_pFlash->palette();
  pal.setColor(QPalette::Window, bOn ? QColor(255, 255, 0) : QColor(64, 64, 64));
  m_pFlash->setPalette(pal);
}

void CRecordWnd::OnTestDelay() {
  if (m_nState != kIdle && m_nState != kTake) return;
  if (!PlaySamples(MakeTestTone())) return;
  m_nState = kTesting;
  // Each flash comes when its beep is heard, by the delay set here.
  const int nDelay = m_pDelay->value();
  for (int b = 0; b < kBeepCount; ++b) {
    const int nAt = std::max(0, kBeepFirstMs + b * kBeepPeriodMs + nDelay);
    for (int k = 0; k < 2; ++k) {
      auto* pTimer = new QTimer(this);
      pTimer->setSingleShot(true);
      const bool bOn = k == 0;
      connect(pTimer, &QTimer::timeout, this, [this, bOn] { SetFlash(bOn); });
      pTimer->start(nAt + (bOn ? 0 : kFlashMs));
      m_flashTimers.push_back(pTimer);
    }
  }
  UpdateControls();
}

// --- closing -------------------------------------------------------------------

// Closing the window cancels whatever runs: a take being recorded is thrown
// away, a playing one stopped.
void CRecordWnd::Cancel() {
  CWaveBuffer& wave = *m_services.pWave;
  m_meterTimer.stop();
  m_charTimer.stop();
  if (m_nState == kRecording) {
    wave.StopRecording();
    wave.CloseInput();
  } else if (m_nState == kPlaying || m_nState == kTesting) {
    wave.ResetOutput();
    wave.CloseOutput();
  }
  for (QTimer* pTimer : m_flashTimers) delete pTimer;
  m_flashTimers.clear();
  m_take.clear();
  m_nState = kIdle;
}

void CRecordWnd::closeEvent(QCloseEvent* pEvent) {
  Cancel();
  QDialog::closeEvent(pEvent);
}

void CRecordWnd::reject() {
  Cancel();
  QDialog::reject();
}

}  // namespace solvari::app

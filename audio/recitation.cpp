// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/recitation.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "audio/take_onsets.h"
#include "audio/voice_segment.h"
#include "audio/voice_take.h"
#include "core/exe_directory.h"
#include "core/instrument_settings.h"
#include "core/sutra_readings.h"
#include "core/sutra_tables.h"
#include "core/tempo.h"
#include "core/voice_segment_path.h"

namespace solvari {

namespace {

CWaveBuffer MakeWave(const WaveDeviceMaker& makeDevices, const ReadingSettings& settings,
                     IProfileStore* pProfile, IWaveMessageSink* pMessages) {
  WaveDevices devices = makeDevices ? makeDevices(settings) : WaveDevices{};
  return CWaveBuffer(std::move(devices.pOut), std::move(devices.pIn), pProfile, pMessages);
}

}  // namespace

CRecitation::CRecitation(const RecitationPlatform& platform, const WaveDeviceMaker& makeDevices,
                         std::string strOwnVoiceDir)
    : CReadingSequencer(SequencerPlatform{platform.pTimers, this, platform.pView, platform.pFrame},
                        0),
      m_recitationPlatform(platform),
      m_ownVoice(std::move(strOwnVoiceDir)),
      m_settings(ReadingSettings::Load(*platform.pProfile, m_ownVoice.HasAny())),
      m_wave(MakeWave(makeDevices, m_settings, platform.pProfile, platform.pMessages)),
      m_stretch(CStretchAhead::kDefaultKeep,
                platform.bStretchOnWorker ? nullptr : platform.pPoster) {
  // Repeat always starts off; the rest is as stored.
  m_bMaximizeOnReading = m_settings.nMaximized;
  m_bRepeat = 0;
  m_nRuby = m_settings.nRuby;
  m_nTempo = m_settings.nTempo;
  std::fill(std::begin(m_dOwnPace), std::end(m_dOwnPace), 1.0);
  ApplyInstrumentSettings();
  // A stretch made: the next voice may be handed ahead now.
  IEventPoster* pPoster = platform.pPoster;
  std::weak_ptr<int> alive = m_pAlive;
  if (pPoster) {
    m_stretch.SetOnFinished([this, pPoster, alive] {
      pPoster->Post([this, alive] {
        if (!alive.expired()) PrefetchStretchedWhenReady();
      });
    });
  }
}

CRecitation::~CRecitation() {
  StopAll();
  m_stretch.SetOnFinished({});
  m_pAlive.reset();
}

void CRecitation::StopAll() {
  if (m_bStopped) return;
  m_bStopped = true;
  Shutdown();
  m_stretch.Clear();  // a stretch under way is given up
  m_wave.ResetOutput();
  m_wave.CloseOutput();
  DropPrefetched();
}

void CRecitation::Trace(const char* pszName, std::initializer_list<long> numbers) const {
  if (m_recitationPlatform.pTrace) m_recitationPlatform.pTrace->Event(pszName, numbers);
}

// --- commands -----------------------------------------------------------------

void CRecitation::OnReadStart() {
  if (!CanStart()) return;
  m_nFirstPhrase = 0;  // Start reads the whole text; a click picks a phrase
  CReadingSequencer::OnReadStart();
  PrepareAhead();
}

void CRecitation::OnReadStop() {
  if (m_nState != Reading) return;
  CReadingSequencer::OnReadStop();
}

void CRecitation::OnReadStartAt(int nPhrase) {
  if (!CanStart() || nPhrase < 0 || nPhrase > kLastPhrase) return;
  CReadingSequencer::OnReadStartAt(nPhrase);
  PrepareAhead();
}

void CRecitation::OnReadStartStop() {
  if (m_nState == Idle)
    OnReadStart();
  else if (m_nState == Reading)
    OnReadStop();
}

void CRecitation::OnReadNext() {
  CReadingSequencer::OnReadNext();
  PrepareAhead();
}

void CRecitation::OnReadPrevious() {
  CReadingSequencer::OnReadPrevious();
  PrepareAhead();
}

void CRecitation::OnReadHome() {
  CReadingSequencer::OnReadHome();
  PrepareAhead();
}

void CRecitation::OnToggleRepeatPhrase() {
  if (CanPractice()) m_bRepeatPhrase = m_bRepeatPhrase == 0 ? 1 : 0;
  PrepareAhead();
}

void CRecitation::OnSetTempo(int nTempoPercent) {
  if (!CanPractice() || !IsTempoChoice(nTempoPercent) || nTempoPercent == m_nTempo) return;
  m_nTempo = nTempoPercent;  // from the next phrase on
  m_settings.nTempo = nTempoPercent;
  StoreSetting(ReadingSettings::Key::Tempo);
  PrepareAhead();
  // What was handed ahead is at the old tempo: the next phrase is handed
  // ahead again (the device takes the new one while the old is not yet
  // playing; else the next phrase starts after the output's latency).
  if (m_nState == Reading && m_wave.IsOutputOpen()) PrefetchNextVoice();
}

void CRecitation::OnToggleRepeat() {
  if (CanChangeSettings()) m_bRepeat = m_bRepeat == 0 ? 1 : 0;
}

void CRecitation::OnToggleMaximize() {
  if (!CanChangeSettings()) return;
  m_bMaximizeOnReading = m_bMaximizeOnReading == 0 ? 1 : 0;
  m_settings.nMaximized = m_bMaximizeOnReading;
  StoreSetting(ReadingSettings::Key::Maximized);
}

void CRecitation::OnSelectRuby(int nAid) {
  if (!CanChangeSettings() || ToReadingAid(nAid) != nAid || nAid == m_nRuby) return;
  m_nRuby = nAid;
  m_settings.nRuby = nAid;
  StoreSetting(ReadingSettings::Key::Ruby);
}

void CRecitation::OnToggleOwnVoice() {
  if (!CanUseOwnVoice()) return;
  m_settings.bOwnVoice = !m_settings.bOwnVoice;
  StoreSetting(ReadingSettings::Key::OwnVoice);
}

void CRecitation::OnSetMokugyo(int nMode) {
  if (nMode < MokugyoOff || nMode > MokugyoAfterOpening) return;
  StoreInstrument(ReadingSettings::Key::Mokugyo, &m_settings.instruments.nMokugyo, nMode);
}

void CRecitation::OnSetMokugyoVolume(int nStep) {
  if (nStep < MokugyoSoft || nStep > MokugyoLoud) return;
  StoreInstrument(ReadingSettings::Key::MokugyoVolume, &m_settings.instruments.nMokugyoVolume,
                  nStep);
}

void CRecitation::OnSetBell(int nPattern) {
  if (nPattern < BellNone || nPattern > BellOneEach) return;
  StoreInstrument(ReadingSettings::Key::Bell, &m_settings.instruments.nBell, nPattern);
}

void CRecitation::OnSetCount(int nCount) {
  if (!CanChangeSettings() || ValidRecitationCount(nCount) != nCount) return;
  m_bRepeat = 1;
  StoreInstrument(ReadingSettings::Key::Count, &m_settings.instruments.nCount, nCount);
}

void CRecitation::OnToggleVoice() {
  StoreInstrument(ReadingSettings::Key::Voice, &m_settings.instruments.bVoice, IsVoiceOn() ? 0 : 1);
}

void CRecitation::StoreInstrument(ReadingSettings::Key key, int* pField, int nValue) {
  if (!CanChangeSettings() || *pField == nValue) return;
  *pField = nValue;
  StoreSetting(key);
  ApplyInstrumentSettings();
}

void CRecitation::ApplyInstrumentSettings() {
  // An instrument's sound is read when it is first chosen.
  m_instruments.LoadWanted(GetExeDirectory(), m_settings.instruments.nMokugyo != MokugyoOff,
                           m_settings.instruments.nBell != BellNone);
  m_nBell = m_settings.instruments.nBell;
  m_nCount = m_settings.instruments.nCount;
}

std::string CRecitation::CountText() const {
  const int nPlanned = RecitationsPlanned();
  if (m_nState == Idle || m_nState == Title || m_bRepeat == 0 || nPlanned <= 0) return {};
  return std::to_string(std::clamp(RecitationNumber(), 1, nPlanned)) + " / " +
         std::to_string(nPlanned);
}

void CRecitation::SetPracticeRecordPath(const std::string& strPath) {
  m_pRecord = strPath.empty() ? nullptr : std::make_unique<CPracticeRecord>(strPath);
  m_bRecordFailReported = false;
}

void CRecitation::OnRecitationComplete(int nRecitation) {
  if (!m_pRecord) return;
  // Written once the buffer-done handler this runs in is over: the entry is
  // synced to the disk, which may take a while, and the end of the text (the
  // overview, or the next recitation) does not wait for it.
  const PracticeEntry entry = PracticeEntry::Now(nRecitation, RecitationsPlanned(), m_nPhraseTempo);
  IEventPoster* pPoster = m_recitationPlatform.pPoster;
  if (pPoster == nullptr) {
    AppendToRecord(entry);
    return;
  }
  std::weak_ptr<int> alive = m_pAlive;
  pPoster->Post([this, alive, entry] {
    if (!alive.expired()) AppendToRecord(entry);
  });
}

void CRecitation::AppendToRecord(const PracticeEntry& entry) {
  if (!m_pRecord) return;
  const CPracticeRecord::Status status = m_pRecord->Append(entry);
  Trace("record", {entry.nRecitation, static_cast<long>(status)});
  if (status == CPracticeRecord::Status::SetAside) {
    OnPracticeRecordSetAside(m_pRecord->SetAsidePath());
  } else if (status == CPracticeRecord::Status::Failed && !m_bRecordFailReported) {
    m_bRecordFailReported = true;  // told once, not at every recitation
    OnPracticeRecordFailed();
  }
}

void CRecitation::SetPicturePath(const std::string& strPath) {
  m_settings.strPicture = strPath;
  StoreSetting(ReadingSettings::Key::Picture);
}

void CRecitation::SetRecorderOpen(bool bOpen) {
  if (m_bRecorderOpen == bOpen) return;
  m_bRecorderOpen = bOpen;
  if (!bOpen) m_settings.bOwnVoice = ReadingSettings::LoadOwnVoice(Profile(), HasOwnVoice());
}

// --- events ---------------------------------------------------------------------

void CRecitation::OnTimer(unsigned nIDEvent) {
  if (nIDEvent == TIMER_START && PostponeStartForStretch()) return;
  CReadingSequencer::OnTimer(nIDEvent);
  if (nIDEvent == TIMER_START) PrepareAhead();  // while the first phrase plays
}

void CRecitation::OnWomDone() {
  m_bPlayedInHandler = false;
  CReadingSequencer::OnWomDone();
  // The reading ended or turned elsewhere: the voice read ahead is not heard.
  if (!m_bPlayedInHandler) {
    m_wave.DropOutputPrefetch();
    DropPrefetched();
  }
  PrepareAhead();  // while the phrase that has just begun plays
}

// --- the voice --------------------------------------------------------------------

// The voice of a phrase: one's own take when there is one and it is wanted,
// else the shipped file. The highlight follows the pace of what was loaded.
bool CRecitation::LoadVoiceSegment(const std::string& path) {
  // The bell rings as many strikes as the reading asks for, as struck.
  if (BellStrikes() > 0 && path == GetBellSoundPath()) {
    DropPrefetched();
    const std::vector<std::uint8_t> pcm = m_instruments.Bell(BellStrikes());
    return !pcm.empty() && pcm.size() <= 0x7FFFFFFF &&
           LoadVoiceSegmentBytes(m_wave, pcm.data(), static_cast<std::uint32_t>(pcm.size())) != 0;
  }
  const int p = m_nPhrase;
  const bool bPhrase = p >= 0 && p <= kLastPhrase && path == GetVoiceSegmentPath(p);
  if (bPhrase) {
    m_dOwnPace[p] = 1.0;
    m_ownOnsets[p] = {};
  }
  // The voice off: the instruments alone, at the table's pace.
  if (bPhrase && !IsVoiceOn()) {
    DropPrefetched();
    const std::vector<std::uint8_t> pcm = VoicelessPhrase(p, m_nPhraseTempo);
    return !pcm.empty() && pcm.size() <= 0x7FFFFFFF &&
           LoadVoiceSegmentBytes(m_wave, pcm.data(), static_cast<std::uint32_t>(pcm.size())) != 0;
  }
  std::string loaded = path;
  bool bLoaded = false;
  if (bPhrase) {
    const std::string own = OwnVoiceFile(p);
    if (!own.empty() && LoadVoiceFile(own)) {
      const std::size_t nSamples = m_wave.GetDataSize() / 2;
      m_dOwnPace[p] = TakePaceFactor(nSamples, GetPhraseDuration(p));
      Trace("own-voice", {p, static_cast<long>(std::lround(m_dOwnPace[p] * 1000))});
      LoadOwnOnsets(p, own, nSamples);
      loaded = own;
      bLoaded = true;
    }
  }
  if (!bLoaded && !LoadVoiceFile(path)) return false;
  // As recorded at 100 %: the file's own samples are played. Otherwise the
  // stretch made ahead from the same file is taken.
  if (m_nPhraseTempo != 100 && !ApplyTempo(loaded)) return false;
  if (bPhrase && Instrument().StrikesPhrase(p)) {
    if (std::uint8_t* pData = m_wave.LockData()) {
      MixMokugyo(pData, m_wave.m_dwDataSize, p, m_nPhraseTempo, m_dOwnPace[p], loaded != path);
      m_wave.UnlockData();
    }
  }
  return true;
}

// The onsets found when the take was kept; never aligned here, in the
// middle of a recitation.
void CRecitation::LoadOwnOnsets(int nPhrase, const std::string& own, std::size_t nSamples) {
  m_ownOnsets[nPhrase] = {};
  std::vector<int> onsets;
  bool bFellBack = false;
  if (!LoadStoredOnsets(own, nPhrase, GetVoiceSegmentPath(nPhrase), &onsets, &bFellBack) ||
      static_cast<int>(onsets.size()) != GetPhraseCharCount(nPhrase))
    return;
  m_ownOnsets[nPhrase].onsetsMs = std::move(onsets);
  m_ownOnsets[nPhrase].nEndMs = static_cast<int>(nSamples * 1000 / kVoiceSamplesPerSec);
  Trace("own-onsets", {nPhrase, bFellBack ? 1L : 0L});
}

double CRecitation::PaceOfVoice(int nPhrase, const std::string& path, std::size_t nRawBytes) const {
  if (path.empty() || path != OwnVoiceFile(nPhrase)) return 1.0;
  return TakePaceFactor(nRawBytes / 2, GetPhraseDuration(nPhrase));
}

void CRecitation::MixMokugyo(std::uint8_t* pPcm, std::size_t nBytes, int nPhrase, int nTempo,
                             double dPace, bool bOwnTake) const {
  if (!Instrument().StrikesPhrase(nPhrase)) return;
  std::vector<std::int64_t> onsets;
  // One's own take whose onsets are known: its strikes fall on them, where
  // its characters are lit.
  if (bOwnTake && !m_ownOnsets[nPhrase].onsetsMs.empty()) {
    for (int nMs : m_ownOnsets[nPhrase].onsetsMs)
      onsets.push_back(MsToSample(ScaleDurationMs(nMs, nTempo)));
  } else {
    onsets = CharOnsetSamples(nPhrase, nTempo, dPace);
  }
  m_instruments.MixIntoPhrase(pPcm, nBytes, nPhrase, onsets, Instrument());
}

std::vector<std::uint8_t> CRecitation::VoicelessPhrase(int nPhrase, int nTempo) const {
  std::vector<std::uint8_t> pcm;
  m_instruments.PreparePhrase(&pcm, nPhrase, nTempo, CharOnsetSamples(nPhrase, nTempo, 1.0),
                              Instrument());
  return pcm;
}

std::string CRecitation::OwnVoiceFile(int nPhrase) const {
  if (!m_settings.bOwnVoice || !m_ownVoice.Has(nPhrase)) return {};
  return m_ownVoice.PathOf(nPhrase);
}

std::string CRecitation::VoiceFileOf(int nPhrase) const {
  std::string own = OwnVoiceFile(nPhrase);
  return own.empty() ? GetVoiceSegmentPath(nPhrase) : own;
}

bool CRecitation::LoadVoiceFile(const std::string& path) {
  // The voice read ahead is the file's sound as it was read a phrase ago.
  if (!m_strPrefetched.empty() && path == m_strPrefetched) {
    const std::vector<std::uint8_t> pcm = std::move(m_prefetched);
    DropPrefetched();
    return LoadVoiceSegmentBytes(m_wave, pcm.data(), static_cast<std::uint32_t>(pcm.size())) != 0;
  }
  DropPrefetched();
  return solvari::LoadVoiceSegment(m_wave, path) != 0;
}

void CRecitation::DropPrefetched() {
  m_strPrefetched.clear();
  m_prefetched.clear();
  m_nStretchWanted = -1;
}

bool CRecitation::ApplyTempo(const std::string& path) {
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::uint8_t> stretched;
  const std::uint8_t* pLoaded = m_wave.LockData();
  const CStretchAhead::Source source =
      m_stretch.Take(path, m_nPhraseTempo, pLoaded, m_wave.m_dwDataSize, stretched);
  m_wave.UnlockData();
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  Trace("stretch", {m_nPhrase, m_nPhraseTempo, static_cast<long>(source), static_cast<long>(us)});
  if (source == CStretchAhead::Source::Failed || stretched.size() > 0x7FFFFFFF) return false;
  // The format stays the voice's; only the samples change.
  const auto nBytes = static_cast<std::uint32_t>(stretched.size());
  if (m_wave.AllocData(nBytes) == nullptr && nBytes != 0) return false;
  if (std::uint8_t* p = m_wave.LockData()) {
    std::copy(stretched.begin(), stretched.end(), p);
    m_wave.UnlockData();
  }
  m_wave.m_dwDataSize = nBytes;
  return true;
}

int CRecitation::OpenOutput() {
  return m_wave.OpenOutput(this, kVoiceSamplesPerSec, kVoiceBitsPerSample, kVoiceChannels);
}

int CRecitation::PlayAll() {
  const int nResult = m_wave.PlayAll();
  m_bPlayedInHandler = true;
  if (nResult == 1) {
    const ITraceSink* pTrace = m_recitationPlatform.pTrace;
    // The bell rings in place of a voice: told apart, with its strikes.
    if (BellStrikes() > 0)
      Trace("bell", {BellStrikes()});
    else
      Trace("phrase", {m_nPhrase, pTrace ? m_recitationPlatform.pTrace->ResidentKiB() : 0L});
    PrefetchNextVoice();
  }
  return nResult;
}

void CRecitation::ResetOutput() { m_wave.ResetOutput(); }

void CRecitation::CloseOutput() { m_wave.CloseOutput(); }

namespace {

// µs after the buffer's start as whole ms, rounded down.
std::int64_t MsIntoBuffer(std::int64_t nUs, const WaveClock& clock) {
  const std::int64_t d = nUs - clock.nBufferStartUs;
  return d >= 0 ? d / 1000 : -((-d + 999) / 1000);
}

}  // namespace

bool CRecitation::GetHeardMs(std::int64_t* pMs) {
  WaveClock clock;
  if (!m_wave.GetOutputClock(&clock)) return false;
  *pMs = MsIntoBuffer(clock.nHeardUs, clock);
  return true;
}

bool CRecitation::GetRunningMs(std::int64_t* pMs) {
  WaveClock clock;
  if (!m_wave.GetOutputClock(&clock)) return false;
  *pMs = MsIntoBuffer(clock.nRunningUs == WaveClock::kNotKnown ? clock.nHeardUs : clock.nRunningUs,
                      clock);
  return true;
}

void CRecitation::WantHeardAt(std::int64_t nMs) { m_wave.WantOutputClockAt(nMs * 1000); }

int CRecitation::OwnOnsetMs(int nPhrase, int nChar) const {
  if (nPhrase < 0 || nPhrase > kLastPhrase) return -1;
  const OwnOnsets& own = m_ownOnsets[nPhrase];
  const int n = static_cast<int>(own.onsetsMs.size());
  if (n == 0 || nChar < 0 || nChar > n) return -1;
  const int nMs = nChar < n ? own.onsetsMs[static_cast<std::size_t>(nChar)]
                            : std::max(own.nEndMs, own.onsetsMs.back());
  return ScaleDurationMs(nMs, m_nPhraseTempo);
}

int CRecitation::FirstCharOnsetMs(int nPhrase) const { return std::max(0, OwnOnsetMs(nPhrase, 0)); }

int CRecitation::CharDurationMs(int nPhrase, int nChar) const {
  if (OwnOnsetMs(nPhrase, nChar) >= 0 && OwnOnsetMs(nPhrase, nChar + 1) >= 0)
    return std::max(1, OwnOnsetMs(nPhrase, nChar + 1) - OwnOnsetMs(nPhrase, nChar));
  if (nPhrase < 0 || nPhrase > kLastPhrase || nChar < 0 || nChar >= kPhraseCharCount[nPhrase])
    return CReadingSequencer::CharDurationMs(nPhrase, nChar);
  const std::vector<std::int64_t> onsets =
      CharOnsetsMs(nPhrase, m_nPhraseTempo, OwnVoicePace(nPhrase));
  return static_cast<int>(onsets[static_cast<std::size_t>(nChar) + 1] -
                          onsets[static_cast<std::size_t>(nChar)]);
}

std::vector<std::int64_t> CRecitation::CharOnsetsMs(int nPhrase, int nTempo, double dPace) {
  std::vector<std::int64_t> onsets;
  if (nPhrase < 0 || nPhrase > kLastPhrase) return onsets;
  std::int64_t nMs = 0;
  onsets.push_back(0);
  for (int c = 0; c < kPhraseCharCount[nPhrase]; ++c) {
    const int nTable = ScaleDurationMs(kPhraseDurations[nPhrase][c], nTempo);
    nMs += dPace == 1.0 ? nTable : std::max(1L, std::lround(nTable * dPace));
    onsets.push_back(nMs);
  }
  return onsets;
}

std::vector<std::int64_t> CRecitation::CharOnsetSamples(int nPhrase, int nTempo, double dPace) {
  std::vector<std::int64_t> samples = CharOnsetsMs(nPhrase, nTempo, dPace);
  if (!samples.empty()) samples.pop_back();  // the end of the last character
  for (std::int64_t& n : samples) n = MsToSample(n);
  return samples;
}

double CRecitation::OwnVoicePace(int nPhrase) const {
  return nPhrase >= 0 && nPhrase <= kLastPhrase ? m_dOwnPace[nPhrase] : 1.0;
}

// --- reading and stretching ahead -------------------------------------------------

bool CRecitation::PostponeStartForStretch() {
  if (m_nState == Starting && m_nTempo != 100 && IsVoiceOn() && !IsShutDown() && m_nPhrase >= 0 &&
      m_nPhrase <= kLastPhrase && m_nStartPostponed < kMaxStretchPolls &&
      m_stretch.IsPending(VoiceFileOf(m_nPhrase), m_nTempo)) {
    ++m_nStartPostponed;
    m_recitationPlatform.pTimers->KillTimer(TIMER_START);
    m_recitationPlatform.pTimers->SetTimer(TIMER_START, kStretchPollMs);
    return true;
  }
  m_nStartPostponed = 0;
  return false;
}

void CRecitation::PrepareAhead() {
  // Without the voice there is nothing to stretch.
  if (m_nTempo == 100 || IsShutDown() || !IsVoiceOn()) return;
  // The newest request is made first: the next phrase is asked for last.
  if (m_nState == Reading && m_nPhrase > 0 && m_nPhrase <= kLastPhrase)
    m_stretch.Prepare(VoiceFileOf(m_nPhrase - 1), m_nTempo);
  // Where Home and a repeat go, kept at hand.
  if (m_nState == Reading) {
    m_stretch.Prepare(VoiceFileOf(0), m_nTempo);
    if (m_nFirstPhrase >= 0 && m_nFirstPhrase <= kLastPhrase)
      m_stretch.Prepare(VoiceFileOf(m_nFirstPhrase), m_nTempo);
  }
  const int nNext = NextPhraseToPlay();
  if (nNext >= 0) m_stretch.Prepare(VoiceFileOf(nNext), m_nTempo);
}

void CRecitation::PrefetchNextVoice() {
  DropPrefetched();
  const int nNext = PhraseFollowingAtOnce();
  if (nNext < 0) return;
  if (!IsVoiceOn()) {
    // The load makes the same bytes again, which the device takes up.
    const std::vector<std::uint8_t> pcm = VoicelessPhrase(nNext, m_nTempo);
    if (!pcm.empty() && pcm.size() <= 0x7FFFFFFF)
      m_wave.PrefetchOutput(pcm.data(), static_cast<std::uint32_t>(pcm.size()));
    return;
  }
  if (m_nTempo != kDefaultTempo) {
    m_nStretchWanted = nNext;
    PrefetchStretchedWhenReady();
    return;
  }
  const std::string path = VoiceFileOf(nNext);
  std::vector<std::uint8_t> pcm;
  if (!ReadVoiceSegmentFile(path, &pcm)) return;
  // The device is handed the phrase as it will play, strikes and all; the
  // load mixes them again into the bytes kept here.
  if (Instrument().StrikesPhrase(nNext)) {
    std::vector<std::uint8_t> sound = pcm;
    const bool bOwn = path == OwnVoiceFile(nNext);
    if (bOwn) LoadOwnOnsets(nNext, path, pcm.size() / 2);
    MixMokugyo(sound.data(), sound.size(), nNext, kDefaultTempo,
               PaceOfVoice(nNext, path, pcm.size()), bOwn);
    if (!m_wave.PrefetchOutput(sound.data(), static_cast<std::uint32_t>(sound.size()))) return;
  } else if (!m_wave.PrefetchOutput(pcm.data(), static_cast<std::uint32_t>(pcm.size()))) {
    return;
  }
  m_strPrefetched = path;
  m_prefetched = std::move(pcm);
}

void CRecitation::PrefetchStretchedWhenReady() {
  const int nNext = m_nStretchWanted;
  // The reading went elsewhere, or the tempo changed, since it was asked for.
  if (nNext < 0 || nNext != PhraseFollowingAtOnce() || m_nTempo == kDefaultTempo) {
    m_nStretchWanted = -1;
    return;
  }
  const std::string path = VoiceFileOf(nNext);
  // Not made yet: the worker's news of its next finished job looks again.
  if (!m_stretch.IsReady(path, m_nTempo)) return;
  m_nStretchWanted = -1;
  std::vector<std::uint8_t> pcm;
  std::vector<std::uint8_t> stretched;
  if (!ReadVoiceSegmentFile(path, &pcm)) return;
  if (m_stretch.Take(path, m_nTempo, pcm.data(), pcm.size(), stretched) !=
          CStretchAhead::Source::Ready ||
      stretched.size() > 0x7FFFFFFF)
    return;
  const bool bOwn = path == OwnVoiceFile(nNext);
  if (bOwn) LoadOwnOnsets(nNext, path, pcm.size() / 2);
  MixMokugyo(stretched.data(), stretched.size(), nNext, m_nTempo,
             PaceOfVoice(nNext, path, pcm.size()), bOwn);
  if (!m_wave.PrefetchOutput(stretched.data(), static_cast<std::uint32_t>(stretched.size())))
    return;
  // The phrase's load finds these bytes and stretches them again from the
  // entry at hand: the same samples, which the device takes up where they are.
  m_strPrefetched = path;
  m_prefetched = std::move(pcm);
}

}  // namespace solvari

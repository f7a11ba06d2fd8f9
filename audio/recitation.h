// SPDX-License-Identifier: GPL-3.0-or-later
// The recitation as the user drives it: the sequencer, the voice of every
// phrase, the heard clock and the settings, in plain C++. Each command of the
// program (Start, Stop, a click on a phrase, next, previous, Home, one
// phrase again, the tempo, the reading aid, one's own voice, maximize,
// repeat) is one call here; a shell only forwards its menus, keys and
// dialogs to these calls and shows what the fields say.
//
// Everything from the platform comes through small interfaces: the frame's
// timers, the view's column operations, the frame window, an event poster
// (the stretch worker's news reaches the user-interface thread through it),
// the profile store and the sound devices. The Qt frame derives from this
// class, so that the recitation's fields (m_nState, m_nPhrase, ...) are the
// frame's fields, which the view reads when it paints; the tests drive it on
// a simulated clock with fake devices, without Qt.
//
// The voice of a phrase: one's own take when it is wanted and kept (with
// the highlight stretched to its pace), else the shipped file; at a tempo
// other than 100 % its stretch, made ahead on a worker thread (or, without
// threads, in events of the user-interface thread) while the phrase before
// plays. The voice that will most likely follow is read (and
// stretched) ahead and handed to the output device, so that it follows
// without a seam.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/instrument_mix.h"
#include "audio/own_voice_folder.h"
#include "audio/stretch_ahead.h"
#include "audio/wave_buffer.h"
#include "core/practice_record.h"
#include "core/reading_sequencer.h"
#include "core/reading_settings.h"
#include "core/trace_sink.h"

namespace solvari {

// What the recitation reaches. The pointers must outlive it; pMessages and
// pTrace may be null.
struct RecitationPlatform {
  ITimerService* pTimers = nullptr;
  IReadingView* pView = nullptr;
  IFrameWindow* pFrame = nullptr;
  IEventPoster* pPoster = nullptr;
  IProfileStore* pProfile = nullptr;
  IWaveMessageSink* pMessages = nullptr;
  ITraceSink* pTrace = nullptr;
  // Where there are no threads (the browser) the stretches are made in
  // events posted through pPoster instead of on a worker thread.
  bool bStretchOnWorker = true;
};

// The sound devices, made once the settings are known (the output's delay
// is one of them). Either may be null: opening it then fails as "no device".
struct WaveDevices {
  std::unique_ptr<IWaveOutDevice> pOut;
  std::unique_ptr<IWaveInDevice> pIn;
};
using WaveDeviceMaker = std::function<WaveDevices(const ReadingSettings&)>;

// The bases that receive the devices' events come before the sequencer, so
// that it can be handed them while it is constructed.
class CRecitation : private IVoiceOutput, private IWaveNotify, public CReadingSequencer {
 public:
  // When the first phrase of a reading is to start while its stretch is
  // still being made, TIMER_START is armed again every kStretchPollMs, for
  // kMaxStretchPolls times at most; then it is stretched where it is.
  static constexpr unsigned kStretchPollMs = 10;
  static constexpr int kMaxStretchPolls = 200;

  CRecitation(const RecitationPlatform& platform, const WaveDeviceMaker& makeDevices,
              std::string strOwnVoiceDir);
  // Stops everything first (see StopAll).
  ~CRecitation() override;
  CRecitation(const CRecitation&) = delete;
  CRecitation& operator=(const CRecitation&) = delete;

  // --- commands: each does nothing where it is not enabled ---------------
  void OnReadStart();  // from the first phrase
  void OnReadStop();
  void OnReadStartAt(int nPhrase);  // a click on a phrase of the overview
  void OnReadStartStop();           // Start in Idle, Stop while reading
  void OnReadNext();
  void OnReadPrevious();
  void OnReadHome();
  void OnToggleRepeatPhrase();
  void OnSetTempo(int nTempoPercent);  // one of kTempoChoices; stored
  void OnToggleRepeat();               // not stored
  void OnToggleMaximize();             // stored
  void OnSelectRuby(int nAid);         // a ReadingAid; stored
  void OnToggleOwnVoice();             // stored
  // The temple instruments and the count, each stored. A count (0 endless,
  // else 1 .. kMaxRecitationCount) also switches Repeat on: it is what the
  // count is for.
  void OnSetMokugyo(int nMode);        // a MokugyoMode
  void OnSetMokugyoVolume(int nStep);  // a MokugyoVolume step
  void OnSetBell(int nPattern);        // a BellPattern
  void OnSetCount(int nCount);
  void OnToggleVoice();  // 声なし: the instruments alone
  // The background picture chosen (stored; the shell loads it).
  void SetPicturePath(const std::string& strPath);
  // The recording window opens or closes: while it is open the recitation
  // cannot start and one's own voice cannot be switched. When it closes the
  // "OwnVoice" setting is read again (a first take switches it on).
  void SetRecorderOpen(bool bOpen);
  bool IsRecorderOpen() const { return m_bRecorderOpen; }
  // The practice record file (in the user's data folder); without one no
  // record is kept.
  void SetPracticeRecordPath(const std::string& strPath);
  CPracticeRecord* PracticeRecord() { return m_pRecord.get(); }
  // "2 / 7" while a reading with a count runs (Repeat on and a count set),
  // else "".
  std::string CountText() const;
  // The instruments' strikes, loaded at construction from beside the
  // executable; a test may give its own.
  CTempleInstruments& Instruments() { return m_instruments; }

  // The events that drive it: a frame timer, and the voice's buffer-done
  // event (posted by the output device).
  void OnTimer(unsigned nIDEvent);
  void OnWomDone() override;

  // Stops the voice, the stretch worker's jobs and every timer of the
  // recitation, so that nothing reaches it any more. Calling it again does
  // nothing.
  void StopAll();

  // --- what the commands' states follow ------------------------------------
  bool CanStart() const { return m_nState == Idle && !m_bRecorderOpen; }
  bool CanChangeSettings() const { return m_nState == Idle; }  // picture, maximize, repeat, ruby
  bool CanStartStop() const { return m_nState == Idle || m_nState == Reading; }
  bool CanPractice() const { return m_nState != Title; }  // one phrase again, the tempo
  bool CanUseOwnVoice() const { return m_nState == Idle && !m_bRecorderOpen; }  // record, own voice

  // --- the settings and one's own voice --------------------------------------
  const ReadingSettings& Settings() const { return m_settings; }
  const COwnVoiceFolder& OwnVoice() const { return m_ownVoice; }
  bool IsOwnVoiceOn() const { return m_settings.bOwnVoice; }
  const InstrumentSettings& Instrument() const { return m_settings.instruments; }
  bool IsVoiceOn() const { return m_settings.instruments.bVoice != 0; }
  bool HasOwnVoice() const { return m_ownVoice.HasAny(); }
  // The factor by which the highlight of nPhrase follows the take loaded last
  // for it (1 for the shipped voice).
  double OwnVoicePace(int nPhrase) const;

  // Where each character of nPhrase begins in its sound at nTempo, in ms,
  // when that sound goes at dPace times the table's pace (one's own take),
  // and where the phrase's last character ends: kPhraseCharCount + 1
  // entries, the first 0. The highlight steps and the wooden fish's strikes
  // both come from here, so that they fall together.
  static std::vector<std::int64_t> CharOnsetsMs(int nPhrase, int nTempo, double dPace);
  // The same onsets as samples of the phrase's sound, one per character.
  static std::vector<std::int64_t> CharOnsetSamples(int nPhrase, int nTempo, double dPace);

  CWaveBuffer& Wave() { return m_wave; }
  CStretchAhead& StretchAhead() { return m_stretch; }

  // The "Reading" / "Ruby" setting: which reading the page shows beside the
  // characters (a ReadingAid, RubyNone unless chosen).
  int m_nRuby = 0;

 protected:
  // The table's durations; for one's own take the steps between its
  // characters' onsets where they are stored beside it, else the table's
  // stretched to its pace.
  int CharDurationMs(int nPhrase, int nChar) const override;
  int FirstCharOnsetMs(int nPhrase) const override;
  // A recitation reached the end of the text: it goes into the record.
  void OnRecitationComplete(int nRecitation) override;
  // The record file was foreign or damaged and has been set aside (renamed
  // to strSetAsidePath); the shell tells the user.
  virtual void OnPracticeRecordSetAside(const std::string& /*strSetAsidePath*/) {}
  // The record could not be written.
  virtual void OnPracticeRecordFailed() {}
  IProfileStore& Profile() const { return *m_recitationPlatform.pProfile; }
  void Trace(const char* pszName, std::initializer_list<long> numbers = {}) const;

 private:
  // IVoiceOutput
  bool LoadVoiceSegment(const std::string& path) override;
  int OpenOutput() override;
  int PlayAll() override;
  void ResetOutput() override;
  void CloseOutput() override;
  bool GetHeardMs(std::int64_t* pMs) override;
  bool GetRunningMs(std::int64_t* pMs) override;
  void WantHeardAt(std::int64_t nMs) override;

  void StoreSetting(ReadingSettings::Key key) { m_settings.Store(Profile(), key); }
  // The onset of nChar (or the end, at the character count) of the take
  // loaded for nPhrase, at the phrase's tempo; -1 when its onsets are not known.
  int OwnOnsetMs(int nPhrase, int nChar) const;
  // One's own take of a phrase when it is wanted and there ("" otherwise).
  std::string OwnVoiceFile(int nPhrase) const;
  // The file a phrase's voice is read from: one's own take when it is
  // wanted and there, else the shipped one. Stretches are made from it.
  std::string VoiceFileOf(int nPhrase) const;
  // Loads a voice file (from what was read ahead, when it is that file).
  bool LoadVoiceFile(const std::string& path);
  // Replaces the voice just loaded from path by its stretch to the phrase's
  // tempo; false when that fails.
  bool ApplyTempo(const std::string& path);
  // Asks for the stretches the next phrases will need at the tempo set now.
  void PrepareAhead();
  // When the first phrase of a reading is about to load and its stretch is
  // still being made: TIMER_START is armed again shortly instead of waiting
  // for it on this thread. True when it did so.
  bool PostponeStartForStretch();
  // Reads the voice that will most likely follow the one just queued and
  // hands it to the device ahead, so that it follows without a seam.
  void PrefetchNextVoice();
  // At another tempo the next voice is handed ahead once its stretch is made
  // (looked at again each time the worker finishes a job).
  void PrefetchStretchedWhenReady();
  void DropPrefetched();
  // The pace of a phrase's voice read from path (raw bytes long): a take's
  // own against the table, else 1.
  double PaceOfVoice(int nPhrase, const std::string& path, std::size_t nRawBytes) const;
  // Mixes the wooden fish into the sound of nPhrase about to be played (at
  // nTempo, dPace; bOwnTake: one's own take, struck at its stored onsets
  // where they are known); nothing with the wooden fish off.
  void MixMokugyo(std::uint8_t* pPcm, std::size_t nBytes, int nPhrase, int nTempo, double dPace,
                  bool bOwnTake) const;
  // Reads the onsets stored beside one's own take of nPhrase (nSamples long).
  void LoadOwnOnsets(int nPhrase, const std::string& own, std::size_t nSamples);
  // The sound of nPhrase with the voice off, at nTempo.
  std::vector<std::uint8_t> VoicelessPhrase(int nPhrase, int nTempo) const;
  // The settings' instruments and count, handed to the sequencer at Start.
  void ApplyInstrumentSettings();
  void StoreInstrument(ReadingSettings::Key key, int* pField, int nValue);
  // Adds a recitation to the record, and tells what went wrong.
  void AppendToRecord(const PracticeEntry& entry);

  RecitationPlatform m_recitationPlatform;
  COwnVoiceFolder m_ownVoice;
  ReadingSettings m_settings;
  bool m_bRecorderOpen = false;
  bool m_bStopped = false;
  int m_nStartPostponed = 0;
  bool m_bPlayedInHandler = false;         // a voice was queued in this buffer-done handler
  std::string m_strPrefetched;             // the voice file handed to the device ahead
  std::vector<std::uint8_t> m_prefetched;  // its sound bytes
  int m_nStretchWanted = -1;               // the phrase whose stretch waits to be handed ahead
  double m_dOwnPace[54];
  // The onsets of the take loaded for each phrase, as stored beside it (ms
  // from its start at 100 %), and its length; empty where not known.
  struct OwnOnsets {
    std::vector<int> onsetsMs;
    int nEndMs = 0;
  };
  OwnOnsets m_ownOnsets[54];
  CTempleInstruments m_instruments;
  std::unique_ptr<CPracticeRecord> m_pRecord;
  bool m_bRecordFailReported = false;  // a record that cannot be written is told once
  // Events posted by the stretch worker check it: none reaches a recitation
  // that has gone.
  std::shared_ptr<int> m_pAlive = std::make_shared<int>(0);
  CWaveBuffer m_wave;
  // Made after the buffer and gone before it: its worker is stopped first.
  CStretchAhead m_stretch;
};

}  // namespace solvari

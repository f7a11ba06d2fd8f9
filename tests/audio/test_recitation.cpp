// SPDX-License-Identifier: GPL-3.0-or-later
// The recitation component on the simulated platform, without Qt: real voice
// files in a folder of their own, the fake output device, the simulated
// clock, view and frame. Start to end, a step, a tempo, one's own take, a
// click on a phrase, the heard clock and the settings; the temple
// instruments in the sound that is played, the count and the practice record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <mutex>

#include "audio/instrument_mix.h"
#include "audio/recitation.h"
#include "audio/take_onsets.h"
#include "audio/voice_segment.h"
#include "audio/voice_take.h"
#include "core/exe_directory.h"
#include "core/sutra_readings.h"
#include "core/sutra_tables.h"
#include "core/voice_segment_path.h"
#include "tests/core/sim_platform.h"
#include "tests/fakes/fake_wave_device.h"
#include "tests/fakes/temp_dir.h"

namespace solvari {
namespace {

using Strings = std::vector<std::string>;

// The shipped voice of phrase p lasts 200 + 10 p ms, so that the length of a
// buffer tells which phrase it is; a take of one's own lasts 3000 + 10 p ms.
std::uint32_t ShippedBytes(int p) {
  return static_cast<std::uint32_t>(2 * ((200 + 10 * p) * 11025 / 1000));
}
std::uint32_t TakeBytes(int p) {
  return static_cast<std::uint32_t>(2 * ((3000 + 10 * p) * 11025 / 1000));
}

std::vector<std::uint8_t> Tone(std::uint32_t nBytes) {
  std::vector<std::uint8_t> v(nBytes);
  for (std::size_t i = 0; i + 1 < v.size(); i += 2) {
    const auto s = static_cast<std::int16_t>(6000 * std::sin(static_cast<double>(i) * 0.06));
    v[i] = static_cast<std::uint8_t>(s & 0xFF);
    v[i + 1] = static_cast<std::uint8_t>((s >> 8) & 0xFF);
  }
  return v;
}

// The stretch worker posts from its own thread: its events wait here until
// the test hands them to the simulated loop.
class CThreadPoster : public IEventPoster {
 public:
  void Post(std::function<void()> fn) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_posted.push_back(std::move(fn));
  }
  void PumpInto(sim::CSimLoop& loop) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& fn : m_posted) loop.Post(std::move(fn));
    m_posted.clear();
  }

 private:
  std::mutex m_mutex;
  std::vector<std::function<void()>> m_posted;
};

class CRecordedTrace : public ITraceSink {
 public:
  void Event(const char* pszName, std::initializer_list<long> numbers) override {
    events.push_back({pszName, std::vector<long>(numbers)});
  }
  std::vector<std::pair<std::string, std::vector<long>>> events;
  int Count(const std::string& name) const {
    return static_cast<int>(std::count_if(events.begin(), events.end(),
                                          [&](const auto& e) { return e.first == name; }));
  }
};

// The recitation with what it tells the user about the practice record.
class CTestRecitation : public CRecitation {
 public:
  using CRecitation::CRecitation;
  std::vector<std::string> setAside;
  int nFailed = 0;

 protected:
  void OnPracticeRecordSetAside(const std::string& strPath) override {
    setAside.push_back(strPath);
  }
  void OnPracticeRecordFailed() override { ++nFailed; }
};

// The wooden fish of the tests: one sample, so that each strike is exactly
// one changed sample of the phrase's sound (at the middle volume, +1000).
const StrikeSamples kClick{2000};
constexpr int kClickAdds = 1000;

// The samples where mixed differs from plain.
std::vector<std::int64_t> ChangedSamples(const std::vector<std::uint8_t>& mixed,
                                         const std::vector<std::uint8_t>& plain) {
  std::vector<std::int64_t> out;
  for (std::size_t i = 0; i + 1 < std::min(mixed.size(), plain.size()); i += 2) {
    const auto m = static_cast<std::int16_t>(mixed[i] | (mixed[i + 1] << 8));
    const auto v = static_cast<std::int16_t>(plain[i] | (plain[i + 1] << 8));
    if (m != v) {
      EXPECT_EQ(m - v, kClickAdds) << "sample " << i / 2;
      out.push_back(static_cast<std::int64_t>(i / 2));
    }
  }
  return out;
}

class RecitationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetExeDirectory(dir.Path().string() + "/");
    for (int p = 0; p <= kLastPhrase; ++p) {
      const std::vector<std::uint8_t> pcm = Tone(ShippedBytes(p));
      ASSERT_TRUE(WriteVoiceSegment(GetVoiceSegmentPath(p), pcm.data(),
                                    static_cast<std::uint32_t>(pcm.size())));
    }
    log.post = [this](std::function<void()> fn) { loop.Post(std::move(fn)); };
  }
  void TearDown() override { SetExeDirectory(""); }

  // A recitation past its title screen.
  CTestRecitation& Make() {
    RecitationPlatform platform{&loop, &view, &frame, &poster, &profile, nullptr, &trace};
    platform.bStretchOnWorker = bStretchOnWorker;
    pRecitation = std::make_unique<CTestRecitation>(
        platform,
        [this](const ReadingSettings&) {
          WaveDevices devices;
          auto pOut = std::make_unique<test::CFakeWaveOut>(&log);
          pDevice = pOut.get();
          devices.pOut = std::move(pOut);
          return devices;
        },
        dir.File("own"));
    loop.SetTimerSink([this](unsigned nId) { pRecitation->OnTimer(nId); });
    view.SetFrame(pRecitation.get());
    pRecitation->m_nState = Idle;
    return *pRecitation;
  }
  void WriteTake(int p) {
    std::filesystem::create_directories(dir.File("own"));
    const std::vector<std::uint8_t> pcm = Tone(TakeBytes(p));
    ASSERT_TRUE(WriteVoiceSegment(dir.File("own/" + OwnVoiceFileName(p)), pcm.data(),
                                  static_cast<std::uint32_t>(pcm.size())));
  }
  // Runs until a voice is queued; its length in bytes (0 when none came).
  std::uint32_t NextVoice(double maxMs = 5000) {
    return loop.RunUntil([this] { return log.bQueued; }, maxMs) ? log.nBytes : 0;
  }
  // Lets the queued voice play for ms, then end.
  void PlayFor(double ms) {
    loop.RunFor(ms);
    pDevice->Finish();
  }
  // Every stretch the worker has made, handed over; then ms on the clock.
  void SettleStretches(double ms) {
    pRecitation->StretchAhead().WaitIdle();
    poster.PumpInto(loop);
    loop.RunFor(ms);
  }
  std::vector<std::string> Highlights(std::size_t from = 0) const {
    Strings out;
    for (const auto& s : loop.LogSince(from))
      if (s.rfind("Highlight", 0) == 0) out.push_back(s);
    return out;
  }

  test::TempDir dir;
  sim::CSimLoop loop;
  sim::CSimView view{loop, 723, 425};
  sim::CSimFrame frame{loop, view, {723, 425}, {1018, 626}};
  CThreadPoster poster;
  CMemoryProfileStore profile;
  CRecordedTrace trace;
  test::DeviceLog log;
  test::CFakeWaveOut* pDevice = nullptr;
  std::unique_ptr<CTestRecitation> pRecitation;
  bool bStretchOnWorker = true;  // Make's: false as in the browser, no thread
};

// A recitation with the test's wooden fish and bell.
class TempleTest : public RecitationTest {
 protected:
  CTestRecitation& MakeTemple() {
    CTestRecitation& r = Make();
    r.Instruments().SetMokugyo(kClick);
    r.Instruments().SetBell(bell);
    return r;
  }
  // The queued voice, copied.
  std::vector<std::uint8_t> Queued() const {
    return std::vector<std::uint8_t>(log.pData, log.pData + log.nBytes);
  }
  // Starts at phrase p at the tempo set, and runs its voice (without ending
  // it); what was queued, and when each character was lit, in ms after the
  // first.
  std::vector<std::uint8_t> RecitePhrase(int p, std::vector<std::int64_t>* pLitMs) {
    CRecitation& r = *pRecitation;
    const std::size_t from = loop.LogEntries().size();
    r.OnReadStartAt(p);
    loop.RunFor(300);
    while (r.m_nState == Starting) SettleStretches(10);
    EXPECT_TRUE(log.bQueued);
    std::vector<std::uint8_t> sound = Queued();
    loop.RunFor(GetPhraseDuration(p) * 4.0);
    pLitMs->clear();
    for (std::size_t i = from; i < loop.LogEntries().size(); ++i) {
      const sim::LogEntry& e = loop.LogEntries()[i];
      if (e.text.rfind("Highlight " + std::to_string(p) + " ", 0) == 0)
        pLitMs->push_back(e.time / sim::kMicrosPerMs);
    }
    const std::int64_t t0 = pLitMs->empty() ? 0 : pLitMs->front();
    for (std::int64_t& n : *pLitMs) n -= t0;
    r.OnReadStop();
    loop.RunUntilIdle();
    EXPECT_EQ(r.m_nState, Idle);
    return sound;
  }
  // Each character's onset as lit, as a sample of a sound nBytes long (the
  // test's voices are shorter than the phrases: a strike after the end of
  // the sound is not heard).
  static std::vector<std::int64_t> AsSamples(const std::vector<std::int64_t>& ms,
                                             std::size_t nBytes) {
    std::vector<std::int64_t> out;
    for (const std::int64_t n : ms)
      if (MsToSample(n) < static_cast<std::int64_t>(nBytes / 2)) out.push_back(MsToSample(n));
    return out;
  }
  // Runs a whole reading, each voice ended after it is queued; the length
  // of every buffer queued, in order.
  std::vector<std::uint32_t> RunReading(int nMaxBuffers) {
    std::vector<std::uint32_t> lengths;
    for (int k = 0; k < nMaxBuffers && pRecitation->m_nState != Idle; ++k) {
      const std::uint32_t n = NextVoice(10000);
      if (n == 0) break;
      lengths.push_back(n);
      PlayFor(1);
    }
    loop.RunUntilIdle();
    poster.PumpInto(loop);  // what the recitation left for after its events
    loop.RunUntilIdle();
    return lengths;
  }

  StrikeSamples bell = StrikeSamples(500, 3000);
};

TEST_F(RecitationTest, StartRecitesTheWholeTextInOrderAndEndsInIdle) {
  CRecitation& r = Make();
  r.OnReadStart();
  EXPECT_EQ(r.m_nState, Starting);
  for (int p = 0; p <= kLastPhrase; ++p) {
    ASSERT_EQ(NextVoice(), ShippedBytes(p)) << "phrase " << p;
    EXPECT_EQ(r.m_nState, Reading);
    EXPECT_EQ(r.m_nPhrase, p);
    PlayFor(GetPhraseDuration(p) + 20);
  }
  loop.RunUntilIdle();
  EXPECT_EQ(r.m_nState, Idle);
  EXPECT_TRUE(view.ShowsOverview());
  EXPECT_EQ(Highlights().size(), 266u);  // every character lit once
  EXPECT_EQ(trace.Count("phrase"), 54);
  EXPECT_FALSE(log.bOpen);
  EXPECT_TRUE(view.Faults().empty());
}

TEST_F(RecitationTest, AClickedPhraseStartsThereAndNextAndPreviousStepAtOnce) {
  CRecitation& r = Make();
  r.OnReadStartAt(20);
  EXPECT_EQ(r.m_nFirstPhrase, 20);
  ASSERT_EQ(NextVoice(), ShippedBytes(20));
  EXPECT_EQ(view.Page().front(), 20);
  loop.RunFor(100);
  r.OnReadNext();  // the voice stops at once and the next one plays
  r.OnReadNext();  // presses before the voice is returned add up
  ASSERT_EQ(NextVoice(), ShippedBytes(22));
  EXPECT_EQ(r.m_nPhrase, 22);
  r.OnReadPrevious();
  ASSERT_EQ(NextVoice(), ShippedBytes(21));
  r.OnReadHome();
  ASSERT_EQ(NextVoice(), ShippedBytes(0));
  EXPECT_EQ(r.m_nFirstPhrase, 0);
  r.OnReadStop();
  loop.RunUntilIdle();
  EXPECT_EQ(r.m_nState, Idle);
  // Start (not a click) reads from the first phrase again.
  r.OnReadStart();
  EXPECT_EQ(NextVoice(), ShippedBytes(0));
}

TEST_F(RecitationTest, ATempoStretchesTheVoiceAndTheHighlightAndHandsTheNextAhead) {
  CRecitation& r = Make();
  r.OnSetTempo(50);
  EXPECT_EQ(profile.GetProfileInt("Reading", "Tempo", 0), 50);
  pDevice->bTakesPrefetch = true;
  r.OnReadStartAt(52);
  // The first phrase waits for its stretch (made on the worker) rather than
  // stretching it here.
  loop.RunFor(300);
  while (r.m_nState == Starting) SettleStretches(10);
  ASSERT_TRUE(log.bQueued);
  const double dRatio = static_cast<double>(log.nBytes) / ShippedBytes(52);
  EXPECT_NEAR(dRatio, 2.0, 0.02);
  // The first character's step is twice the table's.
  EXPECT_EQ(loop.DueIn(TIMER_CHAR), 2 * kPhraseDurations[52][0] * sim::kMicrosPerMs);
  SettleStretches(0);
  // Phrase 53's stretch, once made, was handed to the device ahead.
  ASSERT_FALSE(pDevice->prefetched.empty());
  EXPECT_NEAR(static_cast<double>(pDevice->prefetched.size()) / ShippedBytes(53), 2.0, 0.02);
  PlayFor(2 * GetPhraseDuration(52));
  ASSERT_EQ(NextVoice(), pDevice->prefetched.size());
  EXPECT_EQ(r.m_nPhrase, 53);
  EXPECT_EQ(r.m_nPhraseTempo, 50);
}

TEST_F(RecitationTest, WithoutAWorkerTheStretchesAreMadeInPostedEventsAndThePhrasesFollow) {
  bStretchOnWorker = false;
  CRecitation& r = Make();
  r.OnSetTempo(50);
  pDevice->bTakesPrefetch = true;
  r.OnReadStartAt(51);
  // Nothing is stretched before the poster's events run: the first phrase
  // waits for them.
  loop.RunFor(300);
  EXPECT_EQ(r.m_nState, Starting);
  EXPECT_FALSE(log.bQueued);
  EXPECT_TRUE(r.StretchAhead().IsPending(GetVoiceSegmentPath(51), 50));
  while (r.m_nState == Starting) SettleStretches(10);
  ASSERT_TRUE(log.bQueued);
  EXPECT_NEAR(static_cast<double>(log.nBytes) / ShippedBytes(51), 2.0, 0.02);
  for (int p = 52; p <= kLastPhrase; ++p) {
    SCOPED_TRACE(p);
    // A few rounds of the poster: the next phrase's stretch (asked for last,
    // so made first) and the news of it, which hands it to the device.
    for (int k = 0; k < 4; ++k) SettleStretches(0);
    ASSERT_NEAR(static_cast<double>(pDevice->prefetched.size()) / ShippedBytes(p), 2.0, 0.02);
    PlayFor(2 * GetPhraseDuration(p - 1));
    ASSERT_EQ(NextVoice(), pDevice->prefetched.size());
    EXPECT_EQ(r.m_nPhrase, p);
  }
  PlayFor(2 * GetPhraseDuration(kLastPhrase));
  loop.RunUntilIdle();
  EXPECT_EQ(r.m_nState, Idle);
  // Each phrase found its stretch made: none was made in place or waited for.
  std::vector<long> phrases;
  for (const auto& [name, numbers] : trace.events) {
    if (name != "stretch") continue;
    phrases.push_back(numbers[0]);
    EXPECT_EQ(numbers[2], static_cast<long>(CStretchAhead::Source::Ready)) << numbers[0];
  }
  EXPECT_EQ(phrases, (std::vector<long>{51, 52, 53}));
}

TEST_F(RecitationTest, OnesOwnTakeIsRecitedAtItsOwnPaceAndCanBeSwitchedOff) {
  WriteTake(1);
  CRecitation& r = Make();
  EXPECT_TRUE(r.IsOwnVoiceOn());  // on by default once a take is kept
  r.OnReadStart();
  ASSERT_EQ(NextVoice(), ShippedBytes(0));
  PlayFor(GetPhraseDuration(0));
  ASSERT_EQ(NextVoice(), TakeBytes(1));
  const double dPace = TakePaceFactor(TakeBytes(1) / 2, GetPhraseDuration(1));
  EXPECT_DOUBLE_EQ(r.OwnVoicePace(1), dPace);
  EXPECT_EQ(trace.Count("own-voice"), 1);
  // Each character's step follows the take's pace.
  EXPECT_EQ(loop.DueIn(TIMER_CHAR),
            std::lround(kPhraseDurations[1][0] * dPace) * sim::kMicrosPerMs);
  r.OnReadStop();
  loop.RunUntilIdle();
  ASSERT_EQ(r.m_nState, Idle);

  r.OnToggleOwnVoice();
  EXPECT_FALSE(r.IsOwnVoiceOn());
  EXPECT_EQ(profile.GetProfileInt("Reading", "OwnVoice", -1), 0);
  r.OnReadStartAt(1);
  EXPECT_EQ(NextVoice(), ShippedBytes(1));
  EXPECT_EQ(r.OwnVoicePace(1), 1.0);
}

// The onsets file of the take of phrase p, as keeping it writes one.
OnsetsRecord OnsetsOfTake(const std::string& takePath, int p, std::vector<int> onsetsMs) {
  std::vector<std::uint8_t> take, shipped;
  EXPECT_TRUE(ReadVoiceSegmentFile(takePath, &take));
  EXPECT_TRUE(ReadVoiceSegmentFile(GetVoiceSegmentPath(p), &shipped));
  OnsetsRecord record;
  record.nPhrase = p;
  record.nTakeBytes = static_cast<std::uint32_t>(take.size());
  record.nTakeCrc = Crc32(take.data(), take.size());
  record.nShippedBytes = static_cast<std::uint32_t>(shipped.size());
  record.nShippedCrc = Crc32(shipped.data(), shipped.size());
  record.onsets.onsetsMs = std::move(onsetsMs);
  return record;
}

TEST_F(RecitationTest, ATakeIsLitAtItsStoredOnsetsAndAtTheTempoScaledAsItsVoice) {
  WriteTake(2);  // six characters
  const std::string take = dir.File("own/" + OwnVoiceFileName(2));
  const std::vector<int> onsets = {60, 700, 900, 1800, 2000, 2600};  // uneven, as people chant
  ASSERT_TRUE(WriteOnsetsFile(OnsetsPathFor(take), OnsetsOfTake(take, 2, onsets)));
  CRecitation& r = Make();
  for (int nTempo : {100, 50}) {
    SCOPED_TRACE(nTempo);
    r.OnSetTempo(nTempo);
    r.OnReadStartAt(2);
    loop.RunFor(300);
    while (r.m_nState == Starting) SettleStretches(10);
    ASSERT_TRUE(log.bQueued);
    const sim::Micros t0 = loop.Now();
    std::vector<double> lit;
    for (std::size_t n = 0; n < onsets.size(); ++n) {
      ASSERT_TRUE(loop.RunUntil([&] { return Highlights().size() > n; }, 10000));
      lit.push_back(static_cast<double>(loop.Now() - t0) / sim::kMicrosPerMs);
    }
    for (std::size_t c = 0; c < onsets.size(); ++c)
      EXPECT_NEAR(lit[c], onsets[c] * 100.0 / nTempo, 1.0) << "character " << c;
    r.OnReadStop();
    loop.RunUntilIdle();
    loop.ClearLog();
  }
}

TEST_F(RecitationTest, AnOnsetsFileOfAnotherTakeOrCutShortIsNotBelieved) {
  WriteTake(2);
  const std::string take = dir.File("own/" + OwnVoiceFileName(2));
  OnsetsRecord record = OnsetsOfTake(take, 2, {60, 700, 900, 1800, 2000, 2600});
  const std::string text = FormatOnsetsFile(record);
  record.nTakeCrc ^= 1;  // another take's
  const std::string foreign = FormatOnsetsFile(record);
  for (const std::string& bad : {foreign, text.substr(0, text.size() / 2)}) {
    std::ofstream(OnsetsPathFor(take), std::ios::binary | std::ios::trunc) << bad;
    CRecitation& r = Make();
    r.OnReadStartAt(2);
    ASSERT_EQ(NextVoice(), TakeBytes(2));
    // The take's pace, from the start of its voice, as before onsets were kept.
    EXPECT_EQ(Highlights(), Strings{"Highlight 2 0"});
    EXPECT_EQ(loop.DueIn(TIMER_CHAR),
              std::lround(kPhraseDurations[2][0] * r.OwnVoicePace(2)) * sim::kMicrosPerMs);
    r.OnReadStop();
    loop.RunUntilIdle();
    pRecitation.reset();
    loop.ClearLog();
  }
}

TEST_F(RecitationTest, TheFirstCharacterWaitsUntilTheVoiceIsHeard) {
  CRecitation& r = Make();
  log.bClock = true;
  log.clock.nBufferStartUs = 1'000'000;
  log.clock.nHeardUs = 1'000'000 - 120'500;  // 120.5 ms still to come
  r.OnReadStart();
  ASSERT_NE(NextVoice(), 0u);
  EXPECT_TRUE(Highlights().empty());
  // The clock is looked at again soon (it may stand short of the sound),
  // and nothing is lit before the voice is heard, not half a ms before.
  EXPECT_EQ(loop.DueIn(TIMER_CHAR), CReadingSequencer::kClockRecheckMs * sim::kMicrosPerMs);
  loop.RunFor(120);
  EXPECT_TRUE(Highlights().empty());
  log.clock.nHeardUs = 1'000'000 - 500;
  loop.RunFor(CReadingSequencer::kClockRecheckMs);
  EXPECT_TRUE(Highlights().empty());
  log.clock.nHeardUs = 1'000'000;
  loop.RunFor(CReadingSequencer::kClockRecheckMs);
  EXPECT_EQ(Highlights(), Strings{"Highlight 0 0"});
  r.OnReadStop();
  loop.RunUntilIdle();
}

// The clock stands 12 ms short of the sound when the next step is set (the
// output's last word vouches for no further): the step is timed by where
// the sound runs on to, not 12 ms late. Whether it is due is still the
// clock's to say when it fires.
TEST_F(RecitationTest, AStepIsTimedByWhereTheSoundRunsOnNotWhereTheClockStands) {
  CRecitation& r = Make();
  log.bClock = true;
  log.clock.nBufferStartUs = 1'000'000;
  log.clock.nHeardUs = 1'000'000;
  log.clock.nRunningUs = 1'000'000 + 12'000;
  r.OnReadStart();
  ASSERT_NE(NextVoice(), 0u);
  EXPECT_EQ(Highlights(), Strings{"Highlight 0 0"});
  const std::int64_t nLightAt = kPhraseDurations[0][0] - CReadingSequencer::kLightLeadMs;
  EXPECT_EQ(loop.DueIn(TIMER_CHAR), (nLightAt - 12) * sim::kMicrosPerMs);
  // The clock still stands: the step looks again instead of lighting.
  loop.RunFor(nLightAt - 12);
  EXPECT_EQ(Highlights(), Strings{"Highlight 0 0"});
  log.clock.nHeardUs = 1'000'000 + nLightAt * 1000;
  loop.RunFor(CReadingSequencer::kClockRecheckMs);
  EXPECT_EQ(Highlights(), (Strings{"Highlight 0 0", "Highlight 0 1"}));
  r.OnReadStop();
  loop.RunUntilIdle();
}

TEST_F(RecitationTest, SettingsAreLoadedOnceAndEachCommandStoresItsOwn) {
  profile.WriteProfileInt("Reading", "Ruby", RubyRomaji);
  profile.WriteProfileInt("Reading", "Tempo", 60);  // no choice: the default
  profile.WriteProfileInt("Reading", "Maximized", 1);
  profile.WriteProfileString("Reading", "Picture", "/pictures/temple.bmp");
  CRecitation& r = Make();
  EXPECT_EQ(r.m_nRuby, RubyRomaji);
  EXPECT_EQ(r.m_nTempo, 100);
  EXPECT_EQ(r.m_bMaximizeOnReading, 1);
  EXPECT_EQ(r.Settings().strPicture, "/pictures/temple.bmp");
  EXPECT_FALSE(r.IsOwnVoiceOn());  // no take kept

  r.OnSelectRuby(RubyKana);
  r.OnToggleMaximize();
  r.OnToggleRepeat();
  r.SetPicturePath("/pictures/other.png");
  EXPECT_EQ(profile.GetProfileInt("Reading", "Ruby", -1), RubyKana);
  EXPECT_EQ(profile.GetProfileInt("Reading", "Maximized", -1), 0);
  EXPECT_EQ(profile.GetProfileString("Reading", "Picture", ""), "/pictures/other.png");
  EXPECT_EQ(r.m_bRepeat, 1);
  EXPECT_EQ(profile.GetProfileInt("Reading", "Repeat", -1), -1);  // never stored

  // While reciting the settings stay as they are; the tempo may change.
  r.OnReadStart();
  r.OnSelectRuby(RubyNone);
  r.OnToggleMaximize();
  r.OnToggleOwnVoice();
  r.OnSetTempo(75);
  EXPECT_EQ(r.m_nRuby, RubyKana);
  EXPECT_EQ(r.m_bMaximizeOnReading, 0);
  EXPECT_EQ(r.m_nTempo, 75);
  // The recording window open: no Start, no own-voice switch.
  ASSERT_NE(NextVoice(), 0u);
  r.OnReadStop();
  loop.RunUntilIdle();
  r.SetRecorderOpen(true);
  EXPECT_FALSE(r.CanStart());
  r.OnReadStart();
  EXPECT_EQ(r.m_nState, Idle);
  WriteTake(0);
  r.SetRecorderOpen(false);  // a first take switches one's own voice on
  EXPECT_TRUE(r.IsOwnVoiceOn());
}

TEST_F(RecitationTest, GoingAwayMidPhraseClosesTheDeviceAndDropsWhatIsOnItsWay) {
  CRecitation& r = Make();
  r.OnSetTempo(150);
  r.OnReadStartAt(40);
  loop.RunFor(300);
  while (r.m_nState == Starting) SettleStretches(10);
  ASSERT_TRUE(log.bQueued);
  r.OnReadNext();  // a done is on its way, and stretches are being made
  pRecitation.reset();
  EXPECT_FALSE(log.bOpen);
  // What the device and the worker posted reaches nothing.
  poster.PumpInto(loop);
  loop.RunUntilIdle();
  EXPECT_EQ(log.nDonesDelivered, 0);
}

// --- the temple instruments, the count and the record --------------------------

TEST_F(TempleTest, EachStrikeFallsOnTheSampleWhereItsCharacterIsLitAtEveryTempoAndWithATake) {
  WriteTake(40);
  CTestRecitation& r = MakeTemple();
  const int p = 52;  // several characters of different lengths
  for (const int nTempo : {50, 100, 150}) {
    r.OnSetTempo(nTempo);
    for (const int q : {p, 40}) {  // the shipped voice, one's own take
      SCOPED_TRACE("tempo " + std::to_string(nTempo) + ", phrase " + std::to_string(q));
      r.OnSetMokugyo(MokugyoOff);
      std::vector<std::int64_t> litPlain;
      const std::vector<std::uint8_t> plain = RecitePhrase(q, &litPlain);
      r.OnSetMokugyo(MokugyoEveryChar);
      std::vector<std::int64_t> lit;
      const std::vector<std::uint8_t> mixed = RecitePhrase(q, &lit);
      ASSERT_EQ(mixed.size(), plain.size());
      ASSERT_EQ(lit.size(), static_cast<std::size_t>(kPhraseCharCount[q]));
      EXPECT_EQ(lit, litPlain);  // the highlight is the same with the strikes
      EXPECT_EQ(ChangedSamples(mixed, plain), AsSamples(lit, mixed.size()));
      if (q == 40) {  // the take is long enough for every strike
        EXPECT_EQ(ChangedSamples(mixed, plain).size(), lit.size());
      }
    }
  }
  // The shipped voice as recorded: on the samples of the table, where its
  // soft ticks are.
  EXPECT_NE(r.OwnVoicePace(40), 1.0);
  r.OnSetTempo(100);
  std::vector<std::int64_t> lit;
  r.OnSetMokugyo(MokugyoOff);
  const std::vector<std::uint8_t> plain = RecitePhrase(p, &lit);
  r.OnSetMokugyo(MokugyoEveryChar);
  EXPECT_EQ(ChangedSamples(RecitePhrase(p, &lit), plain), AsSamples(lit, plain.size()));
  EXPECT_EQ(AsSamples(lit, plain.size()),
            AsSamples(CRecitation::CharOnsetsMs(p, 100, 1.0), plain.size()));
  EXPECT_EQ(CRecitation::CharOnsetSamples(p, 100, 1.0), TableOnsetSamples(p, 100));
}

TEST_F(TempleTest, TheVoiceHandedAheadCarriesTheStrikesAsItWillPlay) {
  CTestRecitation& r = MakeTemple();
  r.OnSetMokugyo(MokugyoAfterOpening);
  pDevice->bTakesPrefetch = true;
  for (const int nTempo : {100, 150}) {
    SCOPED_TRACE(nTempo);
    r.OnSetTempo(nTempo);
    r.OnReadStart();
    loop.RunFor(300);
    while (r.m_nState == Starting) SettleStretches(10);
    ASSERT_TRUE(log.bQueued);
    // The opening phrase is chanted alone: no strike in it.
    if (nTempo == 100) {
      EXPECT_EQ(Queued(), Tone(ShippedBytes(0)));
    }
    SettleStretches(0);
    const std::vector<std::uint8_t> ahead = pDevice->prefetched;
    ASSERT_FALSE(ahead.empty());
    PlayFor(1);
    ASSERT_NE(NextVoice(), 0u);
    EXPECT_EQ(r.m_nPhrase, 1);
    EXPECT_EQ(Queued(), ahead);  // identical, so the device takes it up
    if (nTempo == 100) {
      EXPECT_EQ(ChangedSamples(ahead, Tone(ShippedBytes(1))),
                AsSamples(CRecitation::CharOnsetsMs(1, 100, 1.0), ahead.size()));
    }
    r.OnReadStop();
    loop.RunUntilIdle();
  }
}

TEST_F(TempleTest, TheDefaultsPlayTheVoiceFilesAsTheyAreWithNoBellAndRecordTheEnd) {
  CTestRecitation& r = MakeTemple();
  r.SetPracticeRecordPath(dir.File("practice.txt"));
  pDevice->bTakesPrefetch = true;
  r.OnReadStartAt(50);
  for (int p = 50; p <= kLastPhrase; ++p) {
    ASSERT_EQ(NextVoice(), ShippedBytes(p));
    EXPECT_EQ(Queued(), Tone(ShippedBytes(p)));
    if (p < kLastPhrase) {
      EXPECT_EQ(pDevice->prefetched, Tone(ShippedBytes(p + 1)));
    }
    PlayFor(GetPhraseDuration(p) + 20);
  }
  loop.RunUntilIdle();
  EXPECT_EQ(r.m_nState, Idle);
  EXPECT_EQ(r.CountText(), "");
  EXPECT_TRUE(r.PracticeRecord()->Entries().empty());  // written after the end's events
  poster.PumpInto(loop);
  loop.RunUntilIdle();
  // The one recitation that reached the end is in the record.
  ASSERT_EQ(r.PracticeRecord()->Entries().size(), 1u);
  EXPECT_EQ(r.PracticeRecord()->Entries()[0].nCount, 1);
}

TEST_F(TempleTest, BellsCountAndVoiceOffThroughAWholeReading) {
  WriteTake(1);  // one's own take is not heard without the voice
  CTestRecitation& r = MakeTemple();
  r.SetPracticeRecordPath(dir.File("practice.txt"));
  // No voice files are needed without the voice.
  for (int p = 0; p <= kLastPhrase; ++p) std::filesystem::remove(GetVoiceSegmentPath(p));
  r.OnSetMokugyo(MokugyoEveryChar);
  r.OnSetBell(BellTwoThree);
  r.OnToggleVoice();
  r.OnSetCount(3);
  EXPECT_EQ(r.m_bRepeat, 1);  // a count is for repeating
  EXPECT_EQ(profile.GetProfileInt("Reading", "Bell", -1), BellTwoThree);
  EXPECT_EQ(profile.GetProfileInt("Reading", "Count", -1), 3);
  EXPECT_EQ(profile.GetProfileInt("Reading", "Voice", -1), 0);
  EXPECT_EQ(profile.GetProfileInt("Reading", "Mokugyo", -1), MokugyoEveryChar);

  r.OnReadStart();
  // Two strikes before the text, nothing lit while they ring.
  ASSERT_EQ(NextVoice(), MakeBellStrikes(bell, 2).size());
  EXPECT_EQ(r.CountText(), "1 / 3");
  EXPECT_TRUE(Highlights().empty());
  PlayFor(1);
  std::vector<std::uint32_t> expected;
  for (int k = 0; k < 3; ++k)
    for (int p = 0; p <= kLastPhrase; ++p)
      expected.push_back(static_cast<std::uint32_t>(
          MakeVoicelessPhrase(p, 100, TableOnsetSamples(p, 100), kClick, MokugyoGain(MokugyoMedium))
              .size()));
  expected.push_back(static_cast<std::uint32_t>(MakeBellStrikes(bell, 3).size()));
  // The first phrase of the second recitation, and how it is counted.
  std::vector<std::uint32_t> lengths;
  for (std::size_t k = 0; k < expected.size(); ++k) {
    const std::uint32_t n = NextVoice(10000);
    if (n == 0) break;
    lengths.push_back(n);
    if (k == 1) {
      // The voiceless phrase goes at the table's pace, not the take's.
      EXPECT_EQ(r.m_nPhrase, 1);
      EXPECT_EQ(loop.DueIn(TIMER_CHAR), kPhraseDurations[1][0] * sim::kMicrosPerMs);
    }
    if (k == 54) {
      EXPECT_EQ(r.CountText(), "2 / 3");
    }
    PlayFor(1);
  }
  loop.RunUntilIdle();
  poster.PumpInto(loop);
  loop.RunUntilIdle();
  EXPECT_EQ(lengths, expected);
  EXPECT_EQ(r.m_nState, Idle);
  const auto& entries = r.PracticeRecord()->Entries();
  ASSERT_EQ(entries.size(), 3u);
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(entries[k].nRecitation, k + 1);
    EXPECT_EQ(entries[k].nCount, 3);
  }
}

TEST_F(TempleTest, OneStrikeEachAndTheSettingsOnlyWhileIdle) {
  profile.WriteProfileInt("Reading", "Bell", BellOneEach);
  profile.WriteProfileInt("Reading", "Count", 1000);  // out of range: endless
  CTestRecitation& r = MakeTemple();
  EXPECT_EQ(r.m_nBell, BellOneEach);
  EXPECT_EQ(r.m_nCount, kCountEndless);
  r.OnReadStartAt(kLastPhrase);
  r.OnSetBell(BellNone);
  r.OnToggleVoice();
  r.OnSetCount(7);
  EXPECT_EQ(r.m_nBell, BellOneEach);
  EXPECT_TRUE(r.IsVoiceOn());
  EXPECT_EQ(r.m_bRepeat, 0);
  const std::uint32_t nOne = static_cast<std::uint32_t>(MakeBellStrikes(bell, 1).size());
  EXPECT_EQ(RunReading(10), (std::vector<std::uint32_t>{nOne, ShippedBytes(kLastPhrase), nOne}));
  EXPECT_EQ(profile.GetProfileInt("Reading", "Count", -1), 1000);  // as it was
}

TEST_F(TempleTest, ADamagedRecordIsSetAsideAndToldAndAnUnwritableOneToldOnce) {
  {
    std::ofstream f(dir.File("practice.txt"));
    f << "not a practice record\n";
  }
  CTestRecitation& r = MakeTemple();
  r.SetPracticeRecordPath(dir.File("practice.txt"));
  r.OnToggleRepeat();
  r.OnSetCount(2);
  r.OnReadStartAt(kLastPhrase);
  RunReading(10);
  poster.PumpInto(loop);
  loop.RunUntilIdle();
  ASSERT_EQ(r.setAside.size(), 1u);
  EXPECT_TRUE(std::filesystem::exists(r.setAside[0]));
  EXPECT_EQ(r.PracticeRecord()->Entries().size(), 2u);
  EXPECT_EQ(r.nFailed, 0);

  r.SetPracticeRecordPath(dir.File("no such folder/practice.txt"));
  r.OnReadStartAt(kLastPhrase);
  RunReading(10);
  poster.PumpInto(loop);
  loop.RunUntilIdle();
  EXPECT_EQ(r.nFailed, 1);
}

}  // namespace
}  // namespace solvari

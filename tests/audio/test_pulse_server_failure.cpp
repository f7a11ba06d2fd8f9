// SPDX-License-Identifier: GPL-3.0-or-later
// The PulseAudio devices when their server fails under them: killed, or
// stopped (SIGSTOP), in the middle of a phrase or of a take. Each case runs
// on a server of its own (tools/with-pulse.sh), which it stops or kills.
// The devices give back what they owe and let go without waiting for the
// server.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "audio/pulse/pulse_wave_device.h"
#include "audio/pulse/pulse_wave_in_device.h"
#include "pulse_support.h"

namespace solvari {
namespace {

using test::PumpFor;
using test::PumpUntil;

pid_t ServerPid() {
  const char* pszRun = std::getenv("XDG_RUNTIME_DIR");
  std::ifstream in(std::string(pszRun ? pszRun : "") + "/pulse/pid");
  pid_t pid = 0;
  in >> pid;
  return pid;
}

// A stopped server is let go again at the end, whatever the test did.
class CStoppedServer {
 public:
  explicit CStoppedServer(pid_t pid) : m_pid(pid) { kill(m_pid, SIGSTOP); }
  ~CStoppedServer() { kill(m_pid, SIGCONT); }
  CStoppedServer(const CStoppedServer&) = delete;
  CStoppedServer& operator=(const CStoppedServer&) = delete;

 private:
  pid_t m_pid;
};

struct Returns : IWaveNotify {
  int nDone = 0, nData = 0;
  void OnWomDone() override { ++nDone; }
  void OnWimData() override { ++nData; }
};

class PulseServerFailureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (test::CapturePath().empty()) GTEST_SKIP() << "run through tools/with-pulse.sh";
    pid = ServerPid();
    ASSERT_GT(pid, 0);
    out = std::make_unique<CPulseWaveOutDevice>(&test::Poster());
    in = std::make_unique<CPulseWaveInDevice>(&test::Poster());
  }
  // A phrase playing and a take being recorded, both well under way.
  void PlayAndRecord() {
    ASSERT_EQ(out->Open(format, -1, &notify), 0);
    ASSERT_EQ(out->Write(tone.data(), static_cast<std::uint32_t>(tone.size())), 0);
    ASSERT_EQ(in->Open(format, -1, &notify), 0);
    ASSERT_EQ(in->Prepare(buffer.data(), static_cast<std::uint32_t>(buffer.size())), 0);
    ASSERT_EQ(in->AddBuffer(), 0);
    ASSERT_EQ(in->Start(), 0);
    PumpFor(500);
    std::uint32_t nSamples = 0;
    ASSERT_EQ(in->GetPosition(&nSamples), 0);
    ASSERT_GT(nSamples, 0u) << "the take does not record";
    ASSERT_EQ(notify.nDone + notify.nData, 0);
  }
  // Destroys both devices; the milliseconds that took.
  double TearDownDevices() {
    test::CStopwatch clock;
    in.reset();
    out.reset();
    return clock.Ms();
  }
  const WaveFormat format{kWaveFormatPcm, 1, 11025, 22050, 2, 16, 0};
  pid_t pid = 0;
  Returns notify;
  std::vector<std::uint8_t> tone = test::MakeTone(5000);
  std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(22050 * 10);
  std::unique_ptr<CPulseWaveOutDevice> out;
  std::unique_ptr<CPulseWaveInDevice> in;
};

// Killed: the phrase is done and the take returned at once, each once; the
// next open finds no server.
TEST_F(PulseServerFailureTest, Killed) {
  PlayAndRecord();
  ASSERT_EQ(kill(pid, SIGKILL), 0);
  ASSERT_TRUE(PumpUntil([&] { return notify.nDone == 1 && notify.nData == 1; }, 1000))
      << "done " << notify.nDone << ", returned " << notify.nData;
  std::uint32_t nSamples = 0;
  EXPECT_EQ(in->GetPosition(&nSamples), 0);
  EXPECT_GT(nSamples, 0u);  // what came before stays
  EXPECT_EQ(in->Reset(), 0);
  EXPECT_EQ(in->Unprepare(), 0);
  EXPECT_EQ(in->Close(), 0);
  EXPECT_EQ(out->Close(), 0);
  EXPECT_EQ(out->Open(format, -1, &notify), kWaveNoDriver);
  EXPECT_EQ(in->Open(format, -1, &notify), kWaveNoDriver);
  PumpFor(300);
  EXPECT_EQ(notify.nDone, 1);
  EXPECT_EQ(notify.nData, 1);
  EXPECT_LT(TearDownDevices(), 1000);
}

// Stopped: a stop and a close of both go through without an answer, and
// the devices go at once, with the phrase and the take under way.
TEST_F(PulseServerFailureTest, StoppedThenStopAndClose) {
  PlayAndRecord();
  CStoppedServer stopped(pid);
  PumpFor(300);
  test::CStopwatch clock;
  EXPECT_EQ(in->Reset(), 0);
  EXPECT_EQ(in->Unprepare(), 0);
  EXPECT_EQ(in->Close(), 0);
  EXPECT_EQ(out->Reset(), 0);
  EXPECT_LT(clock.Ms(), 1000);  // no call waited for an answer
  ASSERT_TRUE(PumpUntil([&] { return notify.nData == 1; }, 1000));
  EXPECT_LT(TearDownDevices(), 1000);
}

TEST_F(PulseServerFailureTest, StoppedThenDestroyed) {
  PlayAndRecord();
  CStoppedServer stopped(pid);
  PumpFor(300);
  EXPECT_LT(TearDownDevices(), 1000);
  PumpFor(300);
  EXPECT_EQ(notify.nDone + notify.nData, 0);
}

}  // namespace
}  // namespace solvari

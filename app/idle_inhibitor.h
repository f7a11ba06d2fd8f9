// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps the desktop's idle timer from blanking or locking the screen while it
// is wanted, through org.freedesktop.ScreenSaver on the session bus: one
// Inhibit while wanted, its UnInhibit as soon as it is no longer wanted.
//
// Every call is asynchronous, so that nothing waits on the bus while the
// program runs; only the release when the inhibitor goes waits (briefly) until
// the bus has taken it. Without a bus, or without the service, nothing
// happens and nothing is shown. Never more than one inhibition is held: while
// an Inhibit awaits its reply no other is asked for, and a cookie that comes
// back when the inhibition is no longer wanted is handed back at once.
#pragma once

#include <QDBusConnection>
#include <QString>
#include <memory>

class QDBusPendingCallWatcher;

namespace solvari::app {

class CIdleInhibitor {
 public:
  static constexpr const char* kService = "org.freedesktop.ScreenSaver";
  static constexpr const char* kPath = "/org/freedesktop/ScreenSaver";
  static constexpr const char* kInterface = "org.freedesktop.ScreenSaver";
  static constexpr const char* kApplication = "Solvari";
  static constexpr const char* kReason = "Reciting";
  // How long a call may wait for its reply; the release at the end waits
  // at most kReleaseWaitMs for the bus.
  static constexpr int kCallTimeoutMs = 2000;
  static constexpr int kReleaseWaitMs = 500;

  explicit CIdleInhibitor(const QDBusConnection& bus);
  // Releases a held inhibition, and one whose reply is still awaited.
  ~CIdleInhibitor();
  CIdleInhibitor(const CIdleInhibitor&) = delete;
  CIdleInhibitor& operator=(const CIdleInhibitor&) = delete;

  // Holds the inhibition while bWanted is true; cheap when nothing changes.
  void SetWanted(bool bWanted);
  bool IsWanted() const { return m_bWanted; }
  // Whether the service has given a cookie that is not handed back yet.
  bool IsHeld() const { return m_bHeld; }
  // Whether an Inhibit awaits its reply.
  bool IsAsking() const { return m_pAsking != nullptr; }

 private:
  void Ask();
  void OnReply(QDBusPendingCallWatcher* pWatcher);
  // Takes the reply of the Inhibit; true with its cookie when it succeeded.
  static bool TakeCookie(QDBusPendingCallWatcher* pWatcher, uint* pCookie);
  // Hands the cookie back; bWait: until the bus has taken the call.
  void HandBack(uint nCookie, bool bWait);

  QDBusConnection m_bus;
  bool m_bWanted = false;
  bool m_bHeld = false;
  uint m_nCookie = 0;
  std::unique_ptr<QDBusPendingCallWatcher> m_pAsking;
  // The watcher whose reply came last: it goes with the next question, not
  // while it is still emitting its signal.
  std::unique_ptr<QDBusPendingCallWatcher> m_pAnswered;
};

}  // namespace solvari::app

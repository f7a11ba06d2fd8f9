// SPDX-License-Identifier: GPL-3.0-or-later
// The program's place on the Linux desktop, over the session bus: the screen
// stays on while reciting (CIdleInhibitor) and the desktop's media controls
// reach the recitation (CMprisService). The frame makes one, hands it a
// RecitationLink, calls Update whenever the recitation or the commands'
// enabled state may have changed, and lets it go when the program ends.
//
// Without a session bus neither service does anything, and no call waits for
// one.
#pragma once

#include <QDBusConnection>
#include <memory>

#include "app/idle_inhibitor.h"
#include "app/mpris_service.h"
#include "app/recitation_link.h"

namespace solvari::app {

class CDesktopSession {
 public:
  // On the desktop's session bus, when there is one.
  explicit CDesktopSession(RecitationLink link);
  CDesktopSession(RecitationLink link, const QDBusConnection& bus);
  // Hands the inhibition back and gives up the media player's name.
  ~CDesktopSession();
  CDesktopSession(const CDesktopSession&) = delete;
  CDesktopSession& operator=(const CDesktopSession&) = delete;

  // Reads the recitation: the inhibition is held in Starting and Reading,
  // and the media player's properties follow.
  void Update();

  const CIdleInhibitor& Inhibitor() const { return m_inhibitor; }
  const CMprisService& Mpris() const { return *m_pMpris; }

  // The desktop's session bus; not connected when the environment names
  // none (no DBUS_SESSION_BUS_ADDRESS, no $XDG_RUNTIME_DIR/bus), so that no
  // bus is started for the program, or when it cannot be reached.
  static QDBusConnection SessionBus();

 private:
  RecitationLink m_link;
  CIdleInhibitor m_inhibitor;
  std::unique_ptr<CMprisService> m_pMpris;
};

}  // namespace solvari::app

// SPDX-License-Identifier: GPL-3.0-or-later
// The settings over QSettings: organisation "Orvell Craft", application
// "Kelvane", one group per section ("Reading", "WAV Config"). On Linux they
// live in ~/.config/Orvell Craft/Kelvane.conf, on Windows in the registry key
// the program always used.
#pragma once

#include <QSettings>
#include <QString>
#include <memory>

#include "core/profile_store.h"

namespace solvari::app {

inline constexpr const char* kOrganizationName = "Orvell Craft";
inline constexpr const char* kApplicationName = "Kelvane";

class CQtProfileStore : public IProfileStore {
 public:
  // The user's settings of the program.
  CQtProfileStore();
  // Settings in an INI file at strIniPath (tests).
  explicit CQtProfileStore(const QString& strIniPath);

  int GetProfileInt(const std::string& section, const std::string& key, int nDefault) override;
  std::string GetProfileString(const std::string& section, const std::string& key,
                               const std::string& def) override;
  bool WriteProfileInt(const std::string& section, const std::string& key, int nValue) override;
  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value) override;

  QSettings& Settings() { return *m_pSettings; }

 private:
  std::unique_ptr<QSettings> m_pSettings;
};

}  // namespace solvari::app

// SPDX-License-Identifier: GPL-3.0-or-later
// Per-user settings by section and key, with defaults. The program uses
// QSettings behind it; tests use an in-memory store.
#pragma once

#include <map>
#include <string>
#include <utility>

namespace solvari {

class IProfileStore {
 public:
  virtual ~IProfileStore() = default;
  virtual int GetProfileInt(const std::string& section, const std::string& key, int nDefault) = 0;
  virtual std::string GetProfileString(const std::string& section, const std::string& key,
                                       const std::string& def) = 0;
  virtual bool WriteProfileInt(const std::string& section, const std::string& key, int nValue) = 0;
  virtual bool WriteProfileString(const std::string& section, const std::string& key,
                                  const std::string& value) = 0;
};

// A store that keeps everything in memory; for tests and as a fallback.
class CMemoryProfileStore : public IProfileStore {
 public:
  int GetProfileInt(const std::string& section, const std::string& key, int nDefault) override {
    auto it = m_values.find({section, key});
    if (it == m_values.end()) return nDefault;
    try {
      return std::stoi(it->second);
    } catch (...) {
      return nDefault;
    }
  }
  std::string GetProfileString(const std::string& section, const std::string& key,
                               const std::string& def) override {
    auto it = m_values.find({section, key});
    return it == m_values.end() ? def : it->second;
  }
  bool WriteProfileInt(const std::string& section, const std::string& key, int nValue) override {
    m_values[{section, key}] = std::to_string(nValue);
    return true;
  }
  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value) override {
    m_values[{section, key}] = value;
    return true;
  }

 private:
  std::map<std::pair<std::string, std::string>, std::string> m_values;
};

}  // namespace solvari

// SPDX-License-Identifier: GPL-3.0-or-later
// The folder of one's own takes: V00.SGM .. V53.SGM as the recording window
// keeps them. Every question about which phrases have a take of one's own is
// answered here, from the folder as it is now.
#pragma once

#include <string>

namespace solvari {

class COwnVoiceFolder {
 public:
  explicit COwnVoiceFolder(std::string strDir = {}) : m_strDir(std::move(strDir)) {}

  const std::string& Dir() const { return m_strDir; }
  // The take of phrase nPhrase in the folder, whether it is there or not
  // ("" for a phrase out of range or without a folder).
  std::string PathOf(int nPhrase) const;
  // Whether phrase nPhrase has a take (a regular file).
  bool Has(int nPhrase) const;
  // Whether any phrase has one.
  bool HasAny() const;
  // The first phrase without a take, else 0.
  int FirstUnrecorded() const;

 private:
  std::string m_strDir;
};

}  // namespace solvari

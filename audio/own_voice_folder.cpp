// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/own_voice_folder.h"

#include <filesystem>
#include <system_error>

#include "audio/voice_take.h"
#include "core/sutra_tables.h"

namespace solvari {

std::string COwnVoiceFolder::PathOf(int nPhrase) const {
  if (m_strDir.empty() || nPhrase < 0 || nPhrase > kLastPhrase) return {};
  return m_strDir + "/" + OwnVoiceFileName(nPhrase);
}

bool COwnVoiceFolder::Has(int nPhrase) const {
  const std::string path = PathOf(nPhrase);
  std::error_code error;
  return !path.empty() && std::filesystem::is_regular_file(path, error);
}

bool COwnVoiceFolder::HasAny() const {
  for (int p = 0; p <= kLastPhrase; ++p)
    if (Has(p)) return true;
  return false;
}

int COwnVoiceFolder::FirstUnrecorded() const {
  for (int p = 0; p <= kLastPhrase; ++p)
    if (!Has(p)) return p;
  return 0;
}

}  // namespace solvari

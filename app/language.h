// SPDX-License-Identifier: GPL-3.0-or-later
// The language of the interface. The program's texts are written in
// Japanese; the English interface is a Qt translation compiled into the
// program. Which one shows follows the system's language (Japanese for ja*,
// English otherwise) unless one was chosen, "Reading" / "Language".
#pragma once

#include <QString>
#include <QTranslator>
#include <memory>

#include "core/profile_store.h"

namespace solvari::app {

inline constexpr char kLanguageJapanese[] = "ja";
inline constexpr char kLanguageEnglish[] = "en";

// "ja" for a Japanese language or locale name (ja, ja_JP, ja-JP.UTF-8 ...),
// "en" for anything else, the empty name and "C" included.
QString LanguageForLocale(const QString& strLocale);
// The language the system asks for: its first interface language.
QString SystemLanguage();
// The stored choice: "ja", "en", or "" for the system's language. Anything
// else in the settings reads as "".
QString StoredLanguage(IProfileStore& profile);
void StoreLanguage(IProfileStore& profile, const QString& strChoice);
// The stored choice, or else the system's language.
QString ChosenLanguage(IProfileStore& profile);

// Puts a language into effect for the whole application: English installs
// the compiled-in translation, Japanese removes it (the texts' own language).
class CLanguage {
 public:
  CLanguage();
  ~CLanguage();
  CLanguage(const CLanguage&) = delete;
  CLanguage& operator=(const CLanguage&) = delete;

  // False when the translation cannot be loaded; the interface then stays
  // as it is.
  bool Apply(const QString& strLanguage);
  // "ja" until English has been applied.
  const QString& Current() const { return m_strCurrent; }
  // The translation of the English interface, also for tests.
  static QString TranslationPath();

 private:
  std::unique_ptr<QTranslator> m_pTranslator;
  bool m_bInstalled = false;
  QString m_strCurrent = QString::fromLatin1(kLanguageJapanese);
};

}  // namespace solvari::app

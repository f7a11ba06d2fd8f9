// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/language.h"

#include <QCoreApplication>
#include <QLocale>
#include <QStringList>

#include "core/reading_settings.h"

namespace solvari::app {

QString LanguageForLocale(const QString& strLocale) {
  const bool bJapanese = strLocale.size() >= 2 &&
                         strLocale.left(2).compare(QLatin1String("ja"), Qt::CaseInsensitive) == 0 &&
                         (strLocale.size() == 2 || !strLocale.at(2).isLetter());
  return QString::fromLatin1(bJapanese ? kLanguageJapanese : kLanguageEnglish);
}

QString SystemLanguage() {
  // LANGUAGE, LC_ALL, LC_MESSAGES and LANG, in the order the system gives them.
  const QStringList languages = QLocale::system().uiLanguages();
  return LanguageForLocale(languages.isEmpty() ? QLocale::system().name() : languages.front());
}

QString StoredLanguage(IProfileStore& profile) {
  const QString strStored =
      QString::fromStdString(profile.GetProfileString(settings::kReading, settings::kLanguage, ""));
  if (strStored == QLatin1String(kLanguageJapanese) || strStored == QLatin1String(kLanguageEnglish))
    return strStored;
  return {};
}

void StoreLanguage(IProfileStore& profile, const QString& strChoice) {
  profile.WriteProfileString(settings::kReading, settings::kLanguage, strChoice.toStdString());
}

QString ChosenLanguage(IProfileStore& profile) {
  const QString strStored = StoredLanguage(profile);
  return strStored.isEmpty() ? SystemLanguage() : strStored;
}

CLanguage::CLanguage() = default;

CLanguage::~CLanguage() {
  if (m_bInstalled) QCoreApplication::removeTranslator(m_pTranslator.get());
}

QString CLanguage::TranslationPath() { return QStringLiteral(":/i18n/solvari_en.qm"); }

bool CLanguage::Apply(const QString& strLanguage) {
  if (strLanguage == QLatin1String(kLanguageEnglish)) {
    if (!m_pTranslator) {
      auto pTranslator = std::make_unique<QTranslator>();
      if (!pTranslator->load(TranslationPath())) return false;
      m_pTranslator = std::move(pTranslator);
    }
    if (!m_bInstalled) m_bInstalled = QCoreApplication::installTranslator(m_pTranslator.get());
    if (!m_bInstalled) return false;
  } else {
    if (m_bInstalled) QCoreApplication::removeTranslator(m_pTranslator.get());
    m_bInstalled = false;
  }
  m_strCurrent =
      m_bInstalled ? QString::fromLatin1(kLanguageEnglish) : QString::fromLatin1(kLanguageJapanese);
  return true;
}

}  // namespace solvari::app

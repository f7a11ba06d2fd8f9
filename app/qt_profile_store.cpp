// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/qt_profile_store.h"

namespace solvari::app {

namespace {

QString KeyOf(const std::string& section, const std::string& key) {
  return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(key);
}

}  // namespace

CQtProfileStore::CQtProfileStore()
    : m_pSettings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                              QString::fromUtf8(kOrganizationName),
                                              QString::fromUtf8(kApplicationName))) {}

CQtProfileStore::CQtProfileStore(const QString& strIniPath)
    : m_pSettings(std::make_unique<QSettings>(strIniPath, QSettings::IniFormat)) {}

int CQtProfileStore::GetProfileInt(const std::string& section, const std::string& key,
                                   int nDefault) {
  const QVariant value = m_pSettings->value(KeyOf(section, key));
  if (!value.isValid()) return nDefault;
  bool bOk = false;
  const int n = value.toString().trimmed().toInt(&bOk);
  return bOk ? n : nDefault;
}

std::string CQtProfileStore::GetProfileString(const std::string& section, const std::string& key,
                                              const std::string& def) {
  const QVariant value = m_pSettings->value(KeyOf(section, key));
  if (!value.isValid()) return def;
  return value.toString().toStdString();
}

bool CQtProfileStore::WriteProfileInt(const std::string& section, const std::string& key,
                                      int nValue) {
  m_pSettings->setValue(KeyOf(section, key), nValue);
  m_pSettings->sync();
  return m_pSettings->status() == QSettings::NoError;
}

bool CQtProfileStore::WriteProfileString(const std::string& section, const std::string& key,
                                         const std::string& value) {
  m_pSettings->setValue(KeyOf(section, key), QString::fromStdString(value));
  m_pSettings->sync();
  return m_pSettings->status() == QSettings::NoError;
}

}  // namespace solvari::app

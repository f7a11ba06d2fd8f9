// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell_fakes.h"

#include <QFile>
#include <QtEndian>

namespace solvari::app::test {

void WriteBytes(const QString& strPath, const QByteArray& bytes) {
  QFile file(strPath);
  if (file.open(QIODevice::WriteOnly)) file.write(bytes);
}

void WriteBmp(const QString& strPath, int nWidth, int nHeight) {
  const int nStride = (nWidth * 3 + 3) & ~3;
  const int nImage = nStride * nHeight;
  QByteArray bytes(54 + nImage, '\0');
  char* p = bytes.data();
  p[0] = 'B';
  p[1] = 'M';
  qToLittleEndian<quint32>(54 + nImage, p + 2);
  qToLittleEndian<quint32>(54, p + 10);
  qToLittleEndian<quint32>(40, p + 14);
  qToLittleEndian<qint32>(nWidth, p + 18);
  qToLittleEndian<qint32>(nHeight, p + 22);
  qToLittleEndian<quint16>(1, p + 26);
  qToLittleEndian<quint16>(24, p + 28);
  qToLittleEndian<quint32>(nImage, p + 34);
  for (int i = 0; i < nImage; ++i) p[54 + i] = static_cast<char>(0x40 + i % 7);
  WriteBytes(strPath, bytes);
}

std::unique_ptr<CMainFrame> ShellRig::NewFrame(IProfileStore* pProfile, Options options) {
  FrameServices services;
  services.pProfile = pProfile;
  services.pTimers = &timers;
  auto pOut = std::make_unique<CFakeWaveOut>(&log, options.nOpenResult);
  pDevice = pOut.get();
  services.pWaveOut = std::move(pOut);
  services.pWaveIn = std::move(options.pWaveIn);
  services.bDefaultWaveDevices = false;
  services.pPictureDialog = &dialog;
  services.pMessageBoxes = &messages;
  services.pTitleSound = &sound;
  services.openUrl = [this](const QUrl& url) {
    openedUrls << url;
    return true;
  };
  services.pLanguage = options.pLanguage;
  services.strOwnVoiceDir = options.strOwnVoiceDir;
  services.bDesktopSession = false;  // the machine's session bus is not the test's
  services.strPracticeRecord = options.strPracticeRecord.isEmpty()
                                   ? recordDir.filePath(QStringLiteral("practice.txt"))
                                   : options.strPracticeRecord;
  services.askCount = [this](QWidget*, int) {
    ++nCountAsked;
    return nCountToType;
  };
  return std::make_unique<CMainFrame>(std::move(services));
}

void ShellRig::Create(IProfileStore* pProfile, Options options) {
  pFrame = NewFrame(pProfile, std::move(options));
  timers.handler = [this](unsigned nId) { pFrame->OnTimer(nId); };
}

std::unique_ptr<CMainFrame> ShellRig::NewFrame(IProfileStore* pProfile) {
  return NewFrame(pProfile, Options());
}

void ShellRig::Create(IProfileStore* pProfile) { Create(pProfile, Options()); }

void ShellRig::Create(IProfileStore* pProfile, int nOpenResult) {
  Options options;
  options.nOpenResult = nOpenResult;
  Create(pProfile, std::move(options));
}

}  // namespace solvari::app::test

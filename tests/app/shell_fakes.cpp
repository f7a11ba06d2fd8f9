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

}  // namespace solvari::app::test

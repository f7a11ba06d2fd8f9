// SPDX-License-Identifier: GPL-3.0-or-later
#include "render/picture_holder.h"

#include <new>

namespace solvari {

namespace {

// A file that remembers its first two bytes, so that a .bmp file can be told
// from any other after ReadBmpFile has looked at it.
class CMarkedFile : public CFile {
 public:
  explicit CMarkedFile(CFile& file) : m_file(file) {}
  std::int64_t GetLength() override { return m_file.GetLength(); }
  std::int64_t Read(void* pBuffer, std::size_t nCount) override {
    const std::int64_t n = m_file.Read(pBuffer, nCount);
    const auto* p = static_cast<const std::uint8_t*>(pBuffer);
    for (std::int64_t i = 0; i < n && m_nSeen < 2; ++i) m_mark[m_nSeen++] = p[i];
    return n;
  }
  bool IsBmp() const { return m_nSeen == 2 && m_mark[0] == 'B' && m_mark[1] == 'M'; }

 private:
  CFile& m_file;
  std::uint8_t m_mark[2] = {0, 0};
  int m_nSeen = 0;
};

}  // namespace

bool CPictureHolder::LoadPicture(const std::string& strPath) {
  CDiskFile file;
  if (!file.Open(strPath)) return false;
  m_hPicture.Free();
  // A read error gives a null block, like a short file.
  CMarkedFile marked(file);
  m_hPicture = ReadBmpFile(marked);
  file.Close();
  if (m_hPicture.IsNull() && !marked.IsBmp() && m_pDecoder != nullptr)
    m_hPicture = m_pDecoder->DecodePicture(strPath);
  PreparePicture();
  return !m_hPicture.IsNull();
}

void CPictureHolder::PreparePicture() {
  m_pPalette.reset();
  if (m_hPicture.IsNull()) return;
  const int nWidth = GetDibWidth(m_hPicture);
  const int nHeight = GetDibHeight(m_hPicture);
  if (nWidth < 0 || nHeight < 0 || !IsDibDrawable(m_hPicture)) {
    m_hPicture.Free();
    return;
  }
  m_nPictureWidth = nWidth;
  m_nPictureHeight = nHeight;
  m_pPalette.reset(new (std::nothrow) CPalette);
  if (!m_pPalette) {
    m_hPicture.Free();
    return;
  }
  if (!MakeDibPalette(m_hPicture, m_pPalette.get())) m_pPalette.reset();
}

}  // namespace solvari

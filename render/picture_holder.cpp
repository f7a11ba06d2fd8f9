#include "render/picture_holder.h"

#include <new>

namespace solvari {

bool CPictureHolder::LoadPicture(const std::string& strPath) {
  CDiskFile file;
  if (!file.Open(strPath)) return false;
  m_hPicture.Free();
  // A read error gives a null block, like a short file.
  m_hPicture = ReadBmpFile(file);
  PreparePicture();
  file.Close();
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

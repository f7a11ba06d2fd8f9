// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/picture_loader.h"

#include <QMetaObject>
#include <QString>
#include <filesystem>
#include <system_error>

#include "app/qt_picture_decoder.h"
#include "render/dib.h"

namespace solvari::app {

struct CPictureLoader::Loaded {
  bool bOpened = false;
  CPictureHolder holder;
};

CPictureLoader::CPictureLoader(CPictureHolder& holder,
                               std::function<void(CPictureHolder&)> onLoaded)
    : m_holder(holder), m_onLoaded(std::move(onLoaded)) {}

CPictureLoader::~CPictureLoader() {
  // A picture still being read is waited for; what it posts goes with the
  // context.
  for (auto& [nLoad, thread] : m_loads) thread.join();
}

void CPictureLoader::Load(const std::string& strPath) {
  const int nLoad = ++m_nLatest;  // any load still under way is outdated now
  std::error_code error;
  const std::uintmax_t nBytes = std::filesystem::file_size(strPath, error);
  if (error || (nBytes <= kReadAtOnceBytes &&
                CQtPictureDecoder::DecodesQuickly(QString::fromStdString(strPath)))) {
    m_holder.LoadPicture(strPath);
    return;
  }
  auto pLoaded = std::make_shared<Loaded>();
  try {
    m_loads[nLoad] = std::thread([this, nLoad, strPath, pLoaded] {
      CQtPictureDecoder decoder;  // one of its own: the frame's stays on its thread
      pLoaded->holder.SetPictureDecoder(&decoder);
      pLoaded->bOpened = pLoaded->holder.LoadPicture(strPath) || [&] {
        CDiskFile probe;
        return probe.Open(strPath);
      }();
      pLoaded->holder.SetPictureDecoder(nullptr);
      QMetaObject::invokeMethod(
          &m_context, [this, nLoad, pLoaded] { Take(nLoad, pLoaded); }, Qt::QueuedConnection);
    });
  } catch (const std::system_error&) {
    m_loads.erase(nLoad);
    m_holder.LoadPicture(strPath);  // no thread to be had: at once after all
  }
}

void CPictureLoader::Take(int nLoad, const std::shared_ptr<Loaded>& pLoaded) {
  const auto it = m_loads.find(nLoad);
  if (it != m_loads.end()) {
    it->second.join();  // it has posted its result: done, or about to end
    m_loads.erase(it);
  }
  if (nLoad != m_nLatest || !pLoaded->bOpened) return;
  if (m_onLoaded) m_onLoaded(pLoaded->holder);
}

}  // namespace solvari::app

// SPDX-License-Identifier: GPL-3.0-or-later
// The background picture, read without holding the window. A file of up to
// kReadAtOnceBytes that decodes quickly (CQtPictureDecoder::DecodesQuickly)
// is loaded at once into the holder; a larger one, a photo, or a small one
// that unpacks to many pixels is read and decoded on a thread of its own and
// handed to the frame when it is ready, while the picture held until then
// stays. A later load wins over one still under way; a file that does not
// open keeps the picture. The loader waits for a reading under way when it
// goes (a read of one file, decoded with the picture's size checked first).
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "render/picture_holder.h"

namespace solvari::app {

class CPictureLoader {
 public:
  static constexpr std::uintmax_t kReadAtOnceBytes = 64 * 1024;

  // holder takes the pictures loaded at once (with its own decoder);
  // onLoaded gets each picture read in the background that is still wanted,
  // on the thread that made the loader.
  CPictureLoader(CPictureHolder& holder, std::function<void(CPictureHolder&)> onLoaded);
  ~CPictureLoader();
  CPictureLoader(const CPictureLoader&) = delete;
  CPictureLoader& operator=(const CPictureLoader&) = delete;

  void Load(const std::string& strPath);
  bool IsLoading() const { return !m_loads.empty(); }

 private:
  struct Loaded;
  void Take(int nLoad, const std::shared_ptr<Loaded>& pLoaded);

  CPictureHolder& m_holder;
  std::function<void(CPictureHolder&)> m_onLoaded;
  std::map<int, std::thread> m_loads;  // loads under way, by number
  int m_nLatest = 0;                   // the number of the latest load
  QObject m_context;                   // what the threads post to; gone with the loader
};

}  // namespace solvari::app

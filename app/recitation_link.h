// SPDX-License-Identifier: GPL-3.0-or-later
// What the desktop's services (the screen saver's inhibition, the media
// player interface) see of the recitation and may ask of it. The frame fills
// it in; the services read it whenever they are told that something changed,
// and call the commands only while they are enabled, from the event loop, as
// a menu would.
#pragma once

#include <functional>

namespace solvari::app {

struct RecitationLink {
  std::function<int()> state;      // the frame's ReadingState
  std::function<int()> phrase;     // the phrase being read, 0..53, in Starting and Reading
  std::function<bool()> canStart;  // whether Start is enabled
  std::function<bool()> canStop;   // whether Stop is enabled
  std::function<bool()> canStep;   // whether Next and Previous are enabled
  std::function<void()> start;
  std::function<void()> stop;
  std::function<void()> next;
  std::function<void()> previous;
  std::function<void()> raise;  // shows the window and brings it to the front
};

}  // namespace solvari::app

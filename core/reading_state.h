// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace solvari {

// What the main frame is doing; stored in CMainFrame::m_nState.
enum ReadingState : int {
  Idle = 0,
  Starting = 1,
  Reading = 2,
  Title = 3,
};

}  // namespace solvari

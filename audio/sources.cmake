# SPDX-License-Identifier: GPL-3.0-or-later
# The sources of audio/ that every build has (Linux, the Windows cross build
# and the browser): no time stretch, no take alignment, no platform device.
set(SOLVARI_AUDIO_COMMON_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/gapless_output.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wave_buffer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/voice_segment.cpp
  ${CMAKE_CURRENT_LIST_DIR}/voice_take.cpp
  ${CMAKE_CURRENT_LIST_DIR}/own_voice_folder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/instrument_mix.cpp
  ${CMAKE_CURRENT_LIST_DIR}/take_onsets.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wav_file.cpp
)

# SPDX-License-Identifier: GPL-3.0-or-later
# Voice loading, and the phrase change on the real device. The device
# figures need a sound server: run
#   tools/with-pulse.sh build/bin/audio_bench
add_executable(audio_bench ${CMAKE_CURRENT_SOURCE_DIR}/audio_bench.cpp)
target_include_directories(audio_bench PRIVATE ${PROJECT_SOURCE_DIR}
                           ${PROJECT_SOURCE_DIR}/tests/audio)
target_compile_definitions(audio_bench PRIVATE SOLVARI_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
target_link_libraries(audio_bench PRIVATE solvari_audio_pulse benchmark::benchmark)

# The time stretch of the longest voice file at the slowest and fastest tempo,
# against which the file read above is the yardstick.
add_executable(stretch_bench ${CMAKE_CURRENT_SOURCE_DIR}/stretch_bench.cpp)
target_include_directories(stretch_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(stretch_bench PRIVATE SOLVARI_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
target_link_libraries(stretch_bench PRIVATE solvari_audio benchmark::benchmark benchmark::benchmark_main)

# The temple instruments mixed in, once per phrase while reciting.
add_executable(instrument_bench ${CMAKE_CURRENT_SOURCE_DIR}/instrument_bench.cpp)
target_include_directories(instrument_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(instrument_bench PRIVATE SOLVARI_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
target_link_libraries(instrument_bench PRIVATE solvari_audio benchmark::benchmark benchmark::benchmark_main)

# Aligning one's own take to the shipped phrase: the longest phrase, and the
# measurement over the generated takes of known onsets (tests/audio makes them).
add_executable(align_bench ${CMAKE_CURRENT_SOURCE_DIR}/align_bench.cpp)
target_include_directories(align_bench PRIVATE ${PROJECT_SOURCE_DIR}
                           ${PROJECT_SOURCE_DIR}/tests/audio)
target_compile_definitions(align_bench PRIVATE SOLVARI_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  SOLVARI_ALIGN_TAKES_DIR="${CMAKE_BINARY_DIR}/tests/audio/align-takes")
target_link_libraries(align_bench PRIVATE solvari_audio benchmark::benchmark
                      benchmark::benchmark_main)
if(TARGET solvari_align_takes)
  add_dependencies(align_bench solvari_align_takes)
endif()

# Voice loading, and the phrase change on the real device. The device
# figures need a sound server: run
#   tools/with-pulse.sh build/bin/audio_bench
add_executable(audio_bench ${CMAKE_CURRENT_SOURCE_DIR}/audio_bench.cpp)
target_include_directories(audio_bench PRIVATE ${PROJECT_SOURCE_DIR}
                           ${PROJECT_SOURCE_DIR}/tests/audio)
target_compile_definitions(audio_bench PRIVATE SOLVARI_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
if(SOLVARI_BUILD_APP)
  target_link_libraries(audio_bench PRIVATE solvari_audio_qt benchmark::benchmark)
  target_compile_definitions(audio_bench PRIVATE SOLVARI_HAVE_QT_AUDIO=1)
else()
  target_link_libraries(audio_bench PRIVATE solvari_audio benchmark::benchmark)
endif()

# The time stretch of the longest voice file at the slowest and fastest tempo,
# against which the file read above is the yardstick.
solvari_add_bench(stretch_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/stretch_bench.cpp LIBS solvari_audio)

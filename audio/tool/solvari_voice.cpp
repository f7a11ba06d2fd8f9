// solvari-voice: makes voice segment files from your own recordings and
// checks a folder of them.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "audio/tool/voice_tool.h"
#include "core/sutra_tables.h"

namespace {

namespace fs = std::filesystem;

void Usage(std::ostream& out) {
  out << "usage:\n"
         "  solvari-voice convert [--force] RECORDING.wav SEGMENT.SGM\n"
         "      one recording (PCM .wav, 8/16/24/32-bit, any rate, mono or stereo)\n"
         "      into a voice segment (11025 Hz, 16-bit, mono)\n"
         "  solvari-voice convert-all [--force] IN_FOLDER OUT_FOLDER\n"
         "      V00.wav .. V53.wav of IN_FOLDER into V00.SGM .. V53.SGM of OUT_FOLDER\n"
         "  solvari-voice check FOLDER\n"
         "      checks V00.SGM .. V53.SGM: present, loadable, length against the highlight\n"
         "Existing segments are replaced only with --force.\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  bool bForce = false;
  std::vector<std::string> rest;
  for (const std::string& a : args) {
    if (a == "--force" || a == "-f") {
      bForce = true;
    } else if (a == "--help" || a == "-h") {
      Usage(std::cout);
      return 0;
    } else if (a.size() > 1 && a[0] == '-') {
      std::cerr << "solvari-voice: unknown option " << a << "\n";
      Usage(std::cerr);
      return 2;
    } else {
      rest.push_back(a);
    }
  }
  if (rest.empty()) {
    Usage(std::cerr);
    return 2;
  }
  const std::string command = rest[0];
  if (command == "convert" && rest.size() == 3) {
    return solvari::ConvertRecording(rest[1], rest[2], bForce, std::cout) ? 0 : 1;
  }
  if (command == "convert-all" && rest.size() == 3) {
    std::error_code ec;
    if (!fs::is_directory(rest[1], ec)) {
      std::cerr << rest[1] << ": no such folder\n";
      return 1;
    }
    if (!fs::is_directory(rest[2], ec)) {
      std::cerr << rest[2] << ": no such folder (create it first)\n";
      return 1;
    }
    int nFailed = 0, nConverted = 0;
    for (int p = 0; p < solvari::kPhraseCount; ++p) {
      char szIn[32], szOut[32];
      std::snprintf(szIn, sizeof szIn, "V%2.2d.wav", p);
      std::snprintf(szOut, sizeof szOut, "V%2.2d.SGM", p);
      fs::path in = fs::path(rest[1]) / szIn;
      if (!fs::exists(in, ec)) {
        fs::path upper = fs::path(rest[1]) / (std::string(szIn, 4) + ".WAV");
        if (fs::exists(upper, ec)) in = upper;
      }
      if (!fs::exists(in, ec)) {
        std::cout << in.string() << ": missing, phrase " << p << " skipped\n";
        ++nFailed;
        continue;
      }
      if (solvari::ConvertRecording(in.string(), (fs::path(rest[2]) / szOut).string(), bForce,
                                    std::cout)) {
        ++nConverted;
      } else {
        ++nFailed;
      }
    }
    std::cout << nConverted << " converted, " << nFailed << " not\n";
    return nFailed ? 1 : 0;
  }
  if (command == "check" && rest.size() == 2) {
    return solvari::CheckSegments(rest[1], std::cout) ? 1 : 0;
  }
  std::cerr << "solvari-voice: wrong command or arguments\n";
  Usage(std::cerr);
  return 2;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// solvari-voice: makes voice segment files from your own recordings and
// checks a folder of them.
#include <charconv>
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
         "  solvari-voice onsets FILE PHRASE\n"
         "      the onset of each character of PHRASE (0-53) in the voice file FILE, in ms\n"
         "      from its start, one per line, found by aligning it to the shipped phrase\n"
         "Existing segments are replaced only with --force. A segment named for its\n"
         "phrase (V07.SGM) gets its character onsets beside it (V07.onsets). The shipped\n"
         "voice is looked for beside this program, or given with --shipped FOLDER.\n";
}

// The running program's own path, for the shipped voice beside it.
std::string ExePath(const char* argv0) {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec && !self.empty()) return self.string();
  return fs::absolute(argv0 ? argv0 : "", ec).string();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  bool bForce = false;
  std::string shippedFolder;
  std::vector<std::string> rest;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--shipped") {
      if (i + 1 == args.size()) {
        std::cerr << "solvari-voice: --shipped needs a folder\n";
        return 2;
      }
      shippedFolder = args[++i];
    } else if (a == "--force" || a == "-f") {
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
  if (shippedFolder.empty()) shippedFolder = solvari::FindShippedFolder(ExePath(argv[0]));
  if (command == "convert" && rest.size() == 3) {
    return solvari::ConvertRecording(rest[1], rest[2], bForce, std::cout, shippedFolder) ? 0 : 1;
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
                                    std::cout, shippedFolder)) {
        ++nConverted;
      } else {
        ++nFailed;
      }
    }
    std::cout << nConverted << " converted, " << nFailed << " not\n";
    return nFailed ? 1 : 0;
  }
  if (command == "onsets" && rest.size() == 3) {
    int nPhrase = -1;
    const std::string& p = rest[2];
    const auto [pEnd, ec] = std::from_chars(p.data(), p.data() + p.size(), nPhrase);
    if (ec != std::errc() || pEnd != p.data() + p.size()) {
      std::cerr << "solvari-voice: " << p << " is not a phrase number (0-53)\n";
      return 2;
    }
    if (shippedFolder.empty())
      std::cerr << "solvari-voice: the shipped voice was not found; use --shipped FOLDER\n";
    return solvari::PrintOnsets(rest[1], nPhrase, shippedFolder, std::cout, std::cerr);
  }
  if (command == "check" && rest.size() == 2) {
    return solvari::CheckSegments(rest[1], std::cout) ? 1 : 0;
  }
  std::cerr << "solvari-voice: wrong command or arguments\n";
  Usage(std::cerr);
  return 2;
}

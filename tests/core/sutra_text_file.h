// SPDX-License-Identifier: GPL-3.0-or-later
// The sutra text table of the repository, res/text/sutra-text.tsv (phrase TAB
// text TAB readings, one group of kana per character, '#' comments): what the
// tables of core/ are checked against.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace solvari::test {

inline const char kSutraTextPath[] = SOLVARI_SOURCE_DIR "/res/text/sutra-text.tsv";

struct SutraTextRow {
  int phrase = -1;
  std::string text;                   // UTF-8
  std::vector<std::string> readings;  // one group of kana per character
};

// Every row of the table, in the file's order; empty when the file is missing.
inline std::vector<SutraTextRow> ReadSutraTextFile() {
  std::ifstream in(kSutraTextPath);
  std::vector<SutraTextRow> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    SutraTextRow row;
    std::string phrase, reading;
    std::getline(fields, phrase, '\t');
    std::getline(fields, row.text, '\t');
    std::getline(fields, reading, '\t');
    row.phrase = std::stoi(phrase);
    std::istringstream groups(reading);
    for (std::string g; groups >> g;) row.readings.push_back(g);
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace solvari::test

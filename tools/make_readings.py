#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes core/sutra_readings_data.cpp, the kana reading of every character,
from the sutra text table (phrase TAB text TAB readings, one group of kana per
character, '#' comments).

    python3 tools/make_readings.py SUTRA_TSV core/sutra_readings_data.cpp
"""
import sys

PHRASES = 54


def read_table(path):
    phrases = {}
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            fields = line.split("\t")
            if len(fields) < 3:
                sys.exit(f"{path}:{n}: expected phrase, text and reading")
            p = int(fields[0])
            text, groups = fields[1], fields[2].split()
            if not 0 <= p < PHRASES or p in phrases:
                sys.exit(f"{path}:{n}: phrase {p} out of range or repeated")
            if len(groups) != len(text):
                sys.exit(f"{path}:{n}: {len(text)} characters but {len(groups)} readings")
            for g in groups:
                if '"' in g or "\\" in g:
                    sys.exit(f"{path}:{n}: unexpected character in reading {g}")
            phrases[p] = (text, groups)
    if len(phrases) != PHRASES:
        sys.exit(f"{path}: {len(phrases)} phrases, expected {PHRASES}")
    return [phrases[p] for p in range(PHRASES)]


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    table = read_table(sys.argv[1])
    out = ["// SPDX-License-Identifier: GPL-3.0-or-later",
           "// Generated from the sutra text table by tools/make_readings.py; do not edit.",
           '#include "core/sutra_readings.h"', "", "namespace solvari {", "namespace {", ""]
    for p, (text, groups) in enumerate(table):
        items = ", ".join(f'"{g}"' for g in groups)
        out.append(f"// {text}")
        out.append(f"constexpr const char* kReading{p:02d}[] = {{{items}}};")
    out += ["", "}  // namespace", "",
            "const char* const* const kPhraseReadings[kPhraseCount] = {"]
    out += [f"    kReading{p:02d}," for p in range(PHRASES)]
    out += ["};", "", "}  // namespace solvari", ""]
    with open(sys.argv[2], "w", encoding="utf-8") as f:
        f.write("\n".join(out))
    print(f"{sum(len(g) for _, g in table)} readings written to {sys.argv[2]}")


if __name__ == "__main__":
    main()

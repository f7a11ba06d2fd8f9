#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The English texts of the Qt program's translation file, for the page:
{context: {Japanese source text: English text}}, finished entries only."""
import json
import sys
import xml.etree.ElementTree as ET


def main(ts_path, out_path):
    strings = {}
    for context in ET.parse(ts_path).getroot().iter("context"):
        name = context.findtext("name", "")
        for message in context.iter("message"):
            source = message.findtext("source")
            translation = message.find("translation")
            if source is None or translation is None:
                continue
            if translation.get("type") in ("unfinished", "obsolete", "vanished"):
                continue
            strings.setdefault(name, {})[source] = translation.text or ""
    with open(out_path, "w", encoding="utf-8") as f:
        json.dump(strings, f, ensure_ascii=False, indent=0, sort_keys=True)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])

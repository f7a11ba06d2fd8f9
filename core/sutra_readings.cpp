// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/sutra_readings.h"

#include <cstdint>
#include <iterator>
#include <vector>

namespace solvari {
namespace {

constexpr char32_t kSmallTsu = U'っ';
constexpr char32_t kLongMark = U'ー';

// UTF-8 to code points; a malformed byte stands for itself.
std::u32string Decode(std::string_view s) {
  std::u32string out;
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    const int n = b < 0x80             ? 1
                  : (b & 0xE0) == 0xC0 ? 2
                  : (b & 0xF0) == 0xE0 ? 3
                  : (b & 0xF8) == 0xF0 ? 4
                                       : 0;
    bool ok = n > 0 && i + n <= s.size();
    char32_t cp = n == 1 ? b : b & (0x7F >> n);
    for (int k = 1; ok && k < n; ++k) {
      const auto c = static_cast<unsigned char>(s[i + k]);
      ok = (c & 0xC0) == 0x80;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (!ok) {
      out.push_back(b);
      ++i;
      continue;
    }
    // Katakana as hiragana (ァ..ヶ), the lengthening mark kept.
    if (cp >= 0x30A1 && cp <= 0x30F6) cp -= 0x60;
    out.push_back(cp);
    i += static_cast<std::size_t>(n);
  }
  return out;
}

void Encode(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Hepburn of the plain kana ぁ (U+3041) to ゖ (U+3096); "" for the small
// tsu and the small y-kana, which the caller handles.
const char* const kKana[] = {
    "a",  "a",  "i",   "i",  "u",  "u",   "e",  "e",   "o",  "o",  "ka", "ga", "ki", "gi", "ku",
    "gu", "ke", "ge",  "ko", "go", "sa",  "za", "shi", "ji", "su", "zu", "se", "ze", "so", "zo",
    "ta", "da", "chi", "ji", "",   "tsu", "zu", "te",  "de", "to", "do", "na", "ni", "nu", "ne",
    "no", "ha", "ba",  "pa", "hi", "bi",  "pi", "fu",  "bu", "pu", "he", "be", "pe", "ho", "bo",
    "po", "ma", "mi",  "mu", "me", "mo",  "",   "ya",  "",   "yu", "",   "yo", "ra", "ri", "ru",
    "re", "ro", "wa",  "wa", "i",  "e",   "o",  "n",   "vu", "ka", "ke",
};

static_assert(std::size(kKana) == 0x3096 - 0x3041 + 1);

const char* PlainKana(char32_t cp) {
  if (cp < 0x3041 || cp > 0x3096) return nullptr;
  return kKana[cp - 0x3041];
}

// The vowel of a small ゃ, ゅ or ょ; 0 for any other character.
char SmallYVowel(char32_t cp) {
  switch (cp) {
    case U'ゃ':
      return 'a';
    case U'ゅ':
      return 'u';
    case U'ょ':
      return 'o';
    default:
      return 0;
  }
}

struct Syllable {
  std::string text;  // romaji, or the character itself when it is no kana
  bool bSokuon = false;
  bool bLong = false;  // a lengthening mark
};

// The syllables of a group of kana, a y-kana joined to the syllable before.
std::vector<Syllable> Syllables(const std::u32string& cps) {
  std::vector<Syllable> out;
  for (std::size_t i = 0; i < cps.size(); ++i) {
    const char32_t cp = cps[i];
    if (cp == kSmallTsu) {
      out.push_back({"", true, false});
      continue;
    }
    if (cp == kLongMark) {
      out.push_back({"", false, true});
      continue;
    }
    const char* plain = PlainKana(cp);
    std::string text;
    if (plain == nullptr) {
      Encode(text, cp);
    } else if (const char v = SmallYVowel(cp); v != 0) {
      text = std::string("y") + v;  // a y-kana on its own
    } else {
      text = plain;
      const char v2 = i + 1 < cps.size() ? SmallYVowel(cps[i + 1]) : 0;
      if (v2 != 0 && text.size() >= 2 && text.back() == 'i') {
        // き+ゃ kya; し+ゃ sha, ち+ゃ cha, じ+ゃ ja.
        text.pop_back();
        if (text != "sh" && text != "ch" && text != "j") text += 'y';
        text += v2;
        ++i;
      }
    }
    out.push_back({text, false, false});
  }
  return out;
}

bool IsVowel(char c) { return c == 'a' || c == 'i' || c == 'u' || c == 'e' || c == 'o'; }
bool IsLetter(char c) { return c >= 'a' && c <= 'z'; }

// The letters a small tsu adds before syllable text.
std::string Gemination(const std::string& following) {
  if (following.empty() || !IsLetter(following[0]) || IsVowel(following[0]) ||
      following[0] == 'n') {
    return "t";
  }
  if (following.rfind("ch", 0) == 0) return "t";
  return std::string(1, following[0]);
}

}  // namespace

int ToReadingAid(int nValue) {
  return nValue == RubyKana || nValue == RubyRomaji ? nValue : RubyNone;
}

int GetReadingGlyphId(int nAid, int nPhrase) {
  if (nPhrase < 0 || nPhrase > kLastPhrase) return 0;
  if (nAid == RubyKana) return kKanaGlyphBase + nPhrase;
  if (nAid == RubyRomaji) return kRomajiGlyphBase + nPhrase;
  return 0;
}

const char* GetCharReading(int nPhrase, int nChar) {
  if (nPhrase < 0 || nPhrase > kLastPhrase || nChar < 0 || nChar >= kPhraseCharCount[nPhrase])
    return "";
  return kPhraseReadings[nPhrase][nChar];
}

std::string GetCharRomaji(int nPhrase, int nChar) {
  const char* pszNext = GetCharReading(nPhrase, nChar + 1);
  return RomanizeKana(GetCharReading(nPhrase, nChar), nChar >= 0 ? pszNext : "");
}

std::string RomanizeKana(std::string_view kana, std::string_view next) {
  const std::vector<Syllable> syl = Syllables(Decode(kana));
  const std::vector<Syllable> after = Syllables(Decode(next));
  std::string out;
  char lastVowel = 0;  // the vowel the text so far ends in
  for (std::size_t i = 0; i < syl.size(); ++i) {
    const Syllable& s = syl[i];
    if (s.bLong) continue;
    if (s.bSokuon) {
      // The next syllable that is spoken, in this group or the next.
      std::string following;
      for (std::size_t j = i + 1; j < syl.size() && following.empty(); ++j)
        if (!syl[j].bLong) following = syl[j].text;
      if (i + 1 >= syl.size() && !after.empty()) following = after.front().text;
      out += Gemination(following);
      lastVowel = 0;
      continue;
    }
    if (s.text == "u" && (lastVowel == 'o' || lastVowel == 'u')) continue;  // a long o or u
    out += s.text;
    lastVowel = !s.text.empty() && IsVowel(s.text.back()) ? s.text.back() : 0;
  }
  return out;
}

}  // namespace solvari

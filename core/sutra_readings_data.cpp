// SPDX-License-Identifier: GPL-3.0-or-later
// Generated from the sutra text table by tools/make_readings.py; do not edit.
#include "core/sutra_readings.h"

namespace solvari {
namespace {

// 観自在菩薩
constexpr const char* kReading00[] = {"かん", "じー", "ざい", "ぼー", "さー"};
// 行深般若波羅蜜多時
constexpr const char* kReading01[] = {"ぎょう", "じん", "はん", "にゃ", "は", "ら", "みっ", "たー", "じー"};
// 照見五蘊皆空
constexpr const char* kReading02[] = {"しょう", "けん", "ごー", "おん", "かい", "くう"};
// 度一切苦厄
constexpr const char* kReading03[] = {"どー", "いっ", "さい", "くー", "やく"};
// 舎利子
constexpr const char* kReading04[] = {"しゃー", "りー", "しー"};
// 色不異空
constexpr const char* kReading05[] = {"しき", "ふー", "いー", "くう"};
// 空不異色
constexpr const char* kReading06[] = {"くう", "ふー", "いー", "しき"};
// 色即是空
constexpr const char* kReading07[] = {"しき", "そく", "ぜー", "くう"};
// 空即是色
constexpr const char* kReading08[] = {"くう", "そく", "ぜー", "しき"};
// 受想行識
constexpr const char* kReading09[] = {"じゅー", "そう", "ぎょう", "しき"};
// 亦復如是
constexpr const char* kReading10[] = {"やく", "ぶー", "にょー", "ぜー"};
// 舎利子
constexpr const char* kReading11[] = {"しゃー", "りー", "しー"};
// 是諸法空相
constexpr const char* kReading12[] = {"ぜー", "しょー", "ほう", "くう", "そう"};
// 不生不滅
constexpr const char* kReading13[] = {"ふー", "しょう", "ふー", "めつ"};
// 不垢不浄
constexpr const char* kReading14[] = {"ふー", "くー", "ふー", "じょう"};
// 不増不減
constexpr const char* kReading15[] = {"ふー", "ぞう", "ふー", "げん"};
// 是故空中無色
constexpr const char* kReading16[] = {"ぜー", "こー", "くう", "ちゅう", "むー", "しき"};
// 無受想行識
constexpr const char* kReading17[] = {"むー", "じゅー", "そう", "ぎょう", "しき"};
// 無眼耳鼻舌身意
constexpr const char* kReading18[] = {"むー", "げん", "にー", "びー", "ぜっ", "しん", "いー"};
// 無色声香味触法
constexpr const char* kReading19[] = {"むー", "しき", "しょう", "こう", "みー", "そく", "ほう"};
// 無眼界
constexpr const char* kReading20[] = {"むー", "げん", "かい"};
// 乃至無意識界
constexpr const char* kReading21[] = {"ない", "しー", "むー", "いー", "しき", "かい"};
// 無無明
constexpr const char* kReading22[] = {"むー", "むー", "みょう"};
// 亦無無明尽
constexpr const char* kReading23[] = {"やく", "むー", "むー", "みょう", "じん"};
// 乃至無老死
constexpr const char* kReading24[] = {"ない", "しー", "むー", "ろう", "しー"};
// 亦無老死尽
constexpr const char* kReading25[] = {"やく", "むー", "ろう", "しー", "じん"};
// 無苦集滅道
constexpr const char* kReading26[] = {"むー", "くー", "しゅう", "めつ", "どう"};
// 無智亦無得
constexpr const char* kReading27[] = {"むー", "ちー", "やく", "むー", "とく"};
// 以無所得故
constexpr const char* kReading28[] = {"いー", "むー", "しょー", "とっ", "こー"};
// 菩提薩埵
constexpr const char* kReading29[] = {"ぼー", "だい", "さっ", "たー"};
// 依般若波羅蜜多故
constexpr const char* kReading30[] = {"えー", "はん", "にゃ", "はー", "らー", "みっ", "たー", "こー"};
// 心無罣礙
constexpr const char* kReading31[] = {"しん", "むー", "けい", "げー"};
// 無罣礙故
constexpr const char* kReading32[] = {"むー", "けい", "げー", "こー"};
// 無有恐怖
constexpr const char* kReading33[] = {"むー", "うー", "くー", "ふー"};
// 遠離一切顛倒夢想
constexpr const char* kReading34[] = {"おん", "りー", "いっ", "さい", "てん", "どう", "むー", "そう"};
// 究竟涅槃
constexpr const char* kReading35[] = {"くー", "ぎょう", "ねー", "はん"};
// 三世諸仏
constexpr const char* kReading36[] = {"さん", "ぜー", "しょー", "ぶつ"};
// 依般若波羅蜜多故
constexpr const char* kReading37[] = {"えー", "はん", "にゃ", "はー", "らー", "みっ", "たー", "こー"};
// 得阿耨多羅三藐三菩提
constexpr const char* kReading38[] = {"とく", "あー", "のく", "たー", "らー", "さん", "みゃく", "さん", "ぼー", "だい"};
// 故知般若波羅蜜多
constexpr const char* kReading39[] = {"こー", "ちー", "はん", "にゃ", "はー", "らー", "みっ", "たー"};
// 是大神呪
constexpr const char* kReading40[] = {"ぜー", "だい", "じん", "しゅー"};
// 是大明呪
constexpr const char* kReading41[] = {"ぜー", "だい", "みょう", "しゅー"};
// 是無上呪
constexpr const char* kReading42[] = {"ぜー", "むー", "じょう", "しゅー"};
// 是無等等呪
constexpr const char* kReading43[] = {"ぜー", "むー", "とう", "どう", "しゅー"};
// 能除一切苦
constexpr const char* kReading44[] = {"のう", "じょー", "いっ", "さい", "くー"};
// 真実不虚
constexpr const char* kReading45[] = {"しん", "じつ", "ふー", "こー"};
// 故説般若波羅蜜多呪
constexpr const char* kReading46[] = {"こー", "せつ", "はん", "にゃ", "はー", "らー", "みっ", "たー", "しゅー"};
// 即説呪曰
constexpr const char* kReading47[] = {"そく", "せつ", "しゅー", "わっ"};
// 羯諦
constexpr const char* kReading48[] = {"ぎゃー", "てい"};
// 羯諦
constexpr const char* kReading49[] = {"ぎゃー", "てい"};
// 波羅羯諦
constexpr const char* kReading50[] = {"はー", "らー", "ぎゃー", "てい"};
// 波羅僧羯諦
constexpr const char* kReading51[] = {"はー", "らー", "そう", "ぎゃー", "てい"};
// 菩提薩婆訶
constexpr const char* kReading52[] = {"ぼー", "じー", "そー", "わー", "かー"};
// 般若心経
constexpr const char* kReading53[] = {"はん", "にゃー", "しん", "ぎょう"};

}  // namespace

const char* const* const kPhraseReadings[kPhraseCount] = {
    kReading00,
    kReading01,
    kReading02,
    kReading03,
    kReading04,
    kReading05,
    kReading06,
    kReading07,
    kReading08,
    kReading09,
    kReading10,
    kReading11,
    kReading12,
    kReading13,
    kReading14,
    kReading15,
    kReading16,
    kReading17,
    kReading18,
    kReading19,
    kReading20,
    kReading21,
    kReading22,
    kReading23,
    kReading24,
    kReading25,
    kReading26,
    kReading27,
    kReading28,
    kReading29,
    kReading30,
    kReading31,
    kReading32,
    kReading33,
    kReading34,
    kReading35,
    kReading36,
    kReading37,
    kReading38,
    kReading39,
    kReading40,
    kReading41,
    kReading42,
    kReading43,
    kReading44,
    kReading45,
    kReading46,
    kReading47,
    kReading48,
    kReading49,
    kReading50,
    kReading51,
    kReading52,
    kReading53,
};

}  // namespace solvari

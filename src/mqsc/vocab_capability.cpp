// Capability flags: which commands and keywords a queue manager supports, by platform and
// command level.
#include "mqsc/vocab.h"

namespace {

enum class When : uint8_t { Never, Always, From, Below };

struct Rule {
  When when;
  int level;
  bool Holds(int commandLevel) const {
    switch (when) {
    case When::Never: return false;
    case When::Always: return true;
    case When::From: return commandLevel >= level;
    case When::Below: return commandLevel < level;
    }
    return false;
  }
};

constexpr Rule kNever{When::Never, 0};
constexpr Rule kAlways{When::Always, 0};
constexpr Rule From(int level) { return {When::From, level}; }
constexpr Rule Below(int level) { return {When::Below, level}; }

struct FlagRow {
  int flag;
  Rule zos;          // platform 1
  Rule ibmi;         // platform 4
  Rule distributed;  // platforms 2, 3, 11, 12, 13, 28
};

constexpr FlagRow kFlagRows[] = {
    {1, From(530), From(510), From(230)},  {2, From(600), From(510), From(201)},  {3, kAlways, From(510), From(201)},
    {4, From(210), From(510), From(230)},  {5, kNever, From(510), From(230)},     {6, From(120), From(510), From(230)},
    {7, kAlways, From(510), From(510)},    {8, From(210), From(510), From(510)},  {9, Below(114), kNever, kNever},
    {10, From(114), From(510), kAlways},   {11, From(114), kAlways, kAlways},     {12, From(220), kAlways, kAlways},
    {13, From(220), kAlways, kAlways},     {14, From(220), kNever, kNever},       {16, kNever, From(931), From(931)},
    {18, From(930), From(923), From(923)}, {19, kAlways, kNever, kNever},         {20, From(520), From(530), From(530)},
    {21, From(530), From(530), From(530)}, {22, From(530), From(530), From(530)}, {23, From(930), From(930), From(930)},
    {25, kNever, kNever, kNever},          {26, From(600), From(600), From(600)}, {27, kNever, kAlways, kNever},
    {29, From(210), kAlways, kAlways},     {30, From(700), From(700), From(700)}, {31, From(701), From(701), From(701)},
    {32, kNever, From(701), From(701)},    {33, From(600), From(701), From(701)}, {34, From(530), From(701), From(701)},
    {35, From(930), From(600), From(600)}, {36, From(710), From(710), From(710)}, {37, kNever, kNever, From(711)},
    {38, From(750), From(750), From(750)}, {39, kNever, From(700), From(700)},    {41, kNever, kNever, From(701)},
    {42, From(800), From(800), From(800)}, {43, From(800), From(600), From(600)}, {44, kNever, kNever, From(801)},
    {45, kNever, From(801), From(801)},    {47, kNever, kNever, From(802)},       {48, From(710), From(600), From(600)},
    {49, From(900), From(900), From(900)}, {50, From(600), From(700), From(700)}, {51, From(902), From(902), From(902)},
    {52, kNever, From(801), From(801)},    {53, From(904), From(905), From(905)}, {55, From(911), From(911), From(911)},
    {56, From(913), From(913), From(913)}, {59, From(914), From(914), From(914)}, {60, From(915), From(915), From(915)},
    {63, From(923), From(923), From(923)}, {65, kNever, From(800), From(800)},    {66, From(921), From(921), From(921)},
    {67, From(924), From(924), From(924)}, {70, From(932), From(932), From(932)}, {71, kNever, kNever, kNever},
};

// Distributed platforms that depart from their column.
struct PlatformException {
  int flag;
  int platform;
  Rule rule;
};

constexpr PlatformException kExceptions[] = {
    {25, 11, kAlways}, {37, 12, kNever},    {37, 13, kNever},  {47, 12, kNever},
    {47, 13, kNever},  {52, 11, From(900)}, {71, 28, kAlways},
};

bool IsDistributed(int platform) {
  return platform == 2 || platform == 3 || platform == 11 || platform == 12 || platform == 13 || platform == 28;
}

}  // namespace

CapabilityFlags CapabilityFlags::forQueueManager(int platform, int commandLevel, bool weakCiphers) {
  CapabilityFlags result;
  const bool zos = platform == 1, ibmi = platform == 4, distributed = IsDistributed(platform);
  if (zos || ibmi || distributed) {
    for (const FlagRow& row : kFlagRows) {
      Rule rule = zos ? row.zos : ibmi ? row.ibmi : row.distributed;
      for (const PlatformException& e : kExceptions)
        if (e.flag == row.flag && e.platform == platform) rule = e.rule;
      result.Set(row.flag, rule.Holds(commandLevel));
    }
  }
  if (weakCiphers) result.Set(46, true);
  return result;
}

CapabilityFlags CapabilityFlags::forCcdt() {
  CapabilityFlags result;
  for (int flag = 1; flag < kCapabilityFlagCount; ++flag)
    result.Set(flag, flag != 14 && flag != 15 && flag != 19 && flag != 27);
  return result;
}

void CapabilityFlags::applyTolkLevel(int tolkCommandLevel) {
  Set(61, tolkCommandLevel >= 921);
  Set(62, tolkCommandLevel >= 922);
}

bool CapabilityFlags::Allows(const uint16_t conditions[3]) const {
  if (conditions[0] && !(*this)[conditions[0]]) return false;
  if (conditions[1] && !(*this)[conditions[1]]) return false;
  if (conditions[2] && (*this)[conditions[2]]) return false;
  return true;
}

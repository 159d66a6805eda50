// SPDX-License-Identifier: MIT
#include "tools/kelvora_sim_keys.h"

#include <cstring>

#include "tools/kelvora_sim_simulator.h"

namespace kelvora::sim::tool {
namespace {

struct Key {
  const char* shown;  // the keys as the help lists them
  char first;         // a key pressed before these ("e" of "e 1..8"), else 0
  const char* keys;   // the keys taken; the action learns which one came
  const char* help;   // one line per '\n'
  void (*act)(KeyConsole& c, char key);
};

void Fault(KeyConsole& c, BoxFault f) {
  c.Sim().SetFault(f);
}

const Key kKeys[] = {
    {"i", 0, "i", "toggle the switch on input 11",
     [](KeyConsole& c, char) { c.Sim().ToggleInput11(); }},
    {"1..8", 0, "12345678", "toggle a stuck impulse switch on that axis",
     [](KeyConsole& c, char k) { c.Sim().ToggleStuck(k - '0'); }},
    {"e 1..8", 'e', "12345678", "toggle a broken end switch on that axis",
     [](KeyConsole& c, char k) { c.Sim().ToggleEndBroken(k - '0'); }},
    {"s t g", 0, "stg", "box goes silent / answers short / answers garbage",
     [](KeyConsole& c, char k) {
       Fault(c, k == 's' ? BoxFault::kSilent : k == 't' ? BoxFault::kShort : BoxFault::kGarbage);
     }},
    {"h", 0, "h", "replies come in two pieces, the rest 8 ms after the first byte",
     [](KeyConsole& c, char) { Fault(c, BoxFault::kSplit); }},
    {"l", 0, "l", "replies come 40 ms late",
     [](KeyConsole& c, char) { Fault(c, BoxFault::kLate); }},
    {"b", 0, "b", "a stray byte follows every reply",
     [](KeyConsole& c, char) { Fault(c, BoxFault::kStray); }},
    {"n", 0, "n", "box answers normally again",
     [](KeyConsole& c, char) { Fault(c, BoxFault::kNone); }},
    {"v", 0, "v", "the device vanishes (for good)",
     [](KeyConsole& c, char) { Fault(c, BoxFault::kVanished); }},
    {"r", 0, "r",
     "the device vanishes and comes back 2 s later (replug; a new\n"
     "pseudo-terminal, found again under the --link name)",
     [](KeyConsole& c, char) { Fault(c, BoxFault::kReplug); }},
    {"x X y Y", 0, "xXyY", "analog input EX or EY down / up by 128",
     [](KeyConsole& c, char k) {
       c.Sim().ChangeAnalog(k == 'x' || k == 'X' ? 0 : 1, k == 'x' || k == 'y' ? -128 : 128);
     }},
    {"p", 0, "p", "print the axes' true positions",
     [](KeyConsole& c, char) { c.Print(c.Sim().Positions()); }},
    {"c", 0, "c",
     "print each axis's impulse changes: made by the axis / seen between\n"
     "two replies of the box (fewer when a reader polls too seldom)",
     [](KeyConsole& c, char) { c.Print(c.Sim().ImpulseCounts()); }},
    {"?", 0, "?", "this key list", [](KeyConsole& c, char) { c.Print(KeysHelp()); }},
    // Ctrl+D too: the end of input in a terminal without line editing.
    {"q", 0, "q\x04", "quit (ends PROGRAM too)", [](KeyConsole& c, char) { c.Quit(); }},
};

bool Takes(const Key& key, char first, char k) {
  return key.first == first && k != '\0' && std::strchr(key.keys, k) != nullptr;
}

}  // namespace

std::string KeysHelp() {
  std::string text = "Keys (from a terminal, or any standard input when no PROGRAM is run):\n";
  for (const Key& key : kKeys) {
    std::string shown = key.shown;
    shown.resize(9, ' ');
    text += "  " + shown;
    for (const char* line = key.help; *line != '\0';) {
      const char* end = std::strchr(line, '\n');
      const size_t n = end != nullptr ? static_cast<size_t>(end - line) : std::strlen(line);
      if (line != key.help) text += std::string(11, ' ');
      text.append(line, n).append("\n");
      line += end != nullptr ? n + 1 : n;
    }
  }
  return text;
}

void KeyReader::Press(char k, KeyConsole& console) {
  // A second key completes the first; any other key is taken as itself.
  if (const char first = pending_; first != 0) {
    pending_ = 0;
    for (const Key& key : kKeys) {
      if (Takes(key, first, k)) return key.act(console, k);
    }
  }
  for (const Key& key : kKeys) {
    if (Takes(key, 0, k)) return key.act(console, k);
  }
  for (const Key& key : kKeys) {
    if (key.first == k && k != 0) pending_ = k;
  }
}

}  // namespace kelvora::sim::tool

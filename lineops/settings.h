// The settings a tool may give a regulator, each sent as exactly the request
// the programs send for it (the network programs' menu commands, setpoint
// dialog and regulator setup dialog):
//
//   setpoint=P        0..655.35 %, read and rounded as the setpoint dialog does;
//                     also selects the digital input (with Modbus: the input
//                     select write, then the setpoint write)
//   valve=open|closed|regulate
//   zero              zero setting (asks for confirmation)
//   input=digital|analogue
//   kind=flow|pressure     КВЛ or ВПЗ
//   mode=regulate|measure  regulation or measurement (regnet5's mode commands)
//   address=N         new network address 1..254 (asks for confirmation)
//   speed=9600|19200|38400  (asks for confirmation)
//   memorising=on|off mode memorising ("Запомнить " / "Нет")
#pragma once

#include <optional>
#include <string>

#include "lineops/regulator.h"

namespace kvl::ops {

enum class Key { kSetpoint, kValve, kZero, kInput, kKind, kMode, kAddress, kSpeed, kMemorising };

struct Setting {
  Key key = Key::kSetpoint;
  std::string text;    // as given, e.g. "valve=open"
  double percent = 0;  // setpoint
  int value = 0;       // valve action, input (1 analogue), kind (1 pressure), mode
                       // (1 regulate), address, speed index, memorising (1 on)
};

const char* KeyName(Key k);
// Parses KEY=VALUE ("zero" alone); false with a message that says what is
// accepted.
bool ParseSetting(const std::string& text, Setting& out, std::string& error);
// Zero, address and speed change what a regulator is or where it is found.
bool AsksConfirmation(Key k);

// Speeds of the two sides after a speed change (speed index, -1 unknown).
struct SpeedSides {
  int regulator = -1;
  int port = -1;
};

struct SetResult {
  Outcome outcome = Outcome::kSilent;
  std::string message;                 // what happened, for a person
  std::optional<int> setpointInForce;  // confirmed by the regulator (hundredths)
  std::string valveText;               // "Затвор: открыт. Прог." and so on
  std::optional<int> address;          // the address the regulator now answers at
  std::optional<SpeedSides> speeds;    // after a speed change
};

// Gives the regulator at `address` one setting. kind and mode need its status:
// id is used when given, else it is identified first. address= moves
// `address` to the new one once the regulator confirmed it; speed= leaves the
// line at the speed the regulator now answers at.
SetResult Apply(Line& line, int& address, const Setting& s, const Identity* id = nullptr);

}  // namespace kvl::ops

// One simulated regulator: its attributes (address, family, format byte, serial
// number, firmware date, zero offset, speed), its state (setpoint, flow, valve,
// mode, input), its flow dynamics and its injected faults, and the answers it
// gives to requests of both line protocols.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace kvl::sim {

using Bytes = std::vector<uint8_t>;

enum class Valve { kRegulate, kOpen, kClosed };  // by program command
enum class External { kNone, kOpen, kClosed };   // external (analogue) valve signal

// Faults a device can be told to show.
// One answer byte replaced: answers to `code` get byte `at` := `value`.
struct Patch {
  uint8_t code = 0;
  uint8_t at = 0;
  uint8_t value = 0;
  bool operator==(const Patch&) const = default;
};

struct Faults {
  bool silent = false;         // never answers
  bool badsum = false;         // answers with a wrong check value
  std::vector<int> chunks;     // answer split into chunks of these sizes
  int chunkDelayMs = 20;       // pause between chunks
  int garbage = 0;             // junk bytes sent before each answer
  int extra = 0;               // junk bytes sent after each answer
  int answerFrom = 1;          // answers a request only from its Nth copy
  int turnaroundMinMs = 0;     // its own pause before each answer, drawn anew for
  int turnaroundMaxMs = 0;     // every answer from this range (on top of the line's)
  int64_t silentUntilMs = 0;   // dropped off the line until this time
  std::vector<Patch> patches;  // "Кормаст-10м" answer bytes replaced (sum kept right)
};

struct Device {
  // Attributes.
  int addr = 1;
  bool pressure = false;  // works as ВПЗ (pressure); else КВЛ (flow)
  int format = 7;         // format byte: above 5 newer status layout, else older
  uint16_t serial = 1000;
  std::optional<uint8_t> status1;  // raw overrides of the identify status bytes
  std::optional<uint8_t> status3;
  std::optional<uint8_t> status6;
  uint8_t day = 12, month = 5, year = 15, version = 3;  // firmware date
  uint16_t offset = 0;                                  // zero offset
  unsigned speed = 19200;                               // baud rate it listens at
  bool speeds[3] = {true, true, true};                  // speeds it can take: 9600, 19200, 38400
  bool kormast = true;                                  // answers "Кормаст-10м" requests
  bool modbus = true;                                   // answers Modbus RTU requests
  bool gasset = false;  // flow sensor fitted: refuses nothing, only reported
  bool pres45 = false;  // pressure sensor fitted: only reported
  bool alarm = false;

  // State.
  uint16_t setpoint = 0;  // hundredths of %
  double flow = 0;        // %; negative values are possible near zero
  double freeFlow = 0;    // % the gas line gives without regulation
  Valve valve = Valve::kRegulate;
  External external = External::kNone;
  bool regulate = true;  // regulation mode; else measurement
  bool digital = true;   // digital setpoint input; else analogue
  bool rasre = true;     // mode memorising on ("Запомнить")
  int zeroCount = 0;     // zero settings done
  Faults faults;

  double noise = 0;  // % added to the reading while regulating

  // Repeat tracking of the "answer from Nth attempt" fault.
  Bytes lastRequest;
  int repeats = 0;
  // Last closing frame seen, to tell a retried identify from it.
  Bytes lastClosing;
  int64_t lastClosingMs = -1000000;

  bool CanRun(unsigned baud) const { return speeds[baud == 9600 ? 0 : baud == 38400 ? 2 : 1]; }
  bool Silent(int64_t nowMs) const { return faults.silent || nowMs < faults.silentUntilMs; }
  // Status bytes of the identify answer in the layout chosen by the format byte.
  uint8_t Status1() const { return Status1In(format > 5); }
  uint8_t Status3() const { return status3.value_or(0); }
  uint8_t Status6() const { return Status6In(format > 5); }
  // The same in a given layout: Modbus registers always carry the newer one, as
  // the programs' translation takes every Modbus device for format 7.
  uint8_t Status1In(bool newer) const;
  uint8_t Status6In(bool newer) const;
  // Valve status byte of the valve answer: bit 4 valve open, bit 3 closed by
  // program, bit 2 opened by program, bit 1 closed by external signal, bit 0
  // opened by external signal.
  uint8_t ValveStatus() const;
  // Flow in hundredths of %, sign and magnitude (bit 15 = minus).
  uint16_t FlowWord() const;
  // Where the flow is heading now.
  double TargetFlow() const;
  // Moves the flow towards its target over dtMs (first-order lag, about 1 s),
  // with a little noise while regulating.
  void Advance(double dtMs, std::mt19937& rng);
};

// Speed code of the speed request for a baud rate, and back.
uint8_t SpeedCodeOf(unsigned baud);
unsigned BaudOfCode(uint8_t code);

// What a device does with one request.
struct Reply {
  Bytes bytes;                      // the answer frame (empty: no answer)
  std::optional<unsigned> newBaud;  // switch the line to this speed after the answer
  std::optional<int> newAddr;       // the device's address after the answer
  std::string note;                 // notable event for the trace
};

// Answers a "Кормаст-10м" request (10 bytes, sum already checked) addressed to
// this device (or the broadcast it must answer). State changes are applied,
// except the address and speed, which the caller applies after the answer.
Reply HandleKormast(Device& d, const uint8_t* req, int64_t nowMs);
// Same for a Modbus RTU request (CRC already checked); exceptions for what the
// device does not have.
Reply HandleModbus(Device& d, const uint8_t* req, size_t len);

// Puts the check value of the protocol (0 = sum, 1 = CRC) into the last two bytes.
void Seal(Bytes& frame, int fmodbuson);

// Modbus exception codes.
enum : uint8_t {
  kIllegalFunction = 1,
  kIllegalAddress = 2,
  kIllegalValue = 3,
  kDeviceFailure = 4,
};

}  // namespace kvl::sim

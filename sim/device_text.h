// The text form of a device: comma-separated key=value pairs or bare flags, as
// written on the command line (--dev), in a network file (--net) and in the
// control commands (add, set); and the key=value report of a device's state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/device.h"

namespace kvl::sim {

// Applies the keys of text to d. nowMs is the run time, for keys that start a
// timed event (dropout). Returns an empty string on success, else the reason;
// on failure d is unchanged.
std::string ApplyDeviceText(Device& d, const std::string& text, int64_t nowMs);

// Parses a new device; addr is required. defaultBaud is the line speed.
std::string ParseDevice(const std::string& text, unsigned defaultBaud, Device& out);

// Reads a network file: one device per line, '#' comments, blank lines allowed.
// Returns an empty string on success, else "<file>:<line>: <reason>".
std::string ReadNetworkFile(const std::string& path, unsigned defaultBaud,
                            std::vector<Device>& out);

// "addr=5 kind=flow ... zero_count=0": the device's state and attributes.
std::string DescribeDevice(const Device& d);

}  // namespace kvl::sim

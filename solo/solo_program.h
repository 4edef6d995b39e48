// The program object of regsolo, the service program for one regulator on one
// serial port: start-up with "KVL.dfg", the main menu's commands, the 700 ms
// polling of the regulator, the status block and the close sequence. The Win32
// shell forwards the main window's messages to it; the tests drive it through
// the fake view and link.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "serial/link.h"
#include "solo/setpoint_window.h"
#include "solo/solo_config.h"
#include "solo/solo_state.h"
#include "view/view.h"

namespace kvl::solo {

class SoloProgram : public MainLogic {
 public:
  SoloProgram(ByteLink& link, Services& ui);
  ~SoloProgram() override;

  bool OnCreate() override;
  void OnCommand(int id, int code) override;
  void OnTimer(int id) override;
  bool OnClose() override;
  std::vector<PaintText> OnPaint(int left, int bottom) override;

  // Where "KVL.dfg" is read and written (the current directory by default).
  void SetConfigPath(std::string path) { configPath_ = std::move(path); }

  // Appends every polled value to the CSV file at path (nothing when empty).
  void RecordTo(const std::string& path) {
    s_.csv = path.empty() ? nullptr : std::make_unique<ops::CsvFile>(path);
  }

  SoloState& State() { return s_; }
  SoloLine& Line() { return line_; }

 private:
  // The command needs a connected regulator: true, or message 106 and false.
  bool NeedsConnection();
  // Runs a command on the connected regulator, holding the line.
  void DeviceCommand(const std::function<void()>& command);
  // Runs the prepared request; message 100 and false when it fails.
  bool Exchange();
  // One polling tick.
  void Poll();
  // The port has gone away: closed as the connection dialog's "Закрыть порт "
  // does, polling stopped, the menu as with no regulator connected.
  void PortLost(int port);
  void Repaint() { ui_.Invalidate(true); }
  void Kind(bool pressure);
  void Valve(int id);
  void Zero();
  void Digital();
  void Analog();
  void StartPolling();
  // The CSV row of one poll: values when answered, a row saying so when not.
  void Record(ops::Outcome outcome, int setpoint, int flow);
  void StopPolling();
  void Connect();
  // Menu state after the connection dialog.
  void MenuAfterConnect();

  ByteLink& link_;
  Services& ui_;
  SoloState s_;
  SoloLine line_;
  SoloContext c_;
  SetpointWindow setpoint_;
  std::string configPath_ = kSoloConfigFile;
};

}  // namespace kvl::solo

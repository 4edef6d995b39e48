// What tells regnet9 and regnet5 apart, as one record per program: the layout
// of their channel file, what each has that the other lacks, the control ids of
// their windows, the menu items greyed at start, and the main window's title,
// size and icon. The logic asks the record; it never asks which program runs.
#pragma once

#include <span>

namespace kvl {

// Control ids of one channel row of the channel monitor.
struct MonitorRow {
  int radio, number, setpoint, output, deviation;  // deviation 0: no such cell
};

struct Variant {
  const char* program;  // "regnet9" or "regnet5"
  int channels;         // 9 or 5
  int records;          // records in the file: 11 or 7
  int recordSize;       // bytes per record in the file: 64 or 40
  int satvRecords;      // 10 or 6

  // What one program has and the other lacks.
  bool rasreField;       // the record has f10volt, rasre and the firmware date (regnet9)
  bool firmwareDate;     // the setup dialog reads and shows the firmware date (regnet9)
  bool deviationColumn;  // the monitor's deviation column "Расстройка" (regnet5)
  bool modeMenu;  // the mode commands "Регулирование" and "Измерение " (regnet5)

  // Control ids and menu items.
  std::span<const MonitorRow> monitorRows;  // the channel monitor's row of each channel
  std::span<const int> networkLines;        // the network dialog's line of each channel
  std::span<const int> greyAtStart;         // greyed when the main window is created

  // The main window.
  const char* title;
  int width, height;
  int iconId;

  unsigned FileSize() const { return static_cast<unsigned>(records * recordSize); }
};

extern const Variant kNet9;
extern const Variant kNet5;

}  // namespace kvl

#include "network/variant.h"

#include "resources/ids.h"

namespace kvl {

namespace {

constexpr MonitorRow kRows9[] = {
    {IDX_MON9_RADIO_0, IDX_MON_NUMBER_0, IDX_MON_SETPOINT_0, IDX_MON_OUTPUT_0, 0},
    {IDX_MON9_RADIO_1, IDX_MON_NUMBER_1, IDX_MON_SETPOINT_1, IDX_MON_OUTPUT_1, 0},
    {IDX_MON9_RADIO_2, IDX_MON_NUMBER_2, IDX_MON_SETPOINT_2, IDX_MON_OUTPUT_2, 0},
    {IDX_MON9_RADIO_3, IDX_MON_NUMBER_3, IDX_MON_SETPOINT_3, IDX_MON_OUTPUT_3, 0},
    {IDX_MON9_RADIO_4, IDX_MON_NUMBER_4, IDX_MON_SETPOINT_4, IDX_MON_OUTPUT_4, 0},
    {IDX_MON9_RADIO_5, IDX_MON_NUMBER_5, IDX_MON_SETPOINT_5, IDX_MON_OUTPUT_5, 0},
    {IDX_MON9_RADIO_6, IDX_MON_NUMBER_6, IDX_MON_SETPOINT_6, IDX_MON_OUTPUT_6, 0},
    {IDX_MON9_RADIO_7, IDX_MON_NUMBER_7, IDX_MON_SETPOINT_7, IDX_MON_OUTPUT_7, 0},
    {IDX_MON9_RADIO_8, IDX_MON_NUMBER_8, IDX_MON_SETPOINT_8, IDX_MON_OUTPUT_8, 0},
};

constexpr MonitorRow kRows5[] = {
    {IDX_MON5_RADIO_0, IDX_MON_NUMBER_0, IDX_MON_SETPOINT_0, IDX_MON_OUTPUT_0,
     IDX_MON5_DEVIATION_0},
    {IDX_MON5_RADIO_1, IDX_MON_NUMBER_1, IDX_MON_SETPOINT_1, IDX_MON_OUTPUT_1,
     IDX_MON5_DEVIATION_1},
    {IDX_MON5_RADIO_2, IDX_MON_NUMBER_2, IDX_MON_SETPOINT_2, IDX_MON_OUTPUT_2,
     IDX_MON5_DEVIATION_2},
    {IDX_MON5_RADIO_3, IDX_MON_NUMBER_3, IDX_MON_SETPOINT_3, IDX_MON_OUTPUT_3,
     IDX_MON5_DEVIATION_3},
    {IDX_MON5_RADIO_4, IDX_MON_NUMBER_4, IDX_MON_SETPOINT_4, IDX_MON_OUTPUT_4,
     IDX_MON5_DEVIATION_4},
};

constexpr int kLines9[] = {IDX_NET9_LINE_0, IDX_NET9_LINE_1, IDX_NET9_LINE_2,
                           IDX_NET9_LINE_3, IDX_NET9_LINE_4, IDX_NET9_LINE_5,
                           IDX_NET9_LINE_6, IDX_NET9_LINE_7, IDX_NET9_LINE_8};
constexpr int kLines5[] = {IDX_NET5_LINE_0, IDX_NET5_LINE_1, IDX_NET5_LINE_2, IDX_NET5_LINE_3,
                           IDX_NET5_LINE_4};

// Items greyed when the main window is created (the resource has all enabled).
constexpr int kGreyAtStart9[] = {IDC_KIND_FLOW,     IDC_KIND_PRESSURE,  IDC_VALVE_OPEN,
                                 IDC_VALVE_CLOSE,   IDC_VALVE_REGULATE, IDC_LOG_OFF,
                                 IDC_INPUT_DIGITAL, IDC_INPUT_ANALOG};
constexpr int kGreyAtStart5[] = {
    IDC_ZERO,          IDC_KIND_FLOW,      IDC_KIND_PRESSURE,   IDC_NET5_ABSENT_40031,
    IDC_MODE_REGULATE, IDC_MODE_MEASURE,   IDC_NET5_ABSENT_263, IDC_VALVE_OPEN,
    IDC_VALVE_CLOSE,   IDC_VALVE_REGULATE, IDC_LOG_OFF,         IDC_INPUT_DIGITAL,
    IDC_INPUT_ANALOG};

}  // namespace

const Variant kNet9{
    .program = "regnet9",
    .channels = 9,
    .records = 11,
    .recordSize = 64,
    .satvRecords = 10,
    .rasreField = true,
    .firmwareDate = true,
    .deviationColumn = false,
    .modeMenu = false,
    .monitorRows = kRows9,
    .networkLines = kLines9,
    .greyAtStart = kGreyAtStart9,
    .title = "Net9 Demo КВЛ30",
    .width = 560,
    .height = 400,
    .iconId = IDI_NET,
};

const Variant kNet5{
    .program = "regnet5",
    .channels = 5,
    .records = 7,
    .recordSize = 40,
    .satvRecords = 6,
    .rasreField = false,
    .firmwareDate = false,
    .deviationColumn = true,
    .modeMenu = true,
    .monitorRows = kRows5,
    .networkLines = kLines5,
    .greyAtStart = kGreyAtStart5,
    .title = "Demo КВЛ30(протокол КОРМАСТ-10м)",
    .width = 560,
    .height = 400,
    .iconId = IDI_NET,
};

}  // namespace kvl

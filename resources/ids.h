// Resource ids shared by the resource scripts and the programs' code: menus,
// accelerators, dialog templates, their controls, icons and the bitmap.
// Plain #defines so that the resource compiler reads this file as well.
#ifndef KVL_RESOURCES_IDS_H
#define KVL_RESOURCES_IDS_H

/* Menu, accelerators, icons, bitmap */
#define IDM_MAIN 300
#define IDA_MAIN 200
#define IDI_NET 127
#define IDI_SOLO 128
#define IDI_BLINK_A 131
#define IDI_BLINK_B 132
#define IDB_ABOUT 500

/* Strings */
#define IDS_COM 784 /* "COM": the port device names are this and the port number */

/* Release of the three programs, in the version resource of each */
#define KVL_VERSION_BINARY 1, 1, 0, 0
#define KVL_VERSION_TEXT "1.1.0.0"

/* Dialog templates */
#define IDD_ABOUT 107
#define IDD_SETPOINT 108
#define IDD_SOLO_ZERO 111
#define IDD_SETUP 114
#define IDD_NETWORK 122
#define IDD_MONITOR 130 /* regsolo: the zero-offset dialog of older devices */

/* Menu commands */
#define IDC_EXIT 258
#define IDC_ABOUT 260
#define IDC_SHIFT_F1 261
#define IDC_SHIFT_PGUP 256
#define IDC_SHIFT_PGDN 257
#define IDC_MODE_MEASURE 262
#define IDC_SHOW_MONITOR 836
#define IDC_VALVE_OPEN 40017
#define IDC_VALVE_CLOSE 40018
#define IDC_MODE_REGULATE 40019
#define IDC_EMPTY 40020
#define IDC_ZERO 40035
#define IDC_INPUT_ANALOG 40037
#define IDC_SETUP 40048
#define IDC_LOG_ON 40057
#define IDC_LOG_OFF 40058
#define IDC_INPUT_DIGITAL 40062
#define IDC_VALVE_REGULATE 40076
#define IDC_SOLO_POLL_START 40078
#define IDC_SOLO_POLL_STOP 40079
#define IDC_KIND_FLOW 40080
#define IDC_KIND_PRESSURE 40081
#define IDC_NETWORK 40082
#define IDC_PROTO_KORMAST 40083
#define IDC_PROTO_MODBUS 40084

/* Main window children */
#define IDW_LOG_LIST 10001

/* Controls shared by several dialogs */
#define IDX_EDIT 1000
#define IDX_LIST 1001
#define IDX_BUTTON_1087 1087
#define IDX_PORT_COMBO 1191
#define IDX_PORT_OPEN 1156
#define IDX_PORT_CLOSE 1157
#define IDX_PORT_TEXT 1158
#define IDX_LINK_BUTTON 1073
#define IDX_COMBO_1231 1231
#define IDX_STATIC_1211 1211

/* Network formation dialog 122 */
#define IDX_NET_RESULT 1235
#define IDX_NET_CHECK 1210
#define IDX_NET_PROGRESS 1236
#define IDX_NET_LINE0 1277 /* regnet9: 1277..1285 */

/* Regulator setup dialog 114 */
#define IDX_SETUP_QUERY 1210
#define IDX_SETUP_LINK 1075
#define IDX_SETUP_CHANNEL 1229
#define IDX_SETUP_SERIAL 1077
#define IDX_SETUP_MODE 1080
#define IDX_SETUP_INPUT 1082
#define IDX_SETUP_NEWNET 1169
#define IDX_SETUP_STATE 1202
#define IDX_SETUP_MEM_OFF 1233
#define IDX_SETUP_MEM_ON 1234
#define IDX_SETUP_FIRMWARE 1302

/* Channel monitor 130 */
#define IDX_MON_CHANNEL 1262
#define IDX_MON_FAMILY 1263
#define IDX_MON_SERIAL 1264
#define IDX_MON_MODE 1265
#define IDX_MON_VALVE 1266
#define IDX_MON_INPUT 1267
#define IDX_MON_ICON_A 1273
#define IDX_MON_ICON_B 1274

/* regsolo zero-offset dialogs 111 and 130 */
#define IDX_SOLO_OUTPUT 1044
#define IDX_SOLO_ZERO_BUTTON 1038

#endif

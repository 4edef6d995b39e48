// The one id vocabulary of the three programs: menus, accelerators, dialog
// templates, their controls, icons, the bitmap and the strings. The resource
// scripts and the programs' logic both include this file, so the logic names
// no id the resources lack. Plain #defines, nothing of Win32, so that the
// resource compiler reads it as well.
//
// Dialogs that share a group of controls (the port group of 114 and 122) share
// its names; otherwise each dialog names its own controls, even where two
// dialogs use the same number for different things.
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
#define IDD_SOLO_ZERO 111        /* regsolo: zero offset of devices of format 6 and later */
#define IDD_SETUP 114            /* regulator setup; regsolo: the connection dialog */
#define IDD_NETWORK 122
#define IDD_MONITOR 130          /* network programs: the channel monitor */
#define IDD_SOLO_ZERO_OUTPUT 130 /* regsolo: the zero setting of older devices */

/* Menu commands */
#define IDC_EXIT 258
#define IDC_ABOUT 260
#define IDC_MODE_MEASURE 262
#define IDC_SHOW_MONITOR 836 /* network programs: inserted into the menu bar, in no resource */
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

/* Accelerator commands: Shift+PgUp, Shift+PgDn, Shift+F1 (no menu item) */
#define IDC_SHIFT_PGUP 256
#define IDC_SHIFT_PGDN 257
#define IDC_SHIFT_F1 261

/* Ids regnet5 greys at start that no menu of the three programs carries, nor
   any other resource (leftovers of an older menu of the maker's): greying an
   absent item leaves the menu as it is. Named here so that the start-up list
   stays what it has always been and no code uses them unawares. */
#define IDC_NET5_ABSENT_263 263
#define IDC_NET5_ABSENT_40031 40031

/* Main window children */
#define IDW_LOG_LIST 10001 /* the exchange log list box */

/* The port group of dialogs 114 and 122 */
#define IDX_PORT_LIST 1191
#define IDX_PORT_OPEN 1156  /* "Открыть порт " */
#define IDX_PORT_CLOSE 1157 /* "Закрыть порт " */
#define IDX_PORT_STATE 1158

/* Network formation dialog 122 */
#define IDX_NET_CHANNEL_LIST 1231
#define IDX_NET_ADDRESS 1000
#define IDX_NET_REGISTER 1073 /* "Установить связь" */
#define IDX_NET_RESULT 1235
#define IDX_NET_CHECK 1210 /* "Проверка связи" */
#define IDX_NET_PROGRESS 1236
#define IDX_NET_SAVE 1087 /* "Запомнить кофигурацию" */
/* Its line of each channel: regnet9 */
#define IDX_NET9_LINE_0 1277
#define IDX_NET9_LINE_1 1278
#define IDX_NET9_LINE_2 1279
#define IDX_NET9_LINE_3 1280
#define IDX_NET9_LINE_4 1281
#define IDX_NET9_LINE_5 1282
#define IDX_NET9_LINE_6 1283
#define IDX_NET9_LINE_7 1284
#define IDX_NET9_LINE_8 1285
/* regnet5 */
#define IDX_NET5_LINE_0 1211
#define IDX_NET5_LINE_1 1215
#define IDX_NET5_LINE_2 1216
#define IDX_NET5_LINE_3 1217
#define IDX_NET5_LINE_4 1218

/* Regulator setup dialog 114, and regsolo's connection dialog 114 (the same
   controls, without the query button, the channel caption and the firmware) */
#define IDX_SETUP_NET 1000   /* network address of the channel */
#define IDX_SETUP_QUERY 1210 /* "Запрос" */
#define IDX_SETUP_LINK 1073  /* "Установить связь" */
#define IDX_SETUP_LINK_STATE 1075
#define IDX_SETUP_SERIAL 1077
#define IDX_SETUP_MODE 1080
#define IDX_SETUP_INPUT 1082
#define IDX_SETUP_NEWNET 1169 /* new network address */
#define IDX_SETUP_CHANGE 1087 /* "Изменить" */
#define IDX_SETUP_STATE 1202  /* "Авария" / "Норма" */
#define IDX_SETUP_CAPTION 1211 /* "Номер КВЛ" / "Номер ВПЗ" */
#define IDX_SETUP_CHANNEL 1229 /* channel number, then the chosen speed */
#define IDX_SETUP_SPEED_LIST 1231
#define IDX_SETUP_MEM_OFF 1233  /* "Нет" */
#define IDX_SETUP_MEM_ON 1234   /* "Запомнить " */
#define IDX_SETUP_FIRMWARE 1302 /* regnet9 only */

/* Setpoint dialog 108 */
#define IDX_SETPOINT_EDIT 1000    /* a value in per cent */
#define IDX_SETPOINT_PRESETS 1001 /* 0% .. 100% */
#define IDX_SETPOINT_SEND 1087    /* "Ввести" */
#define IDX_SETPOINT_CHANNEL 1211 /* network programs: the channel it was opened for */

/* Channel monitor 130 */
#define IDX_MON_CHANNEL 1262 /* "Ак.кан.№<n>," */
#define IDX_MON_FAMILY 1263  /* "КВЛ" / "ВПЗ" */
#define IDX_MON_SERIAL 1264  /* "№<serial>," */
#define IDX_MON_MODE 1265
#define IDX_MON_VALVE 1266
#define IDX_MON_INPUT 1267
#define IDX_MON_ICON_A 1273 /* the activity indicator, first picture */
#define IDX_MON_ICON_B 1274 /* second picture */
/* Row n of each channel: device number, setpoint, output */
#define IDX_MON_NUMBER_0 1245
#define IDX_MON_NUMBER_1 1246
#define IDX_MON_NUMBER_2 1247
#define IDX_MON_NUMBER_3 1250
#define IDX_MON_NUMBER_4 1253
#define IDX_MON_NUMBER_5 1275
#define IDX_MON_NUMBER_6 1284
#define IDX_MON_NUMBER_7 1289
#define IDX_MON_NUMBER_8 1294
#define IDX_MON_SETPOINT_0 1239
#define IDX_MON_SETPOINT_1 1240
#define IDX_MON_SETPOINT_2 1241
#define IDX_MON_SETPOINT_3 1248
#define IDX_MON_SETPOINT_4 1251
#define IDX_MON_SETPOINT_5 1271
#define IDX_MON_SETPOINT_6 1278
#define IDX_MON_SETPOINT_7 1287
#define IDX_MON_SETPOINT_8 1292
#define IDX_MON_OUTPUT_0 1242
#define IDX_MON_OUTPUT_1 1243
#define IDX_MON_OUTPUT_2 1244
#define IDX_MON_OUTPUT_3 1249
#define IDX_MON_OUTPUT_4 1252
#define IDX_MON_OUTPUT_5 1272
#define IDX_MON_OUTPUT_6 1283
#define IDX_MON_OUTPUT_7 1288
#define IDX_MON_OUTPUT_8 1293
/* The radio button choosing the active channel: regnet9 */
#define IDX_MON9_RADIO_0 1286
#define IDX_MON9_RADIO_1 1291
#define IDX_MON9_RADIO_2 1233
#define IDX_MON9_RADIO_3 1296
#define IDX_MON9_RADIO_4 1297
#define IDX_MON9_RADIO_5 1298
#define IDX_MON9_RADIO_6 1299
#define IDX_MON9_RADIO_7 1300
#define IDX_MON9_RADIO_8 1301
/* regnet5, and its deviation column */
#define IDX_MON5_RADIO_0 1156
#define IDX_MON5_RADIO_1 1157
#define IDX_MON5_RADIO_2 1233
#define IDX_MON5_RADIO_3 1234
#define IDX_MON5_RADIO_4 1261
#define IDX_MON5_DEVIATION_0 1254
#define IDX_MON5_DEVIATION_1 1255
#define IDX_MON5_DEVIATION_2 1256
#define IDX_MON5_DEVIATION_3 1257
#define IDX_MON5_DEVIATION_4 1258

/* regsolo's zero-offset dialogs 111 and 130 */
#define IDX_SOLO_OFFSET 1000 /* 111 only */
#define IDX_SOLO_OUTPUT 1044
#define IDX_SOLO_ZERO_BUTTON 1038 /* "Кнопка '0'" */

#endif

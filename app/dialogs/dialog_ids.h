#pragma once
// Resource and control IDs of OPCLumbra's dialogs. Shared by the C++ code and
// dialogs.rc, hence plain #defines. The dialogs own the range 1000-1999; the
// main window uses IDs outside it.

#define IDD_OK_RIGHT 1000
#define IDC_OK_RIGHT_BEVEL 1001

#define IDD_MANAGER_EDITOR 1100
#define IDC_MANAGER_BEVEL 1101
#define IDC_CLASS_ID_LABEL 1102
#define IDC_CLASS_ID 1103
#define IDC_PROG_ID_LABEL 1104
#define IDC_PROG_ID 1105
#define IDC_DESCRIPTION_LABEL 1106
#define IDC_DESCRIPTION 1107
#define IDC_UPDATE_RATE_LABEL 1108
#define IDC_UPDATE_RATE 1109
#define IDC_UPDATE_RATE_SPIN 1110
#define IDC_UPDATE_RATE_UNIT 1111

#define IDD_TAG_EDITOR 1200
#define IDC_TAG_BEVEL 1201
#define IDC_NAME_LABEL 1202
#define IDC_NAME 1203
#define IDC_TAG_TYPE_LABEL 1204
#define IDC_BRANCH 1205
#define IDC_LEAF 1206
#define IDC_DATATYPE_LABEL 1207
#define IDC_DATATYPE 1208
#define IDC_INIT_VALUE_LABEL 1209
#define IDC_INIT_VALUE 1210

#define IDD_PASSWORD 1300
#define IDC_PASSWORD_LABEL 1301
#define IDC_PASSWORD 1302

#define IDD_ABOUT 1400
#define IDC_ABOUT_GROUP 1401
#define IDC_ABOUT_PRODUCT 1402
#define IDC_ABOUT_MAKER 1403
#define IDC_ABOUT_WEB 1404

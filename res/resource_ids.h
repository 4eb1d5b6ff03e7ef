// Resource and control ids shared by the resource script and the code.
#pragma once

#define IDI_VOPA 102
#define IDD_OPTIONS 103

#define IDC_DESTINATION 1000
#define IDC_BROWSE 1001
#define IDC_START_MENU 1002
#define IDC_DESKTOP 1003
#define IDC_SEND_TO 1004
#define IDC_ASSOC_LZH 1005
#define IDC_ASSOC_ZIP 1006
#define IDC_VIEW_VERB 1007
#define IDC_ASSOC_CAB 1008
#define IDC_ASSOC_TGZ 1009
#define IDC_ASSOC_TAR 1010
#define IDC_ASSOC_GZ 1011
#define IDC_ASSOC_TBZ 1012
#define IDC_ASSOC_BZ2 1013
#define IDC_ASSOC_RAR 1014
#define IDC_COMPRESS_MENU 1015
#define IDC_ASSOC_7Z 1016
#define IDC_ABORT 1017
#define IDC_DRAG_DROP 1018

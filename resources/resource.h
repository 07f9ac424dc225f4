// Resource, control and command identifiers. Shared by the resource script and the code.
#pragma once

#define IDM_ABOUT 0x0010
#define IDD_ABOUT 100
#define IDS_ABOUT_ITEM 101
#define IDD_VIEWER 102
#define IDI_APP 128
#define IDR_CONTEXT_MENU 130
#define IDC_PICTURE 1000
#define IDC_ABOUT_ICON 1001
#define IDC_ABOUT_TEXT 1002

#define ID_FULLSCREEN 32776
#define ID_DELETE 32777
#define ID_NEXT 32778
#define ID_PREVIOUS 32779
#define ID_ZOOM_IN 32780
#define ID_ZOOM_OUT 32781
#define ID_ROTATE_LEFT 32782
#define ID_ROTATE_RIGHT 32783
#define ID_OPEN_WITH 32784
#define ID_SLIDESHOW 32785
#define ID_BACKGROUND 32786
#define ID_PROPERTIES 32792
#define ID_WEBSITE 32795
#define ID_PRINT 32796

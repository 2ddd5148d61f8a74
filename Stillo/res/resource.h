// Identifiers of the program's resources: dialogs, controls, commands, menus, icons, bitmaps,
// strings. Numbers are fixed; tests and the dialog templates find controls by them.
#pragma once

// ---- framework ids ----------------------------------------------------------------------------
#define IDOK 1
#define IDCANCEL 2
#define IDC_STATIC (-1)
#define ID_FILE_SAVE_AS 57603
#define ID_APP_ABOUT 57664
#define ID_APP_EXIT 57665
#define AFX_IDW_PANE_FIRST 59648
#define AFX_IDW_STATUS_BAR 59393
#define ID_INDICATOR_CAPS 59137
#define ID_INDICATOR_NUM 59138
#define ID_INDICATOR_SCRL 59139
#define AFX_IDS_IDLEMESSAGE 57345

// ---- dialogs, menu, icons, bitmaps ------------------------------------------------------------
#define IDD_ABOUTBOX 100
#define IDB_SPLASH 102
#define IDR_MAINFRAME 128 // menu, application icon and title string
#define IDD_STILLO_FORM 130
#define IDI_SNAPIT_IN 131
#define IDI_SNAPIT_OUT 132
#define IDI_STOP_IN 133
#define IDI_STOP_OUT 134
#define IDI_PAUSE_IN 135
#define IDI_PAUSE_OUT 136
#define IDI_PLAY_IN 137
#define IDI_PLAY_OUT 138
#define IDI_PLAYBACK_IN 139
#define IDI_PLAYBACK_OUT 140
#define IDI_PLAYFAST_IN 141
#define IDI_PLAYFAST_OUT 142
#define IDI_REWINDFAST_IN 143
#define IDI_REWINDFAST_OUT 144
#define IDI_STEPFWD_IN 145
#define IDI_STEPFWD_OUT 146
#define IDI_STEPBACK_IN 147
#define IDI_STEPBACK_OUT 148
#define IDB_LOGO 152
#define IDD_IMAGE_TRIM 153
#define IDD_DEINTERLACING 154
#define IDD_OUTPUT_SETTINGS 155

// ---- controls of the work form 130 ------------------------------------------------------------
#define IDC_FILENAME 1001
#define IDC_CURRENT_FRAME 1003
#define IDC_START_FRAME 1004
#define IDC_END_FRAME 1005
#define IDC_SET_START 1006
#define IDC_SET_END 1007
#define IDC_SNAPIT 1008
#define IDC_STOP 1009
#define IDC_FRAME_PICTURE 1010
#define IDC_RESULTS_PICTURE 1011
#define IDC_MOSAIC_PICTURE 1012
#define IDC_FRAME_STEP 1013
#define IDC_STEP_SPIN 1014
#define IDC_EDGES 1015
#define IDC_REGIONS 1016
#define IDC_FRAME_SLIDER 1017
#define IDC_PAUSE 1018
#define IDC_STEP_FORWARDS 1019
#define IDC_STEP_BACKWARDS 1020
#define IDC_PLAY_BACKWARDS 1021
#define IDC_PLAY 1022
#define IDC_PLAY_FASTER 1023
#define IDC_REWIND_FASTER 1024
#define IDC_LOGO 1026
#define IDC_MOSAIC_VSCROLL 1027
#define IDC_MOSAIC_HSCROLL 1028
#define IDC_ZOOM_SPIN 1029
#define IDC_ZOOM 1030
#define IDC_HIDDEN_CANCEL 1037
#define IDC_BLEND 1039
#define IDC_THICK 1042
#define IDC_THIN 1043

// ---- controls of the settings dialogs 153, 154, 155 -------------------------------------------
#define IDC_TRIM_TOP 1031
#define IDC_TRIM_TOP_EDIT 1032
#define IDC_TRIM_BOTTOM 1033
#define IDC_TRIM_BOTTOM_EDIT 1034
#define IDC_TRIM_LEFT 1035
#define IDC_TRIM_LEFT_EDIT 1036
#define IDC_TRIM_RIGHT 1037
#define IDC_TRIM_RIGHT_EDIT 1038
#define IDC_DESTRUCTIVE_DEINTERLACING 1033
#define IDC_NO_DEINTERLACING 1034
#define IDC_QUALITY 1039
#define IDC_QUALITY_EDIT 1040

// ---- commands of menu 128 ---------------------------------------------------------------------
#define ID_FILE_LOADVIDEO 32771
#define ID_SETTINGS_IMAGETRIM 32773
#define ID_SETTINGS_DEINTERLACING 32774
#define ID_SETTINGS_JPEGQUALITY 32776
#define ID_HELP_MANUAL 32778

// ---- strings ----------------------------------------------------------------------------------
// Title (string 128), status-bar texts and the menu items' prompts.
#define IDS_TITLE "Stillo"
#define IDS_READY "Ready"
#define IDS_INDICATOR_CAPS "CAP"
#define IDS_INDICATOR_NUM "NUM"
#define IDS_INDICATOR_SCRL "SCRL"
#define IDS_PROMPT_LOADVIDEO "Load New Video File"
#define IDS_PROMPT_SAVERESULT "Save The Mosaic Result"
#define IDS_PROMPT_EXIT "Quit the application"
#define IDS_PROMPT_IMAGETRIM "Set The Source Image Trim Size"
#define IDS_PROMPT_DEINTERLACING "Enable/Disable Destructive Deinterlacing"
#define IDS_PROMPT_JPEGQUALITY "Set the output Jpeg Quality Factor"
#define IDS_PROMPT_MANUAL "Load Manual Into Internet Explorer"
#define IDS_PROMPT_ABOUT "Display program information, version number and copyright"
// Menu item texts.
#define IDS_MENU_FILE "&File"
#define IDS_MENU_LOADVIDEO "&Load Video"
#define IDS_MENU_SAVERESULT "&Save Result"
#define IDS_MENU_EXIT "E&xit"
#define IDS_MENU_SETTINGS "&Settings"
#define IDS_MENU_IMAGETRIM "Image Trim"
#define IDS_MENU_DEINTERLACING "Deinterlacing"
#define IDS_MENU_JPEGQUALITY "&Jpeg Quality"
#define IDS_MENU_HELP "&Help"
#define IDS_MENU_MANUAL "&Manual"
#define IDS_MENU_ABOUT "&About Stillo..."
// About box 100.
#define IDS_ABOUT_CAPTION "About Stillo"
#define IDS_ABOUT_VERSION "Stillo Version 1.1"
// Tooltips of the work form's buttons.
#define IDS_TIP_SNAPIT "Start Stillo"
#define IDS_TIP_STOP "Stop Stillo"
#define IDS_TIP_PAUSE "Pause Video"
#define IDS_TIP_PLAY "Play Video"
#define IDS_TIP_PLAYBACK "Play Video Backwards"
#define IDS_TIP_PLAYFAST "Play Faster"
#define IDS_TIP_REWINDFAST "Rewind Faster"
#define IDS_TIP_STEPFWD "Step Forwards"
#define IDS_TIP_STEPBACK "Step Backwards"

// Transparent colour of the logo bitmap 152 (pure green, as 0x00BBGGRR).
#define LOGO_TRANSPARENT_COLOR 0x0000FF00

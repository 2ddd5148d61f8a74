// Identifiers of the program's resources: dialogs, controls, commands, menus, icons, bitmaps,
// strings. Numbers are fixed; tests and the dialog templates find controls by them.
#pragma once

#include <cstdint>

// ---- framework ids ----------------------------------------------------------------------------
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDC_STATIC = -1;
inline constexpr int ID_FILE_SAVE_AS = 57603;
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_APP_EXIT = 57665;
inline constexpr int AFX_IDW_PANE_FIRST = 59648;
inline constexpr int AFX_IDW_STATUS_BAR = 59393;
inline constexpr int ID_INDICATOR_CAPS = 59137;
inline constexpr int ID_INDICATOR_NUM = 59138;
inline constexpr int ID_INDICATOR_SCRL = 59139;
inline constexpr int AFX_IDS_IDLEMESSAGE = 57345;

// ---- dialogs, menu, icons, bitmaps ------------------------------------------------------------
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDB_SPLASH = 102;
inline constexpr int IDR_MAINFRAME = 128; // menu, application icon and title string
inline constexpr int IDD_STILLO_FORM = 130;
inline constexpr int IDI_SNAPIT_IN = 131;
inline constexpr int IDI_SNAPIT_OUT = 132;
inline constexpr int IDI_STOP_IN = 133;
inline constexpr int IDI_STOP_OUT = 134;
inline constexpr int IDI_PAUSE_IN = 135;
inline constexpr int IDI_PAUSE_OUT = 136;
inline constexpr int IDI_PLAY_IN = 137;
inline constexpr int IDI_PLAY_OUT = 138;
inline constexpr int IDI_PLAYBACK_IN = 139;
inline constexpr int IDI_PLAYBACK_OUT = 140;
inline constexpr int IDI_PLAYFAST_IN = 141;
inline constexpr int IDI_PLAYFAST_OUT = 142;
inline constexpr int IDI_REWINDFAST_IN = 143;
inline constexpr int IDI_REWINDFAST_OUT = 144;
inline constexpr int IDI_STEPFWD_IN = 145;
inline constexpr int IDI_STEPFWD_OUT = 146;
inline constexpr int IDI_STEPBACK_IN = 147;
inline constexpr int IDI_STEPBACK_OUT = 148;
inline constexpr int IDB_LOGO = 152;
inline constexpr int IDD_IMAGE_TRIM = 153;
inline constexpr int IDD_DEINTERLACING = 154;
inline constexpr int IDD_OUTPUT_SETTINGS = 155;

// ---- controls of the work form 130 ------------------------------------------------------------
inline constexpr int IDC_FILENAME = 1001;
inline constexpr int IDC_CURRENT_FRAME = 1003;
inline constexpr int IDC_START_FRAME = 1004;
inline constexpr int IDC_END_FRAME = 1005;
inline constexpr int IDC_SET_START = 1006;
inline constexpr int IDC_SET_END = 1007;
inline constexpr int IDC_SNAPIT = 1008;
inline constexpr int IDC_STOP = 1009;
inline constexpr int IDC_FRAME_PICTURE = 1010;
inline constexpr int IDC_RESULTS_PICTURE = 1011;
inline constexpr int IDC_MOSAIC_PICTURE = 1012;
inline constexpr int IDC_FRAME_STEP = 1013;
inline constexpr int IDC_STEP_SPIN = 1014;
inline constexpr int IDC_EDGES = 1015;
inline constexpr int IDC_REGIONS = 1016;
inline constexpr int IDC_FRAME_SLIDER = 1017;
inline constexpr int IDC_PAUSE = 1018;
inline constexpr int IDC_STEP_FORWARDS = 1019;
inline constexpr int IDC_STEP_BACKWARDS = 1020;
inline constexpr int IDC_PLAY_BACKWARDS = 1021;
inline constexpr int IDC_PLAY = 1022;
inline constexpr int IDC_PLAY_FASTER = 1023;
inline constexpr int IDC_REWIND_FASTER = 1024;
inline constexpr int IDC_LOGO = 1026;
inline constexpr int IDC_MOSAIC_VSCROLL = 1027;
inline constexpr int IDC_MOSAIC_HSCROLL = 1028;
inline constexpr int IDC_ZOOM_SPIN = 1029;
inline constexpr int IDC_ZOOM = 1030;
inline constexpr int IDC_HIDDEN_CANCEL = 1037;
inline constexpr int IDC_BLEND = 1039;
inline constexpr int IDC_THICK = 1042;
inline constexpr int IDC_THIN = 1043;

// ---- controls of the settings dialogs 153, 154, 155 -------------------------------------------
inline constexpr int IDC_TRIM_TOP = 1031;
inline constexpr int IDC_TRIM_TOP_EDIT = 1032;
inline constexpr int IDC_TRIM_BOTTOM = 1033;
inline constexpr int IDC_TRIM_BOTTOM_EDIT = 1034;
inline constexpr int IDC_TRIM_LEFT = 1035;
inline constexpr int IDC_TRIM_LEFT_EDIT = 1036;
inline constexpr int IDC_TRIM_RIGHT = 1037;
inline constexpr int IDC_TRIM_RIGHT_EDIT = 1038;
inline constexpr int IDC_DESTRUCTIVE_DEINTERLACING = 1033;
inline constexpr int IDC_NO_DEINTERLACING = 1034;
inline constexpr int IDC_QUALITY = 1039;
inline constexpr int IDC_QUALITY_EDIT = 1040;

// ---- commands of menu 128 ---------------------------------------------------------------------
inline constexpr int ID_FILE_LOADVIDEO = 32771;
inline constexpr int ID_SETTINGS_IMAGETRIM = 32773;
inline constexpr int ID_SETTINGS_DEINTERLACING = 32774;
inline constexpr int ID_SETTINGS_JPEGQUALITY = 32776;
inline constexpr int ID_HELP_MANUAL = 32778;

// ---- strings ----------------------------------------------------------------------------------
// Title (string 128), status-bar texts and the menu items' prompts.
inline constexpr char IDS_TITLE[] = "Stillo";
inline constexpr char IDS_READY[] = "Ready";
inline constexpr char IDS_INDICATOR_CAPS[] = "CAP";
inline constexpr char IDS_INDICATOR_NUM[] = "NUM";
inline constexpr char IDS_INDICATOR_SCRL[] = "SCRL";
inline constexpr char IDS_PROMPT_LOADVIDEO[] = "Load New Video File";
inline constexpr char IDS_PROMPT_SAVERESULT[] = "Save The Mosaic Result";
inline constexpr char IDS_PROMPT_EXIT[] = "Quit the application";
inline constexpr char IDS_PROMPT_IMAGETRIM[] = "Set The Source Image Trim Size";
inline constexpr char IDS_PROMPT_DEINTERLACING[] = "Enable/Disable Destructive Deinterlacing";
inline constexpr char IDS_PROMPT_JPEGQUALITY[] = "Set the output Jpeg Quality Factor";
inline constexpr char IDS_PROMPT_MANUAL[] = "Load Manual Into Internet Explorer";
inline constexpr char IDS_PROMPT_ABOUT[] =
    "Display program information, version number and copyright";
// Menu item texts.
inline constexpr char IDS_MENU_FILE[] = "&File";
inline constexpr char IDS_MENU_LOADVIDEO[] = "&Load Video";
inline constexpr char IDS_MENU_SAVERESULT[] = "&Save Result";
inline constexpr char IDS_MENU_EXIT[] = "E&xit";
inline constexpr char IDS_MENU_SETTINGS[] = "&Settings";
inline constexpr char IDS_MENU_IMAGETRIM[] = "Image Trim";
inline constexpr char IDS_MENU_DEINTERLACING[] = "Deinterlacing";
inline constexpr char IDS_MENU_JPEGQUALITY[] = "&Jpeg Quality";
inline constexpr char IDS_MENU_HELP[] = "&Help";
inline constexpr char IDS_MENU_MANUAL[] = "&Manual";
inline constexpr char IDS_MENU_ABOUT[] = "&About Stillo...";
// About box 100.
inline constexpr char IDS_ABOUT_CAPTION[] = "About Stillo";
inline constexpr char IDS_ABOUT_VERSION[] = "Stillo Version 1.1";
// Tooltips of the work form's buttons.
inline constexpr char IDS_TIP_SNAPIT[] = "Start Stillo";
inline constexpr char IDS_TIP_STOP[] = "Stop Stillo";
inline constexpr char IDS_TIP_PAUSE[] = "Pause Video";
inline constexpr char IDS_TIP_PLAY[] = "Play Video";
inline constexpr char IDS_TIP_PLAYBACK[] = "Play Video Backwards";
inline constexpr char IDS_TIP_PLAYFAST[] = "Play Faster";
inline constexpr char IDS_TIP_REWINDFAST[] = "Rewind Faster";
inline constexpr char IDS_TIP_STEPFWD[] = "Step Forwards";
inline constexpr char IDS_TIP_STEPBACK[] = "Step Backwards";

// Transparent colour of the logo bitmap 152 (pure green, as 0x00BBGGRR).
inline constexpr uint32_t LOGO_TRANSPARENT_COLOR = 0x0000FF00;

#pragma once
// Resource and control ids of the wizard pages. Plain defines: the dialog resources
// include this file too, and the resource compiler reads only the preprocessor.

// Bitmaps and the icon.
#define ENGINE_ICON 1
#define SIDE_PICTURE_BITMAP 2    // 212 x 424, shown when the package brings no side picture
#define BANNER_PICTURE_BITMAP 3  // 600 x 64, the banner's default

// Controls shared by the pages.
#define PAGE_ETCHED_LINE 66
#define PAGE_OK 1001
#define PAGE_CANCEL 1003
#define PAGE_TEXT_VIEW 1005  // licence and read-me: read-only multi-line edit
#define PAGE_PROGRESS_BAR 1007
#define PAGE_PROMPT 1009
#define PAGE_STATUS 1011
#define PAGE_BROWSE 1013
#define PAGE_EDIT 1015  // directory and Start-menu folder
#define PAGE_LANGUAGE_LIST 1017
#define PAGE_PASSWORD_EDIT 1019
#define PAGE_SIDE_PICTURE 1021
#define PAGE_VIEW_FILE 1023
#define PAGE_LAUNCH_PROGRAM 1025
#define PAGE_VIEW_LOG 1027
#define PAGE_OPEN_FILE 1029
#define PAGE_BANNER 1032
#define PAGE_BANNER_PRODUCT 1034
#define PAGE_BANNER_TITLE 1035
#define PAGE_SPACE_REQUIRED 1036
#define PAGE_SPACE_AVAILABLE 1037

// The crash report's dialog.
#define CRASH_INFORM_US 2700
#define CRASH_EXIT 2701
#define CRASH_APOLOGY 2702
#define CRASH_REPORT 2703
#define CRASH_COPY_REPORT 2704
#define CRASH_EMAIL 2705
#define CRASH_EMAIL_PROMPT 2706
#define CRASH_COMMENTS 2707
#define CRASH_COMMENTS_PROMPT 2708

// Command ids of menus, toolbar and context menus. The numbers are fixed: language files name
// menu items and tooltips by them ("M57601").
#pragma once

namespace tovra::cmd {

inline constexpr int kFileNew = 57600;
inline constexpr int kFileOpen = 57601;
inline constexpr int kFileSave = 57603;
inline constexpr int kExportScorm = 32860;  // File > Export > learning-platform package
inline constexpr int kExportVideo = 32861;  // File > Export > lecture video
inline constexpr int kFileMruFirst = 57616;  // recent-file placeholder and first entry
inline constexpr int kFileMruLast = 57619;   // four entries
inline constexpr int kAppAbout = 57664;
inline constexpr int kAppExit = 57665;
inline constexpr int kViewToolbar = 59392;
inline constexpr int kViewStatusBar = 59393;

inline constexpr int kNextPage = 32771;
inline constexpr int kPrevPage = 32772;
inline constexpr int kRecordStart = 32774;
inline constexpr int kRecordPause = 32776;
inline constexpr int kRecordStop = 32777;
inline constexpr int kShowMode = 32778;
inline constexpr int kPen = 32779;
inline constexpr int kSetBandwidth = 32783;
inline constexpr int kEndShow = 32785;
inline constexpr int kSetTitle = 32808;
inline constexpr int kVideoFormat = 32809;
inline constexpr int kEditHtml = 32810;
inline constexpr int kAddPage = 32811;
inline constexpr int kDeletePage = 32812;
inline constexpr int kBrowse = 32813;
inline constexpr int kLanguageChinese = 32816;
inline constexpr int kLanguageEnglish = 32817;
inline constexpr int kVideoSourceFirst = 32819;
inline constexpr int kVideoSourceLast = 32831;
inline constexpr int kPenColourFirst = 32832;
inline constexpr int kPenColourLast = 32847;

}  // namespace tovra::cmd

#pragma once
#include <QString>

// Numbered resources of both programs; the files are compiled in under ":/res/".
enum ResourceId
{
    IDR_MAINFRAME = 128,
    IDS_ALERT_TITLE = 129,
    IDI_BTN_CLOSE = 138,
    IDI_BTN_MIN = 139,
    IDI_BTN_MAX = 140,
    IDI_BTN_RESTORE = 141,
    IDI_BTN_CLOSE_HOVER = 142,
    IDI_BTN_MIN_HOVER = 143,
    IDI_BTN_MAX_HOVER = 144,
    IDI_BTN_RESTORE_HOVER = 145,
    IDD_MAIN_DLG = 147,
    IDD_CID_DLG = 148,
    IDD_CID_MANAGER = 149,
    IDD_NOTI_DLG = 150,
    IDI_TRAY_LOGIN = 151,
    IDI_TRAY_LOGOUT = 152,
    ID_MENU_LOGOUT = 153,
    ID_MENU_EXIT = 154,
    IDR_TRAY_MENU = 155,
};

inline QString ResourcePath(int id)
{
    return QStringLiteral(":/res/icons/%1.svg").arg(id);
}

// The launcher's pictures, compiled in under ":/res/launcher/".
enum LauncherResourceId
{
    IDI_START_ICON = 128,    // the launcher's icon
    IDB_START_BACK = 129,    // the updater window's background, 324 x 206
    IDB_START_CANCEL = 130,  // the cancel button's four frames, 244 x 21, magenta transparent
    IDD_ORVANTASTART_DIALOG = 102,
};

inline QString LauncherResourcePath(int id)
{
    return QStringLiteral(":/res/launcher/%1.svg").arg(id);
}

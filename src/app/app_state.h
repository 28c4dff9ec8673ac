#pragma once
// The shared state of one run. One object, created in main and passed by
// reference to every window; the fields keep the names the windows use.
#include <QByteArray>
#include <QFont>
#include <QImage>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

#include "platform/fonts.h"

class TfrmMain;
class TfrmSub;
class TdlgPxSerch;
class TDlgPrint;
class TfrmSSTTitl;

struct AppState {
    // Windows (owned by main; DlgPrint and the version window are made on demand).
    TfrmMain* frmMain = nullptr;
    TfrmSub* frmSub = nullptr;
    TdlgPxSerch* dlgPxSerch = nullptr;
    TfrmSSTTitl* frmSSTTitl = nullptr;

    // The show list. Full path of entry k:
    // FolderList[FolderIndexList[k].toInt()] + separator + FileList[k].
    QStringList FileList;
    QStringList FolderIndexList;
    QStringList FolderList;
    QStringList SortList;  // work list while ordering and searching
    int CurrentIndex = 0;  // entry the next advance shows

    QString ChosenFolder;
    QString HelpFilePath;

    bool ViewerReady = false;
    bool SuppressJumpChange = false;
    bool SearchSortsByDate = false;
    bool FolderWindowShown = false;
    uint8_t LastSortMode = 0;
    bool UseGoogleMap = false;
    bool MovieOpen = false;
    bool ExternalPlayerStarted = false;

    // Metadata of the shown picture.
    QByteArray PictureStream;
    bool ExifLittleEndian = false;
    int PictureOrientation = 0;
    QString GpsLatitudeText;
    QString GpsLongitudeText;
    QStringList InfoLines;
    QImage UnrotatedPicture;

    // Search conditions and the picture under test.
    std::array<QString, 10> SearchWords;
    QString SearchDateText;
    QString MatchShotDate;

    // Printing: the last choices of the print dialog and the printer font,
    // kept in memory for the run. PrintTextCode: 0 no text, 1-3 over the
    // picture, 17-19 below it; PrintScaleMode: 0 pixel for pixel, 1 fit, 2 fill.
    int PrintTextCode = 19;
    uint8_t PrintScaleMode = 1;
    QFont PrinterFont{platform::kUiFontName, 9};

    // Full path of entry k of the show list.
    QString fullPath(int k) const;
    // Index of the picture on screen (CurrentIndex - 1, or the last entry
    // when CurrentIndex is 0); -1 for an empty list.
    int shownIndex() const;
};

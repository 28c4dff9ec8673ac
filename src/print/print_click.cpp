// The viewer's print button.
#include <QTimer>

#include "print/tdlg_print.h"
#include "viewer/tfrm_main.h"

void TfrmMain::btPrintClick()
{
    // The show stands still while the dialog is open.
    TimDsp->stop();
    auto* DlgPrint = new TDlgPrint(state_, this);
    DlgPrint->setAttribute(Qt::WA_DeleteOnClose);
    DlgPrint->exec();
    if (timerModeOn())
        TimDsp->start();
}

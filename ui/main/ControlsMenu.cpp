#include "ControlsMenu.h"

#include "Prompts.h"
#include "Unit_OXS.h"
#include "Unit_Standby.h"
#include "Unit_Sync_Time.h"

#include <QCursor>

TControlsMenu::TControlsMenu(TForm_OXS &form) : TWindowPage(form) {}

void TControlsMenu::Bind() {
    TForm_OXS &f = Form;
    // A click shows the marks of the stored value again at once: the new mark waits for the scaler's reply.
    auto item = [this](QAction *action, auto handler, auto show) {
        connect(action, &QAction::triggered, this, [this, handler, show] {
            handler();
            (this->*show)();
        });
    };
    item(
        f.MenuPullDownAuto, [this] { MenuPullDownAutoClick(1); }, &TControlsMenu::showPullDown);
    item(
        f.MenuPullDownOff, [this] { MenuPullDownAutoClick(0); }, &TControlsMenu::showPullDown);
    item(
        f.MenuBlackDelayShort, [this] { MenuBlackDelayClick(0); }, &TControlsMenu::showBlackDelay);
    item(
        f.MenuBlackDelayMedium, [this] { MenuBlackDelayClick(1); }, &TControlsMenu::showBlackDelay);
    item(
        f.MenuBlackDelayLong, [this] { MenuBlackDelayClick(2); }, &TControlsMenu::showBlackDelay);
    item(
        f.MenuStandbyOn, [this] { MenuStandbyOnClick(); }, &TControlsMenu::showStandby);
    item(
        f.MenuStandbyOff, [this] { MenuStandbyOffClick(); }, &TControlsMenu::showStandby);
    item(
        f.MenuLockAll, [this] { MenuLockClick(3); }, &TControlsMenu::showLock);
    item(
        f.MenuLockMenu, [this] { MenuLockClick(1); }, &TControlsMenu::showLock);
    item(
        f.MenuLockInput, [this] { MenuLockClick(2); }, &TControlsMenu::showLock);
    connect(f.MenuBlackDelayVar, &QAction::triggered, this, &TControlsMenu::MenuBlackDelayVarClick);
    connect(f.MenuStandbyTimer, &QAction::triggered, this, &TControlsMenu::MenuStandbyTimerClick);
    connect(f.MenuEraseAllMemories, &QAction::triggered, this, &TControlsMenu::MenuEraseAllMemoriesClick);
    connect(f.MenuDefaultValues, &QAction::triggered, this, &TControlsMenu::MenuDefaultValuesClick);

    bindEvent(Orlan_d.OnEPDchange, &TControlsMenu::Orlan_dEPDchange);
    bindEvent(Orlan_d.OnOSYNCTIMEchange, &TControlsMenu::Orlan_dOSYNCTIMEchange);
    bindEvent(Orlan_d.OnSTANDBYchange, &TControlsMenu::Orlan_dSTANDBYchange);
    bindEvent(Orlan_d.OnLOCKchange, &TControlsMenu::Orlan_dLOCKchange);
}

void TControlsMenu::MenuPullDownAutoClick(int tag) {
    Orlan_d.SetEPD(tag != 0);
}

void TControlsMenu::MenuBlackDelayClick(int tag) {
    Orlan_d.SetOSYNCTIME(static_cast<uint32_t>(tag));
}

// The black delay window opens where the pointer is, kept within the main window so it can be seen.
void TControlsMenu::MenuBlackDelayVarClick() {
    TForm_Sync_Time &dialog = *Form.Form_Sync_Time;
    const QWidget &client = *Form.ClientArea;
    const QPoint at = client.mapFromGlobal(QCursor::pos());
    const int x = qBound(0, at.x(), qMax(0, client.width() - dialog.width()));
    const int y = qBound(0, at.y() - 8, qMax(0, client.height() - dialog.height()));
    dialog.move(x, y);
    dialog.show();
    dialog.raise();
    dialog.Edit_Sync_Time->resize(dialog.Edit_Sync_Time->width(), 25);
}

void TControlsMenu::MenuStandbyOnClick() {
    Orlan_d.SetSTANDBY(true);
}

void TControlsMenu::MenuStandbyOffClick() {
    Orlan_d.SetSTANDBY(false);
}

void TControlsMenu::MenuStandbyTimerClick() {
    TForm_Standby &dialog = *Form.Form_Standby;
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
}

uint32_t TControlsMenu::NextLock(uint32_t lock, int tag) {
    switch (tag) {
    case 3:
        return (lock & kLockAll) == kLockAll ? 0 : lock | kLockAll;
    case 1:
        return lock ^ kLockMenu;
    case 2:
        return lock ^ kLockInput;
    default:
        return lock;
    }
}

void TControlsMenu::MenuLockClick(int tag) {
    Orlan_d.SetLOCK(NextLock(Orlan_d.LOCK(), tag));
}

void TControlsMenu::MenuEraseAllMemoriesClick() {
    if (Prompts::instance().confirm(QStringLiteral("Are you sure you want erase all memories ?")) ==
        Prompts::Answer::Ok)
        Orlan_d.SetERAPOS(true);
}

void TControlsMenu::MenuDefaultValuesClick() {
    if (Prompts::instance().confirm(QStringLiteral("Are you sure you want default value ?")) ==
        Prompts::Answer::Ok)
        Orlan_d.SetFRESET(true);
}

void TControlsMenu::showPullDown() {
    Form.MenuPullDownAuto->setChecked(Orlan_d.EPD());
    Form.MenuPullDownOff->setChecked(!Orlan_d.EPD());
}

// Values outside Short, Medium and Long (set from the 0..30 dialog) leave the marks as they are.
void TControlsMenu::showBlackDelay() {
    const uint32_t delay = Orlan_d.OSYNCTIME();
    if (delay > 2) return;
    Form.MenuBlackDelayShort->setChecked(delay == 0);
    Form.MenuBlackDelayMedium->setChecked(delay == 1);
    Form.MenuBlackDelayLong->setChecked(delay == 2);
}

void TControlsMenu::showStandby() {
    Form.MenuStandbyOn->setChecked(Orlan_d.STANDBY());
    Form.MenuStandbyOff->setChecked(!Orlan_d.STANDBY());
}

void TControlsMenu::showLock() {
    const uint32_t lock = Orlan_d.LOCK();
    Form.MenuLockAll->setChecked((lock & kLockAll) == kLockAll);
    Form.MenuLockMenu->setChecked((lock & kLockMenu) != 0);
    Form.MenuLockInput->setChecked((lock & kLockInput) != 0);
}

void TControlsMenu::Orlan_dEPDchange(TOrlan_d *, int32_t) {
    showPullDown();
}

void TControlsMenu::Orlan_dOSYNCTIMEchange(TOrlan_d *, int32_t) {
    Form.Form_Sync_Time->Edit_Sync_Time->setText(QString::number(Orlan_d.OSYNCTIME()));
    showBlackDelay();
}

void TControlsMenu::Orlan_dSTANDBYchange(TOrlan_d *, int32_t) {
    showStandby();
}

void TControlsMenu::Orlan_dLOCKchange(TOrlan_d *, int32_t) {
    showLock();
}

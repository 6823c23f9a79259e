#pragma once

#include "WindowPage.h"

class QAction;

// The Controls menu's scaler settings: 2:2 pull-down, black delay, standby, front panel key locking, and the
// two destructive commands behind a confirmation. Every item writes one variable; its check marks follow the
// scaler's replies only, so an item the operator picks is not checked until the scaler confirms it.
class TControlsMenu : public TWindowPage {
    Q_OBJECT
  public:
    explicit TControlsMenu(TForm_OXS &form);
    void Bind() override;

    void MenuPullDownAutoClick(int tag);
    void MenuBlackDelayClick(int tag);
    void MenuBlackDelayVarClick();
    void MenuStandbyOnClick();
    void MenuStandbyOffClick();
    void MenuStandbyTimerClick();
    void MenuLockClick(int tag);
    void MenuEraseAllMemoriesClick();
    void MenuDefaultValuesClick();

    void Orlan_dEPDchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dOSYNCTIMEchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dSTANDBYchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dLOCKchange(TOrlan_d *Sender, int32_t nroOcto);

    // The key locking bits.
    static constexpr uint32_t kLockMenu = 1;
    static constexpr uint32_t kLockInput = 2;
    static constexpr uint32_t kLockAll = kLockMenu | kLockInput;
    // What a key locking item writes, given the stored value and the item's tag (3 All, 1 Menu, 2 Input).
    static uint32_t NextLock(uint32_t lock, int tag);

  private:
    void showPullDown();
    void showBlackDelay();
    void showStandby();
    void showLock();
};

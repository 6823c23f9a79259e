#pragma once

#include "Models.h"
#include "WindowPage.h"

#include <array>

class QToolButton;
class TFrameInput;
class THintBubble;

// The input buttons with Black and Freeze above the pages, and the Input page: one row per input with its
// use, VCR option, signal type and standard, and the input priority. Per-input values are written as the
// pair PCHAN := input, then the variable; their replies update the row of the input PCHAN names.
class TInputPage : public TWindowPage {
    Q_OBJECT
  public:
    explicit TInputPage(TForm_OXS &form);
    void Bind() override;

    void BtnInputClick(int input);
    void BtnBlackClick();
    void BtnFreezeClick();
    // The row's box changed through the operator (mouse, keyboard, accessibility), never from a report.
    void ChkUsedChange(int input);
    void ChkVCRChange(int input);
    void CboSignalTypeChange(int input);
    void CboStandardChange(int input);
    void RdoIPMODEMClick(int position);

    void Orlan_dOBLACKchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dIFRZMchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dPENAchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dPRGBIchange(TOrlan_d *Sender, int32_t nroOcto); // also IPSIGM and IOORM
    void Orlan_dPISTDchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dPPROCchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dIPMODEMchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dTAKEEVAchange(TOrlan_d *Sender, int32_t nroOcto);

    THintBubble &Bubble() const { return *m_bubble; }

  private:
    std::array<TFrameInput *, Models::kMaxInputs> rows() const;
    TFrameInput *row(int input) const; // input 1..5
    std::array<QToolButton *, Models::kMaxInputs> buttons() const;
    // The signal-type list of an input of the model that answers (None without a known model).
    Models::SignalList signalList(int input) const;
    // The inputs a per-input reply is for: PCHAN's, or every input of the model when PCHAN is 0.
    template <class Show> void forReportedInputs(Show show);
    void showSignalType(int input, uint32_t code);
    void showUsed(int input);
    void showVCR(int input);
    void showStandard(int input);
    void showPriority();

    // Which slot of the driver's per-input values each row shows (-1: its own input's, nothing reported).
    enum class Slot { Used, VCR, Standard };
    static std::size_t slotIndex(Slot which, int input);
    int shownSlot(Slot which, int input) const;
    std::array<int, 3 * Models::kMaxInputs> m_shownSlots{};
    void showToggle(QToolButton *button, bool down);
    void refreshViews();

    THintBubble *m_bubble;
};

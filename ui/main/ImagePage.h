#pragma once

#include "FrmScrollbar.h"
#include "WindowPage.h"

#include <array>

class QComboBox;

// The Image page: eight adjustments (position, size, brightness, contrast, colour, hue), four lists
// (aspect ratios, under/overscan, processing) and the Reset and Preset commands. Every control writes one
// device variable; the scaler's reply brings it up to date, and nothing a reply sets is sent back. While the
// operator drags a scroll bar, replies update its edit box but leave the thumb under the pointer.
class TImagePage : public TWindowPage {
    Q_OBJECT
  public:
    using TScrollCode = TFrameScrollBar::TScrollCode;

    explicit TImagePage(TForm_OXS &form);
    void Bind() override;

    // The displayed range the edit boxes accept.
    static constexpr int kShownMin = -128;
    static constexpr int kShownMax = 127;

    // ---- Scroll bars: every scroll notification writes the new position ----
    void FrameScrollHPosScrollBarScroll(TScrollCode code, int position);
    void FrameScrollHSizeScrollBarScroll(TScrollCode code, int position);
    void FrameScrollVPosScrollBarScroll(TScrollCode code, int position);
    void FrameScrollVSizeScrollBarScroll(TScrollCode code, int position);
    void FrameScrollBrightnessScrollBarScroll(TScrollCode code, int position);
    void FrameScrollContrastScrollBarScroll(TScrollCode code, int position);
    void FrameScrollColorScrollBarScroll(TScrollCode code, int position);
    void FrameScrollHueScrollBarScroll(TScrollCode code, int position);

    // ---- Edit boxes: the Enter key writes the entered value (other keys only edit) ----
    void FrameScrollHPosEdtEnter();
    void FrameScrollHSizeEdtEnter();
    void FrameScrollVPosEdtEnter();
    void FrameScrollVSizeEdtEnter();
    void FrameScrollBrightnessEdtEnter();
    void FrameScrollContrastEdtEnter();
    void FrameScrollColorEdtEnter();
    void FrameScrollHueEdtEnter();

    // ---- Lists and buttons ----
    void CboInputAspectRatioChange(int index);
    void CboOutputAspectRatioChange(int index);
    void CboUnderOverscanChange(int index);
    void CboProcessingChange(int index);
    void BtnCenterClick();
    void BtnPicturePresetClick();

    // ---- Driver events ----
    void Orlan_dHPOSchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dHSIZchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dVPOSchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dVSIZchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dBRGTchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dCONTRchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dCOLORchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dHUEchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dIASPchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dOASPchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dOVERchange(TOrlan_d *Sender, int32_t nroOcto);
    void Orlan_dPROCchange(TOrlan_d *Sender, int32_t nroOcto);

  private:
    using ScrollHandler = void (TImagePage::*)(TScrollCode, int);
    using EnterHandler = void (TImagePage::*)();
    using ListHandler = void (TImagePage::*)(int);
    using EventHandler = void (TImagePage::*)(TOrlan_d *, int32_t);

    // One adjustment: its device variable, its frame and its handlers.
    struct Slider {
        int var;
        TFrameScrollBar *frame;
        ScrollHandler scroll;
        EnterHandler enter;
        EventHandler change;
    };
    // One list: the selected position is the device value.
    struct List {
        int var;
        QComboBox *list;
        ListHandler pick;
        EventHandler change;
    };

    const Slider &slider(int var) const;
    const List &list(int var) const;
    void sliderScroll(int var, TScrollCode code, int position);
    void sliderEnter(int var);
    void showSlider(int var);
    void listPick(int var, int index);
    void showList(int var);
    void selectStored(int var);

    std::array<Slider, 8> m_sliders{};
    std::array<List, 4> m_lists{};
};

#pragma once

#include "ui_Unit_About_OXS.h"

#include <QDialog>
#include <QPixmap>

#include <vector>

// "About OXS remote control": the program's version, the scaler's version numbers and options, and a
// picture of the connected model. The main window writes the labels from the scaler's reports whether or
// not the box is shown, and picks or cycles the picture.
class TAbout_OXS : public QDialog, public Ui::TAbout_OXS {
    Q_OBJECT
  public:
    explicit TAbout_OXS(QWidget *parent = nullptr);

    // A device value as the labels show it: upper-case hexadecimal of at least four digits.
    static QString Hex(uint32_t value);

    // The picture list: one picture per model, in model table order.
    int PictureCount() const { return static_cast<int>(m_pictures.size()); }
    int PictureIndex() const { return m_pictureIndex; }
    void SelectPicture(int index);
    // The next picture, after the last the first.
    void NextPicture();
    // Shows the list's current picture.
    void ShowPicture();

    void BtnOkClick();

  private:
    void FormCreate();

    std::vector<QPixmap> m_pictures;
    int m_pictureIndex = 0;
};

#include "Unit_About_OXS.h"

#include "ModelPictures.h"
#include "ScalerModels.h"

namespace {
// The notice panel's place, set when the box is made.
const QRect kNoticeGeometry(64, 16, 225, 41);
} // namespace

TAbout_OXS::TAbout_OXS(QWidget *parent) : QDialog(parent) {
    setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    connect(BtnOk, &QPushButton::clicked, this, &TAbout_OXS::BtnOkClick);
    FormCreate();
}

void TAbout_OXS::FormCreate() {
    for (int i = 0; i < Models::kModelCount; ++i)
        m_pictures.push_back(ModelPictures::Picture(i));
    SelectPicture(0);
    ShowPicture();
    ImageLogo->hide();
    PnlNotice->setGeometry(kNoticeGeometry);
    QFont font = LblNotice->font();
    font.setPixelSize(13);
    LblNotice->setFont(font);
    LblNotice->setText(QStringLiteral("<b>OXS remote control</b><br>Orlan video scalers by Norvane"));
}

QString TAbout_OXS::Hex(uint32_t value) {
    return QString::number(value, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

void TAbout_OXS::SelectPicture(int index) {
    if (index >= 0 && index < PictureCount()) m_pictureIndex = index;
}

void TAbout_OXS::NextPicture() {
    m_pictureIndex = (m_pictureIndex + 1) % PictureCount();
}

void TAbout_OXS::ShowPicture() {
    Image->setPixmap(m_pictures[static_cast<std::size_t>(m_pictureIndex)]);
}

void TAbout_OXS::BtnOkClick() {
    close();
}

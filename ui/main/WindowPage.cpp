#include "WindowPage.h"

#include "Unit_OXS.h"

TWindowPage::TWindowPage(TForm_OXS &form)
    : QObject(&form), Form(form), Orlan_d(*form.Orlan_d), Reports(*new TReportWait(this)) {}

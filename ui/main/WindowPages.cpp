// The pages and menus that plug into the main window. Each binds its own controls and driver events after the
// window's own, so its handlers are the ones that run for the events it names.
#include "ControlsMenu.h"
#include "InputPage.h"
#include "Unit_OXS.h"

void TForm_OXS::CreatePages() {
    const std::initializer_list<TWindowPage *> pages = {
        new TControlsMenu(*this),
        new TInputPage(*this),
    };
    for (TWindowPage *page : pages)
        page->Bind();
}

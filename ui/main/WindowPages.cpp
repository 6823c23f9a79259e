// The pages and menus that plug into the main window. Each binds its own controls and driver events after the
// window's own, so its handlers are the ones that run for the events it names.
#include "AudioPage.h"
#include "ControlsMenu.h"
#include "FrameAlertPage.h"
#include "ImagePage.h"
#include "InputPage.h"
#include "MachineMenu.h"
#include "OutputPage.h"
#include "Unit_OXS.h"

void TForm_OXS::CreatePages() {
    const std::initializer_list<TWindowPage *> pages = {
        new TControlsMenu(*this),
        new TMachineMenu(*this),
        new TInputPage(*this),
        new TOutputPage(*this),
        new TImagePage(*this),
        new TAudioPage(*this),
        new TFrameAlertPage(*this),
    };
    for (TWindowPage *page : pages)
        page->Bind();
}

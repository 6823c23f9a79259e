#pragma once

#include "Orlan_d.h"
#include "ReportWait.h"

#include <QObject>

class TForm_OXS;

// One page or menu of the main window. It connects its controls' gestures to driver writes and takes over
// the driver events that bring those controls up to date. The window owns one of each and binds them after
// its own events, so for the events a page names, the page's handler is the one that runs; it calls the
// window's shared refreshes itself.
class TWindowPage : public QObject {
    Q_OBJECT
  public:
    explicit TWindowPage(TForm_OXS &form);

    // Connects the controls and takes over the page's driver events.
    virtual void Bind() = 0;

  protected:
    template <class Page>
    void bindEvent(TOrlanNotifyEvent &event, void (Page::*handler)(TOrlan_d *, int32_t)) {
        Page *page = static_cast<Page *>(this);
        event = [page, handler](TOrlan_d *sender, int32_t tag) { (page->*handler)(sender, tag); };
    }

    TForm_OXS &Form;
    TOrlan_d &Orlan_d;
    // The page's controls return to the scaler's value when it does not confirm a pick.
    TReportWait &Reports;
};

#pragma once
// What screen readers are told of a control beyond what its window class tells them, through the
// system's annotation service (IAccPropServices, which Windows' own accessibility proxies read),
// and the events that make them speak.
#include <windows.h>

#include <oleacc.h>

#include "platform/win32/unique_handle.h"

namespace ombrix {

class AccessibleAnnotations {
  public:
    // Marks the control as a polite live region: its new texts are spoken when the reader is
    // done with what it says, without the user moving there.
    void markLive(HWND control);
    // Forgets what was set for the control; before it is destroyed.
    void clear(HWND control);

  private:
    // Made at the first use; null where COM or the service is missing (a thread without COM,
    // an older system): the controls then say only what their classes say.
    IAccPropServices* services();

    unique_com<IAccPropServices> services_;
    bool tried_ = false;
    bool used_ = false;
};

// Tells screen readers that a live region's text changed.
void AnnounceLiveRegion(HWND control);

}  // namespace ombrix

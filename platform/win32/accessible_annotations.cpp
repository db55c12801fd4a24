#include "platform/win32/accessible_annotations.h"

#ifndef EVENT_OBJECT_LIVEREGIONCHANGED
#define EVENT_OBJECT_LIVEREGIONCHANGED 0x8019
#endif

namespace ombrix {
namespace {

// Declared here rather than taken from the import libraries, whose symbols would tie the
// program to oleacc.dll; the service itself comes through COM.
constexpr CLSID kAccPropServicesClass{
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr IID kAccPropServicesInterface{
    0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
// UI Automation's LiveSetting property, and its value Polite.
constexpr GUID kLiveSettingProperty{
    0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
constexpr LONG kPolite = 1;

}  // namespace

IAccPropServices* AccessibleAnnotations::services() {
    if (!tried_) {
        tried_ = true;
        CoCreateInstance(kAccPropServicesClass, nullptr, CLSCTX_INPROC_SERVER,
                         kAccPropServicesInterface, reinterpret_cast<void**>(services_.put()));
    }
    return services_.get();
}

void AccessibleAnnotations::markLive(HWND control) {
    IAccPropServices* annotations = services();
    if (!annotations) {
        return;
    }
    VARIANT value{};
    value.vt = VT_I4;
    value.lVal = kPolite;
    used_ = SUCCEEDED(annotations->SetHwndProp(control, static_cast<DWORD>(OBJID_CLIENT),
                                               CHILDID_SELF, kLiveSettingProperty, value)) ||
            used_;
}

void AccessibleAnnotations::clear(HWND control) {
    if (!used_ || !services_) {
        return;
    }
    MSAAPROPID property = kLiveSettingProperty;
    services_.get()->ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                    &property, 1);
}

void AnnounceLiveRegion(HWND control) {
    NotifyWinEvent(EVENT_OBJECT_LIVEREGIONCHANGED, control, OBJID_CLIENT, CHILDID_SELF);
}

}  // namespace ombrix

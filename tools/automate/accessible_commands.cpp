// What a screen reader finds and hears: the MSAA objects of a window's controls, read from
// outside through AccessibleObjectFromWindow as the readers do, and the events that programs
// raise for them, heard through an out-of-context hook.
#include <windows.h>
#include <oleacc.h>

#include <optional>
#include <string>

#include "platform/win32/unique_handle.h"
#include "tools/automate/commands.h"
#include "tools/automate/console.h"
#include "tools/automate/deadline.h"
#include "tools/automate/window_query.h"

#ifndef EVENT_OBJECT_LIVEREGIONCHANGED
#define EVENT_OBJECT_LIVEREGIONCHANGED 0x8019
#endif

namespace ombrix::automate {
namespace {

// MSAA hands its objects across processes through COM.
class ComThread {
  public:
    ComThread() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComThread() { CoUninitialize(); }
    ComThread(const ComThread&) = delete;
    ComThread& operator=(const ComThread&) = delete;
};

class Bstr {
  public:
    ~Bstr() { SysFreeString(text_); }
    BSTR* put() { return &text_; }
    bool empty() const { return text_ == nullptr; }
    std::wstring str() const { return text_ ? std::wstring(text_, SysStringLen(text_)) : L""; }

  private:
    BSTR text_ = nullptr;
};

void addText(JsonLine& line, const char* key, HRESULT result, const Bstr& text) {
    if (SUCCEEDED(result) && !text.empty()) {
        line.addText(key, text.str());
    } else {
        line.addNull(key);
    }
}

// Name, role, value, default action and state of one object (or one child of it); its name.
std::wstring describeAccessible(JsonLine& line, IAccessible* object, VARIANT child) {
    Bstr name;
    Bstr value;
    Bstr action;
    addText(line, "name", object->get_accName(child, name.put()), name);
    VARIANT role{};
    if (SUCCEEDED(object->get_accRole(child, &role)) && role.vt == VT_I4) {
        wchar_t roleText[64] = {};
        GetRoleTextW(static_cast<DWORD>(role.lVal), roleText, 64);
        line.addInt("role", role.lVal).addText("role_text", roleText);
    } else {
        line.addNull("role");
    }
    VariantClear(&role);
    addText(line, "value", object->get_accValue(child, value.put()), value);
    addText(line, "action", object->get_accDefaultAction(child, action.put()), action);
    VARIANT state{};
    if (SUCCEEDED(object->get_accState(child, &state)) && state.vt == VT_I4) {
        line.addInt("state", state.lVal);
    }
    VariantClear(&state);
    return name.str();
}

JsonLine describeClient(HWND window) {
    JsonLine line = describeWindow(window);
    unique_com<IAccessible> object;
    // __uuidof, not IID_IAccessible: mingw's symbol of that name is an import thunk.
    const HRESULT result =
        AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                   reinterpret_cast<void**>(object.put()));
    if (FAILED(result) || !object) {
        line.addInt("error", result);
        return line;
    }
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    describeAccessible(line, object.get(), self);
    return line;
}

struct Listener {
    int heard = 0;
    std::optional<std::wstring> until;
    bool done = false;
};
Listener* gListener = nullptr;

void CALLBACK onEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG objectId, LONG childId, DWORD,
                      DWORD) {
    JsonLine line;
    line.addInt("event", event)
        .addInt("hwnd", reinterpret_cast<INT_PTR>(window))
        .addInt("id", window ? GetDlgCtrlID(window) : 0)
        .addInt("object", objectId)
        .addInt("child", childId);
    // What the reader then says: the name of the object the event names.
    unique_com<IAccessible> object;
    VARIANT child{};
    std::wstring name;
    if (SUCCEEDED(AccessibleObjectFromEvent(window, static_cast<DWORD>(objectId),
                                            static_cast<DWORD>(childId), object.put(), &child)) &&
        object) {
        name = describeAccessible(line, object.get(), child);
    }
    VariantClear(&child);
    writeLine(line.str());
    ++gListener->heard;
    gListener->done = gListener->done || (gListener->until && name == *gListener->until);
}

DWORD eventOf(const std::wstring& name) {
    if (name == L"liveregion") {
        return EVENT_OBJECT_LIVEREGIONCHANGED;
    }
    if (name == L"namechange") {
        return EVENT_OBJECT_NAMECHANGE;
    }
    throw Failure{Usage, L"unknown event " + name};
}

}  // namespace

// accessible WINDOW [--id N]: the control (or, without --id, the window and every control
// below it, one line each) as MSAA presents it.
int accessible(const Args& args) {
    ComThread com;
    HWND target = locateTarget(args);
    writeLine(describeClient(target).str());
    if (!args.has(L"id")) {
        for (HWND child : descendants(target)) {
            writeLine(describeClient(child).str());
        }
    }
    return Ok;
}

// events --event liveregion|namechange [--pid N] [--count N] [--until NAME] [--timeout MS]:
// one line per event heard, after a first line {"listening": true}; ends after COUNT events,
// after an event whose object is named NAME, or at the timeout (default 10 s), which is no
// failure.
int winEvents(const Args& args) {
    ComThread com;
    const DWORD event = eventOf(args.required(L"event"));
    const auto pid = static_cast<DWORD>(args.numberOr(L"pid", 0));
    const int count = static_cast<int>(args.numberOr(L"count", 0));
    Listener listener;
    listener.until = args.text(L"until");
    gListener = &listener;
    HWINEVENTHOOK hook =
        SetWinEventHook(event, event, nullptr, onEvent, pid, 0, WINEVENT_OUTOFCONTEXT);
    if (!hook) {
        throw Failure{Failed, L"SetWinEventHook failed: " + std::to_wstring(GetLastError())};
    }
    writeLine(JsonLine().addBool("listening", true).str());
    const Deadline deadline(timeoutOf(args, 10000));
    while (!deadline.passed() && !listener.done && (count == 0 || listener.heard < count)) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, deadline.remainingMs(), QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
    }
    UnhookWinEvent(hook);
    gListener = nullptr;
    return Ok;
}

}  // namespace ombrix::automate

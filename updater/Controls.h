#pragma once
// Control IDs of the updater's windows: 1000 + the control's row in the main window's definition
// (row 1, the transfer component, has no window).

namespace ombrix::form1 {
enum Control : int {
    Command2 = 1002,
    Text2 = 1003,
    Text1 = 1004,
    Picture1 = 1005,
    ProgressBar1 = 1006,
    Label7 = 1007,
    Label5 = 1008,
    Image1 = 1009,
    Label4 = 1010,
    closenor = 1011,
    closedown = 1012,
    closemove = 1013,
    close1 = 1014,
    Label3 = 1015,
    Label2 = 1016,
    Label1 = 1017,
};
}  // namespace ombrix::form1

namespace ombrix::form2 {
enum Control : int {
    Timer1 = 2001,
};
// The install window's one timer: its designed interval, which the window starts it with.
inline constexpr unsigned kTimer1IntervalMs = 3000;
}  // namespace ombrix::form2

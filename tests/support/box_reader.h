// Reading and answering Win32 message boxes (MessageBoxW dialogs) from the tests, whether the box belongs to
// the test's own process or to a program the test started.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// What a message box shows.
struct CBoxRecord
{
    std::wstring caption;     // window text of the box
    std::wstring text;        // text of the static control with id 0xFFFF
    UINT style = 0;           // MB_ICON* flag | MB_<buttons> flag (| MB_HELP), derived from the box's contents
    HWND hwndOwner = nullptr; // GetWindow(box, GW_OWNER)
    HWND hwndBox = nullptr;
    int answer = 0;           // button the box was answered with, 0 while unanswered
};

// A dialog (class "#32770") with a static message text control of id 0xFFFF and at least one of the
// message box buttons.
bool IsMessageBoxWindow(HWND hwnd);

// Caption, text, icon and buttons of the box; false when hwndBox is not a message box. Inside this process the
// icon is told by its handle; for another process's box by the pixels on screen, which may wait up to about a
// second for the box to be painted.
bool ReadMessageBox(HWND hwndBox, CBoxRecord& rec);

// Clicks a button by posting WM_COMMAND (id, BN_CLICKED) to the box; false when the box shows no such button.
bool AnswerMessageBox(HWND hwndBox, int idButton);

// The ids of the buttons the box shows (IDOK ... IDCONTINUE, IDHELP), in id order.
std::vector<int> GetMessageBoxButtons(HWND hwndBox);

// The button pressing Enter would choose: the push button drawn as the default one, else the button that
// DM_GETDEFID names, else IDOK or IDCANCEL, whichever the box shows; 0 when none of them is there.
int GetMessageBoxDefaultButton(HWND hwndBox);

// Readable form of a box style, e.g. L"MB_ICONERROR|MB_YESNO".
std::wstring DescribeStyle(UINT style);

// Readable name of a button id, e.g. L"IDYES"; unknown ids as their number.
std::wstring DescribeButton(int idButton);

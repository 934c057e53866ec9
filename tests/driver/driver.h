// Runs a program (the real launcher) in the current Wine prefix and watches it from this process: records and
// answers its message boxes, takes a screenshot while it runs, and collects its exit code.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "box_reader.h"

struct CLaunchOptions
{
    std::wstring exePath;   // Windows path of the program
    std::wstring arguments; // appended to the quoted exe path on the command line
    // Added to (or replacing) a copy of this process's environment, names compared without case; an empty
    // value removes the variable. Wine takes TEMP and TMP from here too, since the parent is a Windows process.
    std::vector<std::pair<std::wstring, std::wstring>> environment;
    std::wstring workingDirectory; // "" = this process's current directory
    // "" leaves the prefix's Windows version; else e.g. L"win2k", L"win98", L"winxp64", L"win7", L"win10",
    // written to HKCU\Software\Wine\AppDefaults\<exe file name>\Version for this run only.
    std::wstring windowsVersion;
    // Scripted buttons in order; once used up (or when the button is not on the box): the box's default button.
    std::vector<int> answers;
    DWORD timeoutMs = 60000; // then the program is terminated (exit code WAIT_TIMEOUT) and timedOut is set
    // Optional PNG of the whole screen, taken when the first box is seen (before it is answered), or after
    // screenshotDelayMs if no box came by then; none when the program ended before either.
    std::wstring screenshotPath;
    DWORD screenshotDelayMs = 1500;
    // When set: once a shown top-level window of the program with this caption has been up for a second, it is
    // closed as a user would (SC_CLOSE); the screenshot, if still due, waits for that moment instead of the delay.
    std::wstring closeWindowCaption;
};

struct CLaunchResult
{
    bool started = false;
    DWORD startError = 0;
    bool timedOut = false;
    DWORD exitCode = 0;
    bool screenshotTaken = false;
    bool windowClosed = false; // the window of closeWindowCaption was shown and closed
    std::vector<CBoxRecord> boxes; // in the order they appeared, answer set to the button pressed
};

// Starts the program, watches it until it ends or times out, and fills result (reset first). Returns
// result.started && !result.timedOut.
bool RunAndWatch(const CLaunchOptions& options, CLaunchResult& result);

// "Z:" + the path with '/' turned into '\\': the Windows path of a file on the Linux side under Wine.
std::wstring UnixToWindowsPath(const std::string& unixPath);

// Writes a PNG of the whole (virtual) screen.
bool SaveScreenshot(const std::wstring& path);

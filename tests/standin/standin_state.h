// Process-wide state of the stand-in mscoree.dll: the scenario in force, the call log and the counts of
// live objects.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "tests/standin/call_log.h"
#include "tests/standin/scenario.h"

namespace standin
{
// The scenario in force, read on first use from the file LX_CLR_SCENARIO names. Callers keep the snapshot
// they got for as long as they need it: a reset replaces it without changing theirs.
std::shared_ptr<const CScenario> CurrentScenario();

// Reads LX_CLR_SCENARIO and its file again.
void ReloadScenario();

// Notes the process's error mode as the library is loaded; called from DllMain.
void NoteLoad();

// Appends the line to the log of the scenario in force; the first line of the process is preceded by the
// load line with the error mode noted.
void Log(const CJsonLine& line);

// Writes the detach line; called from DllMain, so it never waits for the lock.
void LogDetach();

// The default domain's application base: the scenario's, else the folder of the process's exe.
std::wstring DefaultDomainBase(const CScenario& scenario);

// Objects of the stand-in that are alive, counted apart: the hosting objects and the error objects.
enum class ObjectKind
{
    Hosting,
    ErrorInfo
};
void CountObject(ObjectKind kind, bool fCreated);
LONG LiveObjects(ObjectKind kind);
} // namespace standin

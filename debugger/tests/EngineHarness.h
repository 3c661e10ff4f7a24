#pragma once
// Drives a DebugEngine from a test: builds programs, waits for stops without
// blocking the engine's event processing.
#include "debugger/DebugEngine.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <string>

namespace m51dbg::test {

// Assembles 8051 source (assembly-level map, no M51 lines) into `dir`.
Program AssembleProgram(const std::string& source, const QTemporaryDir& dir);

// Processes events until the engine stopped (returns true) or failed or
// `timeoutMs` passed (false).
bool WaitForStop(DebugEngine& engine, int timeoutMs = 5000, DebugEngine::StopCause* cause = nullptr);
// The same, with why there was no stop: empty when stopped, else the
// engine's failure message or the timeout.
QString WaitForStopReason(DebugEngine& engine, int timeoutMs = 5000, DebugEngine::StopCause* cause = nullptr);

// The 0-based line of `source` that starts with `text`, -1 if none.
int LineOf(const QByteArray& source, const char* text);

// Processes events for the given time.
void Pump(int ms);

} // namespace m51dbg::test
